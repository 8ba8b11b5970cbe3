#pragma once
// The one way a failing camera operation leaves: it raises its error code
// with whoever reports the camera's errors and returns its failure value,
//   return fail(*this, ErrorCode::InvalidArgument);      // 0
//   return fail(host_, ErrorCode::InvalidFormat, false);
#include "camera/error_codes.h"

namespace pelnik {

// Reporter: anything with raiseError(ErrorCode) (the camera object, the
// acquisition and recording hosts).
template <class Reporter, class Result = int>
[[nodiscard]] Result fail(Reporter &reporter, ErrorCode code, Result failure = Result{}) {
  reporter.raiseError(code);
  return failure;
}

}  // namespace pelnik
