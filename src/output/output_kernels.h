#pragma once
// File conversion the image pipeline's catalogue lacks, in the kernel
// contract so that it can join the catalogue: the TIFF writer's 32-bit
// reorder.
#include "imaging/kernel.h"

namespace pelnik::output {

// 32 -> 32: first and third bytes exchanged, the second copied; the fourth
// destination byte is not written (0 in a fresh picture).
int swap32KeepingFourth(KERNEL_ARGS);

}  // namespace pelnik::output
