#pragma once
// The call frame every export with a handle goes through: look the camera up
// under the registry lock, answer with the export's not-found value when
// there is none, otherwise forward to the camera object's operation.
#include <source_location>
#include <utility>

#include "api/sdk_chain.h"
#include "camera/CPelnik.h"
#include "camera/error_codes.h"
#include "platform/debug_log.h"

namespace pelnik {

template <int NotFound = 0, class Operation>
int withCamera(int handle, Operation &&operation,
               std::source_location call = std::source_location::current()) noexcept {
  // The export's own name, for the error lines of the diagnostic log.
  const platform::DebugCallScope scope(call.function_name());
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
