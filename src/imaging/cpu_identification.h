#pragma once
// Processor identification: the record filled once when a camera is opened,
// and the one test of the extensions the vector paths need. The kernels
// never read the record; vector_path asks processorRunsAvx2().
#include <cstdint>

namespace pelnik {

// Extension bits of the supported and enabled sets.
enum ProcessorExtension : std::int32_t {
  kExtensionMmx = 1,      // standard features EDX bit 23
  kExtensionSse = 2,      // EDX bit 25
  kExtensionSse2 = 4,     // EDX bit 26
  kExtension3dNow = 8,    // extended features EDX bit 31
  kExtensionSse3 = 16,    // ECX bit 0
  kExtensionEcxBit8 = 32  // ECX bit 8
};

// 68 bytes, zeroed before it is filled.
struct ProcessorInfo {
  char vendor[13];
  char name[31];
  std::int32_t family;
  std::int32_t model;
  std::int32_t stepping;
  std::int32_t supported;
  std::int32_t enabled;
  std::int32_t last;  // 63 once filled
};
static_assert(sizeof(ProcessorInfo) == 68);

// Fills `info` and returns the supported extension set; 0, leaving `info`
// untouched, when the processor has no identification instruction.
int identifyProcessor(ProcessorInfo &info);

// True when the processor has AVX2 and the operating system saves the
// 256-bit registers across task switches.
bool processorRunsAvx2();
// True when it also has the 512-bit foundation, byte and word lanes and the
// byte permutes, and the system saves the 512-bit registers and masks.
bool processorRunsAvx512Vbmi();

}  // namespace pelnik
