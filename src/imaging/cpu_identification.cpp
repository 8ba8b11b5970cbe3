#include "imaging/cpu_identification.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define PELNIK_HAVE_CPUID 1
#endif

namespace pelnik {

bool processorRunsAvx2() {
#ifdef PELNIK_HAVE_CPUID
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  // AVX and OSXSAVE, then the register state the system saves (XCR0): SSE
  // and AVX halves both.
  constexpr unsigned avx = 1u << 28, osxsave = 1u << 27;
  if ((ecx & (avx | osxsave)) != (avx | osxsave)) return false;
  unsigned xcrLow = 0, xcrHigh = 0;
  __asm__ volatile("xgetbv" : "=a"(xcrLow), "=d"(xcrHigh) : "c"(0));
  if ((xcrLow & 6u) != 6u) return false;
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
  return (ebx & (1u << 5)) != 0;
#else
  return false;
#endif
}

bool processorRunsAvx512Vbmi() {
#ifdef PELNIK_HAVE_CPUID
  if (!processorRunsAvx2()) return false;
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  // The opmask and both upper register banks saved by the system (XCR0).
  unsigned xcrLow = 0, xcrHigh = 0;
  __asm__ volatile("xgetbv" : "=a"(xcrLow), "=d"(xcrHigh) : "c"(0));
  if ((xcrLow & 0xE6u) != 0xE6u) return false;
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
  constexpr unsigned foundation = 1u << 16, bytesAndWords = 1u << 30, byteShuffles = 1u << 1;
  return (ebx & (foundation | bytesAndWords)) == (foundation | bytesAndWords) &&
         (ecx & byteShuffles) != 0;
#else
  return false;
#endif
}

}  // namespace pelnik
