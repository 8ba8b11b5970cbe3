// A second process for the Windows claim tests: claims camera N in the session's
// claim table, signals the event "PelnikClaimHeld-N", and waits for
// "PelnikClaimExit-N"; it then ends without releasing (a crash's leftovers).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "device/claim_table.h"

int main(int argc, char **argv) {
  if (argc != 2) return 2;
  const int camera = std::atoi(argv[1]);
  auto table = pelnik::device::ClaimTable::open();
  if (!table) return 3;
  if (table->claim(camera, pelnik::device::ClaimTable::newClaimantIdentity()) != 1) return 4;
  const std::string suffix = std::to_string(camera);
  HANDLE held = ::CreateEventA(nullptr, TRUE, FALSE, ("PelnikClaimHeld-" + suffix).c_str());
  HANDLE leave = ::CreateEventA(nullptr, TRUE, FALSE, ("PelnikClaimExit-" + suffix).c_str());
  if (!held || !leave) return 5;
  ::SetEvent(held);
  return ::WaitForSingleObject(leave, 60000) == WAIT_OBJECT_0 ? 0 : 6;
}
