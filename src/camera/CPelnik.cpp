#include "camera/CPelnik.h"

namespace pelnik {

CPelnik::CPelnik() = default;

CPelnik::~CPelnik() { Teardown(); }

int CPelnik::Open(int ownerWindow) {
  errors_.setOwnerWindow(ownerWindow);
  return 1;
}

void CPelnik::Teardown() {}

}  // namespace pelnik
