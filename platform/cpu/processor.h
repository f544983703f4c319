// Processor identification: the CPUID record, its display name, the measured clock rate and
// the global vector class that selects block-kernel variants.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

enum ProcessorVendor : int {
  kVendorNone = 0,
  kVendorIntel = 1,  // "GenuineIntel"
  kVendorAmd = 2,    // "AuthenticAMD"
  kVendorCyrix = 3,  // "CyrixInstead"
};

// Intel model codes.
enum IntelModelCode : int {
  kModelUnknown = 0,
  kModelPentium = 5,
  kModelPentiumPro = 6,
  kModelPentiumII = 240,
  kModelCeleron = 241,
  kModelPentiumIII = 242,
};

// Leaf 1 EDX feature bits the record is asked about.
enum FeatureBit : int { kFeatureMmx = 23, kFeatureFxsr = 24, kFeatureSse = 25, kFeatureSse2 = 26 };

struct ProcessorRecord {
  int vendor = kVendorNone;
  int family = 0;         // leaf 1 EAX bits 8-11
  int model = 0;          // leaf 1 EAX bits 4-7, kept in place (0x00, 0x10, ... 0xF0)
  int stepping = 0;       // bits 0-3
  int processorType = 0;  // bits 12-13
  uint8_t features[32] = {};  // leaf 1 EDX, one byte per bit
  uint8_t cacheDescriptors[32] = {};  // leaf 2, non-zero bytes only
  int cacheDescriptorCount = 0;
  int amd3DNow = 0;  // AMD only: leaf 0x80000001 EDX bit 31
  int intelModelCode = kModelUnknown;
  int clockMhz = 0;
};

struct CpuidRegisters {
  uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};
// Runs CPUID for a leaf (sub-leaf 0). Returns false when the instruction is not available.
using CpuidFunction = std::function<bool(uint32_t leaf, CpuidRegisters* out)>;

// The machine's own CPUID (false on processors without it and on non-x86 builds).
bool HardwareCpuid(uint32_t leaf, CpuidRegisters* out);

// Fills every field but clockMhz from the CPUID results. A missing CPUID leaves model code 0
// and vendor none.
ProcessorRecord ReadProcessorRecord(const CpuidFunction& cpuid);

// "Pentium III", "AMD K6-2 Model 8", "Cyrix CPU", "Unknown CPU", ...
const char* ProcessorDisplayName(const ProcessorRecord& record);

// 0 generic, 1 Intel model code 242, 2 AMD with the 3DNow! flag.
int VectorClassOf(const ProcessorRecord& record);

// Clock measurement against a high-resolution counter. counterFrequency returns 0 when there
// is no such counter; the result is then 0.
struct ClockSources {
  std::function<int64_t()> counterFrequency;  // ticks per second
  std::function<int64_t()> counter;
  std::function<uint64_t()> timeStamp;  // cycle counter
};
ClockSources HardwareClockSources();
int MeasureClockMhz(const ClockSources& sources);

// What today's processors offer the block kernels, for our own kernel selection.
struct VectorFeatures {
  bool sse2 = false;
  bool avx2 = false;  // AVX2 usable: CPU support and the OS saves the YMM state
};
VectorFeatures DetectVectorFeatures(const CpuidFunction& cpuid);

// Process-wide results, set once at start-up and read by the kernels on any thread.
struct ProcessorState {
  ProcessorRecord record;
  std::atomic<int32_t> vectorClass{0};
  std::atomic<int32_t> clockMhz{0};
  std::atomic<bool> sse2{false};
  std::atomic<bool> avx2{false};
};
extern ProcessorState processorState;

// Identifies this machine's processor into processorState (record, vector class, clock,
// vector features). Never faults: anything unexpected gives "Unknown CPU" and class 0.
void IdentifyThisProcessor();
