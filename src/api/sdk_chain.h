#pragma once
// The process-wide handle registry and the operations the exports need of it.
#include "api/handle_ring.h"

namespace pelnik {

class CPelnik;
using CSDKDATA = CTRingEntry<CPelnik>;

class CSdkChain : public CTRing<CSDKDATA> {};

// The one registry, built by static construction at library load.
CSdkChain &sdkChain();

// Draws a handle that is neither 0 nor already filed and files the camera
// under it, atomically with respect to other threads. 0 when the entry
// cannot be allocated.
int fileCamera(CSdkChain &chain, CPelnik *camera);

// The camera filed under `handle`, or null (unknown handle, or a camera
// being released).
CPelnik *lookupCamera(CSdkChain &chain, int handle);

// Identifies the entry of `handle` and unlinks it under the registry lock;
// returns the camera it held (the caller destroys it outside the lock) and
// sets `found`.
CPelnik *unfileCamera(CSdkChain &chain, int handle, bool &found);

}  // namespace pelnik
