#include "audio/sample_format.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(WaveFormat, CompletesBlockAlignThenByteRate) {
  WAVEFORMATEX card;  // the sound card: stereo 16-bit at 44,100 Hz
  sndCompleteWaveFormatEx(&card);
  EXPECT_EQ(card.nBlockAlign, 4);
  EXPECT_EQ(card.nAvgBytesPerSec, 176400u);
  EXPECT_EQ(card.wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(card.cbSize, 0);

  WAVEFORMATEX eightBit;
  eightBit.wBitsPerSample = 8;
  sndCompleteWaveFormatEx(&eightBit);
  EXPECT_EQ(eightBit.nBlockAlign, 2);
  EXPECT_EQ(eightBit.nAvgBytesPerSec, 88200u);

  WAVEFORMATEX voice;  // voice files: mono 16-bit at 22,050 Hz
  voice.nChannels = 1;
  voice.nSamplesPerSec = 22050;
  voice.nBlockAlign = 99;  // stale values are recomputed
  voice.nAvgBytesPerSec = 1;
  sndCompleteWaveFormatEx(&voice);
  EXPECT_EQ(voice.nBlockAlign, 2);
  EXPECT_EQ(voice.nAvgBytesPerSec, 44100u);
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
