#include "platform/cpu/processor.h"

#include <chrono>
#include <cstring>
#include <ctime>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#define SORN_X86 1
#endif

ProcessorState processorState;

bool HardwareCpuid(uint32_t leaf, CpuidRegisters* out) {
#ifdef SORN_X86
  unsigned a, b, c, d;
  __cpuid_count(leaf, 0, a, b, c, d);
  *out = {a, b, c, d};
  return true;
#else
  (void)leaf;
  *out = {};
  return false;
#endif
}

ProcessorRecord ReadProcessorRecord(const CpuidFunction& cpuid) {
  ProcessorRecord r;
  CpuidRegisters regs;
  if (!cpuid(0, &regs)) return r;
  const uint32_t maxLeaf = regs.eax;
  char vendor[13];
  std::memcpy(vendor + 0, &regs.ebx, 4);
  std::memcpy(vendor + 4, &regs.edx, 4);
  std::memcpy(vendor + 8, &regs.ecx, 4);
  vendor[12] = '\0';
  if (std::strcmp(vendor, "AuthenticAMD") == 0)
    r.vendor = kVendorAmd;
  else if (std::strcmp(vendor, "CyrixInstead") == 0)
    r.vendor = kVendorCyrix;
  else if (std::strcmp(vendor, "GenuineIntel") == 0)
    r.vendor = kVendorIntel;

  if (maxLeaf >= 1 && cpuid(1, &regs)) {
    r.stepping = regs.eax & 0xF;
    r.model = regs.eax & 0xF0;
    r.family = (regs.eax >> 8) & 0xF;
    r.processorType = (regs.eax >> 12) & 0x3;
    for (int bit = 0; bit < 32; ++bit) r.features[bit] = (regs.edx >> bit) & 1;
  }
  if (maxLeaf >= 2 && cpuid(2, &regs)) {
    const uint32_t words[4] = {regs.eax, regs.ebx, regs.ecx, regs.edx};
    for (int w = 0; w < 4; ++w) {
      if (words[w] & 0x80000000u) continue;  // register holds no descriptors
      for (int byte = 0; byte < 4; ++byte) {
        if (w == 0 && byte == 0) continue;  // AL is the repeat count, not a descriptor
        uint8_t d = (words[w] >> (8 * byte)) & 0xFF;
        if (d != 0 && r.cacheDescriptorCount < 32) r.cacheDescriptors[r.cacheDescriptorCount++] = d;
      }
    }
  }
  if (r.vendor == kVendorAmd && cpuid(0x80000000u, &regs) && regs.eax >= 0x80000001u &&
      cpuid(0x80000001u, &regs)) {
    r.amd3DNow = (regs.edx >> 31) & 1;
  }

  if (r.family == 5) {
    r.intelModelCode = kModelPentium;
  } else if (r.family == 6) {
    if (!r.features[kFeatureMmx]) {
      r.intelModelCode = kModelPentiumPro;
    } else {
      bool noSecondLevelCache = false;
      for (int i = 0; i < r.cacheDescriptorCount; ++i)
        if (r.cacheDescriptors[i] == 0x40) noSecondLevelCache = true;
      if (noSecondLevelCache)
        r.intelModelCode = kModelCeleron;
      else if (r.features[kFeatureSse])
        r.intelModelCode = kModelPentiumIII;
      else
        r.intelModelCode = kModelPentiumII;
    }
  }
  return r;
}

const char* ProcessorDisplayName(const ProcessorRecord& r) {
  switch (r.vendor) {
    case kVendorIntel:
      switch (r.intelModelCode) {
        case kModelPentium:
          return "Pentium Classic";
        case kModelPentiumPro:
          return "Pentium Pro";
        case kModelPentiumII:
          return "Pentium II";
        case kModelCeleron:
          return "Celeron";
        case kModelPentiumIII:
          return "Pentium III";
        default:
          return "Unknown CPU";
      }
    case kVendorAmd:
      switch (r.model) {
        case 0:
          return "AMD K-5 Model 0";
        case 16:
          return "AMD K-5 Model 1";
        case 32:
          return "AMD K-5 Model 2";
        case 48:
          return "AMD K-5 Model 3";
        case 96:
          return "AMD K-6 Model 6";
        case 112:
          return "AMD K-6 Model 7";
        case 128:
          return "AMD K6-2 Model 8";
        case 144:
          return "AMD K6-2 Model 9";
        default:
          return "Unknown CPU";
      }
    case kVendorCyrix:
      return "Cyrix CPU";
    default:
      return "Unknown CPU";
  }
}

int VectorClassOf(const ProcessorRecord& r) {
  if (r.vendor == kVendorAmd && r.amd3DNow) return 2;
  if (r.vendor == kVendorIntel && r.intelModelCode == kModelPentiumIII) return 1;
  return 0;
}

ClockSources HardwareClockSources() {
  ClockSources s;
  // The performance counter is the monotonic clock in microseconds: 1000 ticks span 1 ms,
  // long enough for a steady reading of the cycle counter.
  s.counterFrequency = [] { return int64_t{1000000}; };
  s.counter = [] {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t{ts.tv_sec} * 1000000 + ts.tv_nsec / 1000;
  };
#ifdef SORN_X86
  s.timeStamp = [] { return static_cast<uint64_t>(__rdtsc()); };
#else
  s.counterFrequency = [] { return int64_t{0}; };
  s.timeStamp = [] { return uint64_t{0}; };
#endif
  return s;
}

namespace {
// a / b rounded up when the remainder exceeds half the divisor.
uint64_t DivideRounded(uint64_t a, uint64_t b) {
  uint64_t q = a / b, rem = a % b;
  return rem > b / 2 ? q + 1 : q;
}
}  // namespace

int MeasureClockMhz(const ClockSources& s) {
  const int64_t frequency = s.counterFrequency ? s.counterFrequency() : 0;
  if (frequency < 10) return 0;
  const uint64_t divisor = static_cast<uint64_t>(frequency / 10);
  uint64_t totalCycles = 0, totalUs = 0;
  uint64_t rates[3] = {0, 0, 0};
  for (int pass = 0; pass < 20; ++pass) {
    int64_t start = s.counter(), t0;
    do t0 = s.counter();
    while (t0 - start < 50);
    uint64_t stamp0 = s.timeStamp();
    int64_t t1;
    do t1 = s.counter();
    while (t1 - t0 < 1000);
    uint64_t stamp1 = s.timeStamp();

    uint64_t us = DivideRounded(static_cast<uint64_t>(t1 - t0) * 100000, divisor);
    uint64_t cycles = stamp1 - stamp0;
    totalCycles += cycles;
    totalUs += us;
    rates[0] = rates[1];
    rates[1] = rates[2];
    rates[2] = us ? DivideRounded(cycles, us) : 0;
    if (pass >= 2) {
      const int64_t sum = static_cast<int64_t>(rates[0] + rates[1] + rates[2]);
      bool steady = true;
      for (uint64_t rate : rates) {
        int64_t spread = 3 * static_cast<int64_t>(rate) - sum;
        if (spread <= -4 || spread >= 4) steady = false;
      }
      if (steady) break;
    }
  }
  if (totalUs == 0) return 0;
  // Whole MHz, rounding on the first decimal (itself rounded on the second).
  uint64_t mhz = totalCycles / totalUs;
  uint64_t tenths = totalCycles * 10 / totalUs;
  uint64_t hundredths = totalCycles * 100 / totalUs;
  if (hundredths - tenths * 10 >= 6) ++tenths;
  if (tenths - mhz * 10 >= 6) ++mhz;
  return static_cast<int>(mhz);
}

VectorFeatures DetectVectorFeatures(const CpuidFunction& cpuid) {
  VectorFeatures f;
  CpuidRegisters regs;
  if (!cpuid(0, &regs)) return f;
  const uint32_t maxLeaf = regs.eax;
  if (maxLeaf < 1 || !cpuid(1, &regs)) return f;
  f.sse2 = (regs.edx >> kFeatureSse2) & 1;
  const bool osxsave = (regs.ecx >> 27) & 1, avx = (regs.ecx >> 28) & 1;
  if (!osxsave || !avx || maxLeaf < 7) return f;
#ifdef SORN_X86
  uint32_t xcr0Low, xcr0High;
  __asm__ volatile("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
  if ((xcr0Low & 0x6) != 0x6) return f;  // XMM and YMM state saved by the OS
#else
  return f;
#endif
  if (!cpuid(7, &regs)) return f;
  f.avx2 = (regs.ebx >> 5) & 1;
  return f;
}

void IdentifyThisProcessor() {
  ProcessorRecord record = ReadProcessorRecord(HardwareCpuid);
  record.clockMhz = MeasureClockMhz(HardwareClockSources());
  VectorFeatures features = DetectVectorFeatures(HardwareCpuid);
  processorState.record = record;
  processorState.clockMhz.store(record.clockMhz, std::memory_order_release);
  processorState.vectorClass.store(VectorClassOf(record), std::memory_order_release);
  processorState.sse2.store(features.sse2, std::memory_order_release);
  processorState.avx2.store(features.avx2, std::memory_order_release);
}
