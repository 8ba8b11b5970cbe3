// Library and handle exports.
#include <new>

#include "PelnikSdk_R5M_LX.h"
#include "api/boundary_types.h"
#include "api/call_frame.h"
#include "api/sdk_chain.h"
#include "camera/CPelnik.h"

using pelnik::CPelnik;

namespace {

constexpr int kDllVersion = 28181791;  // 0x01AE051F

}  // namespace

extern "C" {

int PELNIK_CALL Pelnik_Initialize(PelnikWindow ownerWindow) {
  try {
    CPelnik *camera = new (std::nothrow) CPelnik;
    if (!camera) return 0;
    const int handle = pelnik::fileCamera(pelnik::sdkChain(), camera);
    if (handle == 0) {
      delete camera;
      return 0;
    }
    // A camera that fails to open keeps its handle; the failure is in its
    // error history and later calls report "no device".
    pelnik::withCamera(handle,
                       [ownerWindow](CPelnik &c) { return c.Open(pelnik::windowId(ownerWindow)); });
    return handle;
  } catch (...) {
    return 0;
  }
}

int PELNIK_CALL Pelnik_Release(int handle) {
  bool found = false;
  CPelnik *camera = pelnik::unfileCamera(pelnik::sdkChain(), handle, found);
  // Destroyed outside the registry lock: the teardown waits for the
  // camera's threads, and other cameras' calls must not wait with it.
  delete camera;
  return found ? 1 : 0;
}

int PELNIK_CALL Pelnik_GetDllVersion(void) { return kDllVersion; }

int PELNIK_CALL Pelnik_GetLastError(int handle) {
  return pelnik::withCamera(handle, [](CPelnik &c) { return c.GetLastError(); });
}

}  // extern "C"
