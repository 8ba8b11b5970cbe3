#pragma once
// The C runtime's pseudo-random numbers (0..RAND_MAX). The library never
// seeds them; an application that calls srand() changes the sequence.
namespace pelnik::platform {

int runtimeRand();

}  // namespace pelnik::platform
