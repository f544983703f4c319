#include "audio/sample_format.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(WaveFormat, CompletesBlockAlignThenByteRate) {
  // The sound card (stereo 16-bit at 44,100 Hz), an 8-bit microphone, and voice files (mono
  // 16-bit at 22,050 Hz, stale values recomputed).
  const struct {
    uint16_t channels, bits;
    uint32_t rate;
    uint16_t align;
    uint32_t bytes;
  } cases[] = {{0, 0, 0, 4, 176400u}, {0, 8, 0, 2, 88200u}, {1, 0, 22050, 2, 44100u}};
  for (const auto& c : cases) {
    WAVEFORMATEX format;
    if (c.channels) format.nChannels = c.channels;
    if (c.bits) format.wBitsPerSample = c.bits;
    if (c.rate) format.nSamplesPerSec = c.rate;
    format.nBlockAlign = 99;
    format.nAvgBytesPerSec = 1;
    sndCompleteWaveFormatEx(&format);
    EXPECT_EQ(format.nBlockAlign, c.align) << c.bytes;
    EXPECT_EQ(format.nAvgBytesPerSec, c.bytes);
    EXPECT_EQ(format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(format.cbSize, 0);
  }
}

TEST(EngineBuffers, AreAlignedTo128BytesInsideTheirAllocation) {
  for (int floats : {0, 1, 7, 256, 30256}) {
    SCOPED_TRACE(floats);
    EngineBuffer buffer;
    ASSERT_EQ(AllocateEngineBuffer(&buffer, floats), 1);
    const uintptr_t raw = reinterpret_cast<uintptr_t>(buffer.raw);
    const uintptr_t data = reinterpret_cast<uintptr_t>(buffer.data);
    EXPECT_EQ(data % 128, 0u);
    EXPECT_GT(data, raw);
    EXPECT_LE(data, raw + 128);
    // The whole array lies inside the n x 4 + 384 bytes allocated.
    EXPECT_LE(data + 4u * floats, raw + 4u * floats + 384);
    EXPECT_EQ(buffer.floats, floats);
    for (int i = 0; i < floats; ++i) ASSERT_EQ(buffer.data[i], 0.0f);
    for (int i = 0; i < floats; ++i) buffer.data[i] = 1.0f;  // writable to the end
    FreeEngineBuffer(&buffer);
    EXPECT_EQ(buffer.raw, nullptr);
    EXPECT_EQ(buffer.data, nullptr);
  }
  EngineBuffer refused;
  EXPECT_EQ(AllocateEngineBuffer(&refused, -1), 0);
  EXPECT_EQ(refused.data, nullptr);
}

}  // namespace
