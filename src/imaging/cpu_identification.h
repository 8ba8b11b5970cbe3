#pragma once
// What the processor runs of the vector paths: the one test of the
// extensions they need, asked by vector_path.
namespace pelnik {

// True when the processor has AVX2 and the operating system saves the
// 256-bit registers across task switches.
bool processorRunsAvx2();
// True when it also has the 512-bit foundation, byte and word lanes and the
// byte permutes, and the system saves the 512-bit registers and masks.
bool processorRunsAvx512Vbmi();

}  // namespace pelnik
