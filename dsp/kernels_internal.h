// Plain kernel variants and the vector tables, shared by kernels.cpp and kernels_vector.cpp.
#pragma once

#include <cstdint>

#include "dsp/kernels.h"

void PlainScale(const float* in, float* out, int length, float k);
void PlainAdd(const float* a, const float* b, float* out, int length);
void PlainSubtract(const float* a, const float* b, float* out, int length);
void PlainWeightedSum(const float* a, const float* b, float* out, int length, float ka, float kb);
void PlainPeak(const float* in, int length, float* peak);
void PlainStereo16ToFloat(const int16_t* pcm, float* left, float* right, int frames);
void PlainFloatToStereo16(const float* left, const float* right, int16_t* pcm, int frames);

// The vector tables this build contains (nullptr when none), whatever the processor offers.
const BlockKernelTable* Sse2KernelTable();
const BlockKernelTable* Avx2KernelTable();
