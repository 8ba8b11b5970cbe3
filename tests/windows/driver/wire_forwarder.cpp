#include "wire_forwarder.h"

#include "platform/device_wire.h"

namespace wire = pelnik::platform::wire;

extern "C" PelnikForwardResult pelnikForwardRequest(const PelnikWireStream *stream,
                                                    unsigned int code, const void *input,
                                                    unsigned int inputLength, void *output,
                                                    unsigned int outputLength,
                                                    unsigned int *returned) {
  *returned = 0;
  if ((inputLength && !input) || (outputLength && !output) || inputLength > wire::kMaxInputBytes ||
      outputLength > wire::kMaxOutputBytes)
    return PELNIK_FORWARD_INVALID;
  wire::RequestHeader request;
  request.code = code;
  request.inputLength = inputLength;
  request.outputLength = outputLength;
  if (wire::sendsOutputToDevice(code, input, inputLength)) {
    if (outputLength > wire::kMaxOutboundBytes) return PELNIK_FORWARD_INVALID;
    request.outboundLength = outputLength;
  }
  void *const context = stream->context;
  if (!stream->write(context, &request, sizeof request) ||
      (inputLength && !stream->write(context, input, inputLength)) ||
      (request.outboundLength && !stream->write(context, output, request.outboundLength)))
    return PELNIK_FORWARD_BROKEN;
  wire::ReplyHeader reply;
  if (!stream->read(context, &reply, sizeof reply)) return PELNIK_FORWARD_BROKEN;
  // A reply that would overrun the caller's buffer means the stream is out
  // of step; its payload is never read.
  if (reply.magic != wire::kReplyMagic || reply.payloadLength > outputLength ||
      reply.returned > outputLength)
    return PELNIK_FORWARD_BROKEN;
  if (reply.payloadLength && !stream->read(context, output, reply.payloadLength))
    return PELNIK_FORWARD_BROKEN;
  if (reply.status != 0) return PELNIK_FORWARD_FAILED;
  *returned = reply.returned;
  return PELNIK_FORWARD_DONE;
}

extern "C" unsigned short pelnikUnitCharacter(unsigned int camera) {
  return static_cast<unsigned char>(wire::kUnitCharacters[camera % wire::kUnitCharacters.size()]);
}
