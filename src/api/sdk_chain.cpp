#include "api/sdk_chain.h"

#include <cstdint>

#include "platform/clock.h"
#include "platform/random.h"

namespace pelnik {
namespace {

CSdkChain g_chain;

}  // namespace

CSdkChain &sdkChain() { return g_chain; }

int fileCamera(CSdkChain &chain, CPelnik *camera) {
  platform::RecursiveGuard guard(chain.registryLock());
  for (;;) {
    const std::uint32_t sum = platform::tickCount() +
                              static_cast<std::uint32_t>(platform::runtimeRand()) +
                              static_cast<std::uint32_t>(chain.count());
    const int handle = static_cast<int>(sum);
    // A handle of 0 would file a camera the caller never learns of, and a
    // duplicate would route calls to the wrong camera: draw again.
    if (handle == 0 || chain.find(handle)) continue;
    return chain.addEntry(handle, camera) ? handle : 0;
  }
}

CPelnik *lookupCamera(CSdkChain &chain, int handle) {
  CSDKDATA *entry = chain.lookup(handle);
  return entry ? entry->camera : nullptr;
}

CPelnik *unfileCamera(CSdkChain &chain, int handle, bool &found) {
  platform::RecursiveGuard guard(chain.registryLock());
  found = chain.find(handle);
  if (!found) return nullptr;
  CPelnik *camera = chain.current()->camera;
  chain.current()->camera = nullptr;
  chain.removeCurrent();
  return camera;
}

}  // namespace pelnik
