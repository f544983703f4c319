#include "platform/cpu/processor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

namespace {

// A synthetic processor: CPUID answers from a table, false for missing leaves.
struct FakeCpu {
  std::map<uint32_t, CpuidRegisters> leaves;
  CpuidFunction Function() const {
    return [this](uint32_t leaf, CpuidRegisters* out) {
      auto it = leaves.find(leaf);
      *out = it == leaves.end() ? CpuidRegisters{} : it->second;
      return true;
    };
  }
};

CpuidRegisters VendorLeaf(const char* vendor, uint32_t maxLeaf) {
  CpuidRegisters r;
  r.eax = maxLeaf;
  std::memcpy(&r.ebx, vendor + 0, 4);
  std::memcpy(&r.edx, vendor + 4, 4);
  std::memcpy(&r.ecx, vendor + 8, 4);
  return r;
}

uint32_t Signature(int family, int model, int stepping) {
  return static_cast<uint32_t>(family << 8 | model << 4 | stepping);
}

FakeCpu Intel(int family, int model, uint32_t features, uint32_t leaf2Ebx = 0) {
  FakeCpu cpu;
  cpu.leaves[0] = VendorLeaf("GenuineIntel", 2);
  cpu.leaves[1] = {Signature(family, model, 3), 0, 0, features};
  cpu.leaves[2] = {0x03020101u, leaf2Ebx, 0, 0x0C040843u};
  return cpu;
}

FakeCpu Amd(int model, bool has3DNow) {
  FakeCpu cpu;
  cpu.leaves[0] = VendorLeaf("AuthenticAMD", 1);
  cpu.leaves[1] = {Signature(5, model, 0), 0, 0, 1u << kFeatureMmx};
  cpu.leaves[0x80000000u] = {0x80000005u, 0, 0, 0};
  cpu.leaves[0x80000001u] = {0, 0, 0, has3DNow ? 0x80000000u : 0u};
  return cpu;
}

constexpr uint32_t kMmx = 1u << kFeatureMmx, kSse = 1u << kFeatureSse;

}  // namespace

TEST(Processor, IntelModelCodesAndNames) {
  struct Case {
    FakeCpu cpu;
    int code;
    const char* name;
    int vectorClass;
  } cases[] = {
      {Intel(5, 2, kMmx), kModelPentium, "Pentium Classic", 0},
      {Intel(6, 1, 0), kModelPentiumPro, "Pentium Pro", 0},
      {Intel(6, 3, kMmx), kModelPentiumII, "Pentium II", 0},
      {Intel(6, 6, kMmx, 0x00000040u), kModelCeleron, "Celeron", 0},  // descriptor 0x40
      {Intel(6, 7, kMmx | kSse), kModelPentiumIII, "Pentium III", 1},
      {Intel(15, 2, kMmx | kSse), kModelUnknown, "Unknown CPU", 0},
  };
  for (const Case& c : cases) {
    ProcessorRecord r = ReadProcessorRecord(c.cpu.Function());
    EXPECT_EQ(r.vendor, kVendorIntel);
    EXPECT_EQ(r.intelModelCode, c.code) << c.name;
    EXPECT_STREQ(ProcessorDisplayName(r), c.name);
    EXPECT_EQ(VectorClassOf(r), c.vectorClass) << c.name;
  }
}

TEST(Processor, RecordFieldsFromLeafOneAndTwo) {
  ProcessorRecord r = ReadProcessorRecord(Intel(6, 8, kMmx | kSse, 0x00000040u).Function());
  EXPECT_EQ(r.family, 6);
  EXPECT_EQ(r.model, 0x80);  // model bits kept in place
  EXPECT_EQ(r.stepping, 3);
  EXPECT_EQ(r.features[kFeatureMmx], 1);
  EXPECT_EQ(r.features[kFeatureSse], 1);
  EXPECT_EQ(r.features[kFeatureFxsr], 0);
  // Leaf 2: AL (the repeat count) and zero bytes are not descriptors.
  const uint8_t expected[] = {0x01, 0x02, 0x03, 0x40, 0x43, 0x08, 0x04, 0x0C};
  ASSERT_EQ(r.cacheDescriptorCount, 8);
  EXPECT_EQ(0, std::memcmp(r.cacheDescriptors, expected, sizeof expected));
  EXPECT_EQ(r.intelModelCode, kModelCeleron);  // 0x40 wins over SSE
}

TEST(Processor, AmdWith3DNowIsClassTwoWhateverItsModel) {
  for (int model : {0, 6, 8, 9, 13}) {
    ProcessorRecord r = ReadProcessorRecord(Amd(model, true).Function());
    EXPECT_EQ(r.vendor, kVendorAmd);
    EXPECT_EQ(r.amd3DNow, 1);
    EXPECT_EQ(VectorClassOf(r), 2) << model;
  }
  EXPECT_EQ(VectorClassOf(ReadProcessorRecord(Amd(8, false).Function())), 0);
  EXPECT_STREQ(ProcessorDisplayName(ReadProcessorRecord(Amd(8, true).Function())),
               "AMD K6-2 Model 8");
  EXPECT_STREQ(ProcessorDisplayName(ReadProcessorRecord(Amd(9, true).Function())),
               "AMD K6-2 Model 9");
  EXPECT_STREQ(ProcessorDisplayName(ReadProcessorRecord(Amd(1, false).Function())),
               "AMD K-5 Model 1");
  EXPECT_STREQ(ProcessorDisplayName(ReadProcessorRecord(Amd(13, true).Function())),
               "Unknown CPU");
}

TEST(Processor, OtherVendorsAndMissingCpuid) {
  FakeCpu cyrix;
  cyrix.leaves[0] = VendorLeaf("CyrixInstead", 1);
  ProcessorRecord c = ReadProcessorRecord(cyrix.Function());
  EXPECT_EQ(c.vendor, kVendorCyrix);
  EXPECT_STREQ(ProcessorDisplayName(c), "Cyrix CPU");

  FakeCpu other;
  other.leaves[0] = VendorLeaf("GenuineIntex", 1);  // compared exactly
  EXPECT_STREQ(ProcessorDisplayName(ReadProcessorRecord(other.Function())), "Unknown CPU");

  ProcessorRecord none = ReadProcessorRecord([](uint32_t, CpuidRegisters*) { return false; });
  EXPECT_EQ(none.vendor, kVendorNone);
  EXPECT_EQ(none.intelModelCode, kModelUnknown);
  EXPECT_STREQ(ProcessorDisplayName(none), "Unknown CPU");
  EXPECT_EQ(VectorClassOf(none), 0);
}

TEST(Processor, ClockMeasurementOnSyntheticCounters) {
  // A 1 MHz counter that advances 7 ticks per read, and a cycle counter at 733.4 MHz.
  int64_t ticks = 0;
  ClockSources s;
  s.counterFrequency = [] { return int64_t{1000000}; };
  s.counter = [&] { return ticks += 7; };
  s.timeStamp = [&] { return static_cast<uint64_t>(ticks) * 7334 / 10; };
  EXPECT_EQ(MeasureClockMhz(s), 733);

  ticks = 0;
  s.timeStamp = [&] { return static_cast<uint64_t>(ticks) * 4996 / 10; };  // 499.6 MHz
  EXPECT_EQ(MeasureClockMhz(s), 500);

  s.counterFrequency = [] { return int64_t{0}; };  // no high-resolution counter
  EXPECT_EQ(MeasureClockMhz(s), 0);
}

TEST(Processor, ClockMeasurementStopsAfterTwentyUnsteadyPasses) {
  int64_t ticks = 0;
  int reads = 0;
  ClockSources s;
  s.counterFrequency = [] { return int64_t{1000000}; };
  s.counter = [&] { return ticks += 10; };
  // Every second pass runs at a very different rate, so the last three never agree.
  s.timeStamp = [&] {
    ++reads;
    return static_cast<uint64_t>(ticks) * (((reads + 1) / 2 / 2) % 2 ? 300 : 100);
  };
  EXPECT_GT(MeasureClockMhz(s), 0);
  EXPECT_EQ(reads, 40);  // two cycle-counter reads per pass
}

TEST(Processor, ThisMachine) {
  IdentifyThisProcessor();
  const ProcessorRecord& r = processorState.record;
  EXPECT_NE(r.vendor, kVendorNone);
  EXPECT_GT(processorState.clockMhz.load(), 100);
  EXPECT_EQ(processorState.vectorClass.load(), VectorClassOf(r));
  EXPECT_NE(std::strlen(ProcessorDisplayName(r)), 0u);
#if defined(__x86_64__)
  EXPECT_TRUE(processorState.sse2.load());  // every x86-64 processor has SSE2
#endif
}
