// The driver's protocol half against a scripted stream: what reaches the
// virtual camera for each kind of request, and that a reply which does not
// fit the caller's buffer is never copied into it.
#include "wire_forwarder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/device_wire.h"

namespace {

namespace wire = pelnik::platform::wire;

struct ScriptedStream {
  std::vector<unsigned char> sent;
  std::vector<unsigned char> replies;  // what the camera side answers
  std::size_t readAt = 0;
  bool writesFail = false;

  PelnikWireStream stream() {
    return {this,
            [](void *self, const void *bytes, unsigned int length) {
              auto &s = *static_cast<ScriptedStream *>(self);
              if (s.writesFail) return 0;
              const auto *b = static_cast<const unsigned char *>(bytes);
              s.sent.insert(s.sent.end(), b, b + length);
              return 1;
            },
            [](void *self, void *bytes, unsigned int length) {
              auto &s = *static_cast<ScriptedStream *>(self);
              if (s.replies.size() - s.readAt < length) return 0;
              std::memcpy(bytes, s.replies.data() + s.readAt, length);
              s.readAt += length;
              return 1;
            }};
  }
  void answer(std::uint32_t status, std::uint32_t returned, std::vector<unsigned char> payload) {
    wire::ReplyHeader reply;
    reply.status = status;
    reply.returned = returned;
    reply.payloadLength = std::uint32_t(payload.size());
    const auto *h = reinterpret_cast<const unsigned char *>(&reply);
    replies.insert(replies.end(), h, h + sizeof reply);
    replies.insert(replies.end(), payload.begin(), payload.end());
  }
  wire::RequestHeader request() const {
    wire::RequestHeader header;
    std::memcpy(&header, sent.data(), sizeof header);
    return header;
  }
};

TEST(WireForwarder, ACommandCarriesItsBlockAndAReadReceivesThePayload) {
  ScriptedStream camera;
  camera.answer(0, 64, {});
  const PelnikWireStream stream = camera.stream();
  const std::uint32_t commandPipe = wire::kPipeCommand;
  unsigned char block[wire::kBlockBytes] = {wire::command::kFpgaRead, 0x12};
  unsigned int returned = 0;
  ASSERT_EQ(pelnikForwardRequest(&stream, wire::kCodePipeIn, &commandPipe, 4, block, sizeof block,
                                 &returned),
            PELNIK_FORWARD_DONE);
  EXPECT_EQ(returned, 64u);
  const wire::RequestHeader sent = camera.request();
  EXPECT_EQ(sent.magic, wire::kRequestMagic);
  EXPECT_EQ(sent.code, wire::kCodePipeIn);
  EXPECT_EQ(sent.inputLength, 4u);
  EXPECT_EQ(sent.outboundLength, 64u);
  ASSERT_EQ(camera.sent.size(), sizeof sent + 4 + 64);
  EXPECT_EQ(camera.sent[sizeof sent + 4], wire::command::kFpgaRead);
  EXPECT_EQ(camera.sent[sizeof sent + 5], 0x12);

  // A reply read sends nothing of its buffer and gets the payload.
  ScriptedStream replying;
  replying.answer(0, 64, std::vector<unsigned char>(64, 0x5A));
  const PelnikWireStream second = replying.stream();
  const std::uint32_t replyPipe = wire::kPipeReply;
  unsigned char reply[64] = {};
  ASSERT_EQ(pelnikForwardRequest(&second, wire::kCodePipeOut, &replyPipe, 4, reply, sizeof reply,
                                 &returned),
            PELNIK_FORWARD_DONE);
  EXPECT_EQ(replying.request().outboundLength, 0u);
  EXPECT_EQ(replying.sent.size(), sizeof(wire::RequestHeader) + 4);
  EXPECT_EQ(reply[0], 0x5A);
  EXPECT_EQ(reply[63], 0x5A);
}

TEST(WireForwarder, ARefusalFailsTheRequestAndKeepsTheStreamInStep) {
  ScriptedStream camera;
  camera.answer(1, 0, {});
  camera.answer(0, 0, {});
  const PelnikWireStream stream = camera.stream();
  unsigned char timeoutRequest[wire::kTimeoutRequestBytes] = {1};
  unsigned int returned = 7;
  EXPECT_EQ(pelnikForwardRequest(&stream, wire::kCodeTimeout, timeoutRequest, sizeof timeoutRequest,
                                 nullptr, 0, &returned),
            PELNIK_FORWARD_FAILED);
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(pelnikForwardRequest(&stream, wire::kCodeTimeout, timeoutRequest, sizeof timeoutRequest,
                                 nullptr, 0, &returned),
            PELNIK_FORWARD_DONE);
  EXPECT_EQ(camera.readAt, camera.replies.size());
}

TEST(WireForwarder, AReplyBeyondTheBufferOrOutOfStepBreaksTheStreamWithoutCopying) {
  const std::uint32_t imagePipe = wire::kPipeImage;
  unsigned char image[16];
  unsigned int returned = 0;
  {
    ScriptedStream camera;
    camera.answer(0, 32, std::vector<unsigned char>(32, 0xEE));
    const PelnikWireStream stream = camera.stream();
    std::memset(image, 0, sizeof image);
    EXPECT_EQ(pelnikForwardRequest(&stream, wire::kCodePipeIn, &imagePipe, 4, image, sizeof image,
                                   &returned),
              PELNIK_FORWARD_BROKEN);
    EXPECT_EQ(image[0], 0);  // the oversized payload was never read
    EXPECT_EQ(returned, 0u);
  }
  {
    ScriptedStream camera;
    camera.answer(0, 16, std::vector<unsigned char>(16, 1));
    camera.replies[0] ^= 0xFF;  // not a reply header
    const PelnikWireStream stream = camera.stream();
    EXPECT_EQ(pelnikForwardRequest(&stream, wire::kCodePipeIn, &imagePipe, 4, image, sizeof image,
                                   &returned),
              PELNIK_FORWARD_BROKEN);
  }
  {
    ScriptedStream camera;  // the camera side hung up mid-payload
    camera.answer(0, 16, std::vector<unsigned char>(16, 1));
    camera.replies.resize(camera.replies.size() - 1);
    const PelnikWireStream stream = camera.stream();
    EXPECT_EQ(pelnikForwardRequest(&stream, wire::kCodePipeIn, &imagePipe, 4, image, sizeof image,
                                   &returned),
              PELNIK_FORWARD_BROKEN);
  }
  {
    ScriptedStream camera;
    camera.writesFail = true;
    const PelnikWireStream stream = camera.stream();
    EXPECT_EQ(pelnikForwardRequest(&stream, wire::kCodePipeIn, &imagePipe, 4, image, sizeof image,
                                   &returned),
              PELNIK_FORWARD_BROKEN);
  }
}

TEST(WireForwarder, LengthsBeyondTheWiresLimitsSendNothing) {
  ScriptedStream camera;
  const PelnikWireStream stream = camera.stream();
  std::vector<unsigned char> big(wire::kMaxInputBytes + 1);
  unsigned char out[4];
  unsigned int returned = 0;
  EXPECT_EQ(pelnikForwardRequest(&stream, wire::kCodeTimeout, big.data(), unsigned(big.size()),
                                 nullptr, 0, &returned),
            PELNIK_FORWARD_INVALID);
  // A command block larger than the wire carries to the device.
  std::vector<unsigned char> block(wire::kMaxOutboundBytes + 1);
  const std::uint32_t commandPipe = wire::kPipeCommand;
  EXPECT_EQ(pelnikForwardRequest(&stream, wire::kCodePipeIn, &commandPipe, 4, block.data(),
                                 unsigned(block.size()), &returned),
            PELNIK_FORWARD_INVALID);
  // Lengths without their buffers.
  EXPECT_EQ(pelnikForwardRequest(&stream, wire::kCodePipeIn, nullptr, 4, out, 4, &returned),
            PELNIK_FORWARD_INVALID);
  EXPECT_EQ(
      pelnikForwardRequest(&stream, wire::kCodePipeIn, &commandPipe, 4, nullptr, 4, &returned),
      PELNIK_FORWARD_INVALID);
  EXPECT_TRUE(camera.sent.empty());
}

}  // namespace
