#pragma once
// Whether a request header read off a camera socket can be trusted: the
// magic, and lengths within the wire limits (the part of the output buffer
// sent along is never larger than the buffer).
#include "platform/device_wire.h"

namespace pelnik::virtcam {

inline bool acceptableRequestHeader(const platform::wire::RequestHeader &request) {
  namespace wire = platform::wire;
  return request.magic == wire::kRequestMagic && request.inputLength <= wire::kMaxInputBytes &&
         request.outboundLength <= wire::kMaxOutboundBytes &&
         request.outputLength <= wire::kMaxOutputBytes &&
         request.outboundLength <= request.outputLength;
}

}  // namespace pelnik::virtcam
