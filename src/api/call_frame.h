#pragma once
// The call frame every export with a handle goes through: look the camera up
// under the registry lock, answer with the export's not-found value when
// there is none, otherwise forward to the camera object's operation.
#include <utility>

#include "api/sdk_chain.h"
#include "camera/CPelnik.h"
#include "camera/error_codes.h"

namespace pelnik {

template <int NotFound = 0, class Operation>
int withCamera(int handle, Operation &&operation) noexcept {
  CPelnik *camera = lookupCamera(sdkChain(), handle);
  if (!camera) return NotFound;
  try {
    return static_cast<int>(std::forward<Operation>(operation)(*camera));
  } catch (...) {
    // No exception crosses the C boundary; an operation that throws (only
    // allocation can) fails like any failed call.
    camera->raiseError(ErrorCode::MemoryOrBuffer);
    return 0;
  }
}

}  // namespace pelnik
