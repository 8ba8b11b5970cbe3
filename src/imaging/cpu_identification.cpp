#include "imaging/cpu_identification.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define PELNIK_HAVE_CPUID 1
#endif

namespace pelnik {

namespace {

struct NameEntry {
  const char *vendor;
  int family;
  const char *name;
};

#ifdef PELNIK_HAVE_CPUID
// Names by vendor and family; model-level detail is not kept.
constexpr NameEntry kNames[] = {
    {"GenuineIntel", 5, "Intel Pentium"},    {"GenuineIntel", 6, "Intel P6 family"},
    {"GenuineIntel", 15, "Intel Pentium 4"}, {"GenuineIntel", 18, "Intel family 18"},
    {"GenuineIntel", 19, "Intel family 19"}, {"AuthenticAMD", 5, "AMD K5/K6"},
    {"AuthenticAMD", 6, "AMD Athlon"},       {"AuthenticAMD", 15, "AMD K8"},
    {"AuthenticAMD", 16, "AMD K10"},         {"AuthenticAMD", 21, "AMD Bulldozer family"},
    {"AuthenticAMD", 23, "AMD Zen"},         {"AuthenticAMD", 25, "AMD Zen 3/4"},
    {"AuthenticAMD", 26, "AMD Zen 5"},       {"CyrixInstead", 5, "Cyrix 6x86"},
    {"CyrixInstead", 6, "Cyrix MII"},        {"CentaurHauls", 5, "IDT WinChip"},
    {"CentaurHauls", 6, "VIA C3"},
};

const char *processorName(const char *vendor, int family) {
  for (const NameEntry &entry : kNames) {
    if (entry.family == family && std::strcmp(entry.vendor, vendor) == 0) return entry.name;
  }
  return "Unknown";
}
#endif

}  // namespace

int identifyProcessor(ProcessorInfo &info) {
#ifdef PELNIK_HAVE_CPUID
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(0, &eax, &ebx, &ecx, &edx)) return 0;
  char vendor[13] = {};
  std::memcpy(vendor, &ebx, 4);
  std::memcpy(vendor + 4, &edx, 4);
  std::memcpy(vendor + 8, &ecx, 4);

  unsigned signature = 0, features = 0, moreFeatures = 0;
  if (eax >= 1) __get_cpuid(1, &signature, &ebx, &moreFeatures, &features);
  unsigned extended = 0;
  if (__get_cpuid(0x80000000u, &eax, &ebx, &ecx, &edx) && eax >= 0x80000001u) {
    __get_cpuid(0x80000001u, &eax, &ebx, &ecx, &extended);
  }

  int supported = 0;
  if (features & (1u << 23)) supported |= kExtensionMmx;
  if (features & (1u << 25)) supported |= kExtensionSse;
  if (features & (1u << 26)) supported |= kExtensionSse2;
  if (extended & (1u << 31)) supported |= kExtension3dNow;
  if (moreFeatures & (1u << 0)) supported |= kExtensionSse3;
  if (moreFeatures & (1u << 8)) supported |= kExtensionEcxBit8;

  int family = static_cast<int>((signature >> 8) & 0xF);
  if (family == 15) family = static_cast<int>((signature >> 20) & 0xFF) * 16 + 15;

  std::memset(&info, 0, sizeof info);
  // This platform's kernel saves the vector state of every extension the
  // processor reports, so each one it reports also runs.
  info.enabled = supported;
  info.supported = supported;
  info.family = family;
  info.model = static_cast<int>((signature >> 4) & 0xF);
  info.stepping = static_cast<int>(signature & 0xF);
  std::memcpy(info.vendor, vendor, sizeof info.vendor);
  std::strncpy(info.name, processorName(vendor, family), sizeof info.name - 1);
  info.last = 63;
  return supported;
#else
  (void)info;
  return 0;
#endif
}

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
