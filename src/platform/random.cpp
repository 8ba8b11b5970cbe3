#include "platform/random.h"

#include <cstdlib>

namespace pelnik::platform {

int runtimeRand() { return std::rand() & 0x7FFF; }

}  // namespace pelnik::platform
