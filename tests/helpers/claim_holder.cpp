// A second process for the claim-table tests. Reads commands from stdin,
// one per line, and answers each with one line:
//   claim N    -> "ok" or "refused"
//   release N  -> "done"
//   claimed N  -> "yes" or "no"
// It exits at end of input without releasing anything.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "device/claim_table.h"

int main() {
  auto table = pelnik::device::ClaimTable::open();
  if (!table) {
    std::cout << "no table" << std::endl;
    return 2;
  }
  const std::int32_t identity = pelnik::device::ClaimTable::newClaimantIdentity();
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream words(line);
    std::string verb;
    int camera = -1;
    words >> verb >> camera;
    if (verb == "claim")
      std::cout << (table->claim(camera, identity) ? "ok" : "refused") << std::endl;
    else if (verb == "release") {
      table->release(camera, identity);
      std::cout << "done" << std::endl;
    } else if (verb == "claimed")
      std::cout << (table->isClaimed(camera) ? "yes" : "no") << std::endl;
    else
      std::cout << "unknown" << std::endl;
  }
  return 0;
}
