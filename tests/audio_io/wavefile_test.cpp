#include "audio/wavefile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "tests/audio_io/audio_test_util.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/outside_tool.h"
#include "tests/support/trace_capture.h"

using namespace testutil;
using ::testing::HasSubstr;

namespace {

std::vector<int16_t> Ramp(size_t n, int start = -3000, int step = 7) {
  std::vector<int16_t> s(n);
  for (size_t i = 0; i < n; ++i) s[i] = int16_t(start + int(i) * step);
  return s;
}

// A PCM file built chunk by chunk, for layouts our writer never produces.
Bytes BuildWav(const Bytes& fmtBody, const std::vector<std::pair<std::string, Bytes>>& chunks) {
  Bytes b;
  Append(&b, "RIFF");
  Append32(&b, 0);
  Append(&b, "WAVE");
  Append(&b, "fmt ");
  Append32(&b, uint32_t(fmtBody.size()));
  b.insert(b.end(), fmtBody.begin(), fmtBody.end());
  if (fmtBody.size() & 1) b.push_back(0);
  for (const auto& [id, body] : chunks) {
    Append(&b, id);
    Append32(&b, uint32_t(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() & 1) b.push_back(0);
  }
  Put32(&b, 4, uint32_t(b.size() - 8));
  return b;
}

Bytes PcmFmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, bool extraSize) {
  const uint16_t align = uint16_t(channels * bits / 8);
  Bytes f = Pcm16({int16_t(tag), int16_t(channels)});
  Append32(&f, rate);
  Append32(&f, rate * align);
  const Bytes tail = Pcm16({int16_t(align), int16_t(bits), 0});
  f.insert(f.end(), tail.begin(), tail.end() - (extraSize ? 0 : 2));
  return f;
}

// The samples sox decodes from a file, as 16-bit values.
std::vector<int16_t> SoxSamples(const std::string& path, int* status = nullptr) {
  const std::string raw = Shell("sox " + Quote(path) + " -t raw -", status);
  return Samples16(reinterpret_cast<const uint8_t*>(raw.data()), raw.size());
}

}  // namespace

TEST(WaveFileWriter, ProducesTheExact44ByteHeaderAndFillsTheSizesAtClose) {
  TempDir dir;
  const auto samples = Ramp(1001);
  ASSERT_TRUE(WriteWav(dir.File("a.wav"), 22050, 1, 16, samples.data(), 1001));
  const Bytes b = ReadBytes(dir.File("a.wav"));
  ASSERT_EQ(b.size(), 44u + 2002u);
  const Bytes expected = {'R',  'I',  'F', 'F', 0, 0, 0,  0, 'W', 'A', 'V',  'E',  'f', 'm',
                          't',  ' ',  16,  0,   0, 0, 1,  0, 1,   0,   0x22, 0x56, 0,   0,
                          0x44, 0xAC, 0,   0,   2, 0, 16, 0, 'd', 'a', 't',  'a'};
  for (size_t i = 0; i < expected.size(); ++i) {
    if (i >= 4 && i < 8) continue;  // the RIFF size, checked below
    EXPECT_EQ(b[i], expected[i]) << "byte " << i;
  }
  EXPECT_EQ(Le32(b, 4), b.size() - 8);
  EXPECT_EQ(Le32(b, 40), 2002u);
  EXPECT_EQ(Samples16(b.data() + 44, 2002), samples);
}

TEST(WaveFileWriter, EmptyAndOddSizedFilesAreValid) {
  TempDir dir;
  ASSERT_TRUE(WriteWav(dir.File("empty.wav"), 22050, 1, 16, nullptr, 0));
  Bytes e = ReadBytes(dir.File("empty.wav"));
  ASSERT_EQ(e.size(), 44u);
  EXPECT_EQ(Le32(e, 4), 36u);
  EXPECT_EQ(Le32(e, 40), 0u);

  // 8-bit mono with 3 samples: the data chunk is followed by a pad byte the RIFF size covers.
  const uint8_t three[3] = {1, 2, 3};
  ASSERT_TRUE(WriteWav(dir.File("odd.wav"), 8000, 1, 8, three, 3));
  Bytes o = ReadBytes(dir.File("odd.wav"));
  ASSERT_EQ(o.size(), 48u);
  EXPECT_EQ(Le32(o, 40), 3u);
  EXPECT_EQ(Le32(o, 4), 40u);
  SKIP_WITHOUT_TOOL("sox", "sox");
  int status = 0;
  EXPECT_EQ(Shell("sox --i -s " + Quote(dir.File("odd.wav")) + " 2>&1", &status), "3\n");
}

TEST(WaveFileInterop, SoxReadsWhatWeWrite) {
  SKIP_WITHOUT_TOOL("sox", "sox");
  TempDir dir;
  const struct {
    uint32_t rate;
    uint16_t channels;
    std::vector<int16_t> samples;
  } cases[] = {{22050, 1, Ramp(22050 / 10)}, {44100, 2, Ramp(2 * 4410, 20000, -5)}};
  for (const auto& c : cases) {
    const std::string path = dir.File(std::to_string(c.channels) + ".wav"), q = Quote(path);
    ASSERT_TRUE(
        WriteWav(path, c.rate, c.channels, 16, c.samples.data(), int32_t(c.samples.size())));
    int status = 0;
    EXPECT_EQ(Shell("sox --i -r " + q, &status), std::to_string(c.rate) + "\n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Shell("sox --i -c " + q), std::to_string(c.channels) + "\n");
    EXPECT_EQ(Shell("sox --i -b " + q), "16\n");
    EXPECT_EQ(Shell("sox --i -s " + q), std::to_string(c.samples.size() / c.channels) + "\n");
    EXPECT_EQ(SoxSamples(path), c.samples);
  }
}

TEST(WaveFileInterop, WeReadWhatSoxWritesWithListChunksAndAnEighteenByteFmt) {
  SKIP_WITHOUT_TOOL("sox", "sox");
  TempDir dir;
  int status = 0;
  Shell("sox -n -r 22050 -c 1 -b 16 " + Quote(dir.File("m.wav")) + " synth 0.05 sine 440", &status);
  ASSERT_EQ(status, 0);
  Shell("sox -n -r 44100 -c 2 -b 16 " + Quote(dir.File("s.wav")) + " synth 0.05 sine 300 sine 500");
  for (const char* name : {"m.wav", "s.wav"}) {
    const std::string path = dir.File(name);
    const auto expected = SoxSamples(path);
    ASSERT_FALSE(expected.empty());
    WavePcmFormat format;
    EXPECT_EQ(ReadAll(path, &format), expected) << name;
    EXPECT_EQ(format.nChannels, name[0] == 'm' ? 1 : 2);

    // The same samples behind an 18-byte "fmt " and a LIST chunk before the data; sox agrees
    // that the file is valid.
    const Bytes original = ReadBytes(path);
    const uint32_t dataSize = Le32(original, 40);
    Bytes data(original.begin() + 44, original.begin() + 44 + dataSize);
    Bytes list;
    Append(&list, "INFOICMT");
    Append32(&list, 5);
    Append(&list, std::string("hello", 6));
    const Bytes fmt =
        PcmFmt(1, format.nChannels, format.nSamplesPerSec, format.wBitsPerSample, true);
    const std::string variant = dir.File(std::string("x") + name);
    WriteBytes(variant, BuildWav(fmt, {{"LIST", list}, {"data", data}}));
    EXPECT_EQ(SoxSamples(variant, &status), expected);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadAll(variant), expected) << "18-byte fmt + LIST " << name;
  }
}

TEST(WaveFileReader, RefusesNonPcmAndBrokenHeadersWithTheirMessages) {
  SKIP_WITHOUT_TOOL("sox", "sox");
  TempDir dir;
  Shell("sox -n -r 44100 -c 1 -e floating-point -b 32 " + Quote(dir.File("f.wav")) +
        " synth 0.01 sine 440");
  const auto pcm = Ramp(100);
  const Bytes data = Pcm16(pcm);
  const Bytes fmt = PcmFmt(1, 1, 22050, 16, false);
  Bytes notRiff = BuildWav(fmt, {{"data", data}});
  std::memcpy(notRiff.data(), "RIFX", 4);
  Bytes notWave = BuildWav(fmt, {{"data", data}});
  std::memcpy(notWave.data() + 8, "AVI ", 4);
  Bytes smallFmt = BuildWav(Bytes(fmt.begin(), fmt.begin() + 14), {{"data", data}});
  Bytes noData = BuildWav(fmt, {{"LIST", Bytes(4, 'x')}});
  Bytes noFmt = BuildWav(fmt, {{"data", data}});
  std::memcpy(noFmt.data() + 12, "fmx ", 4);
  Bytes zeroAlign = BuildWav(PcmFmt(1, 1, 22050, 0, false), {{"data", data}});
  const Bytes floatingPoint = ReadBytes(dir.File("f.wav"));
  struct Case {
    std::string name;
    Bytes bytes;
    const char* message;
  } cases[] = {
      {"notriff", notRiff, "waveFileOpenIn: BAD_FORMAT\n"},
      {"notwave", notWave, "waveFileOpenIn: BAD_FORMAT\n"},
      {"short", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A'},
       "waveFileOpenIn: end-of-file, probably\n"},
      {"nofmt", noFmt, "waveFileOpenIn: no 'fmt ' chunk\n"},
      {"smallfmt", smallFmt, "waveFileOpenIn: 'fmt ' chunk too small\n"},
      {"nodata", noData, "waveFileOpenIn: no 'data' chunk\n"},
      {"zeroalign", zeroAlign, "waveFileOpenIn: bad input file format\n"},
      {"float", floatingPoint, "waveFileOpenIn: bad input file format\n"},
  };
  for (const Case& c : cases) WriteBytes(dir.File(c.name), c.bytes);

  ASSERT_GT(floatingPoint.size(), 44u);
  WaveFile file;
  waveFileInit(&file);
  for (const Case& c : cases) {
    TraceCapture trace;
    EXPECT_FALSE(waveFileOpenIn(&file, dir.File(c.name).c_str())) << c.name;
    EXPECT_EQ(trace.Text(), c.message) << c.name;
    EXPECT_FALSE(WaveFileIsOpen(file));
  }
  TraceCapture trace;
  EXPECT_FALSE(waveFileOpenIn(&file, dir.File("missing.wav").c_str()));
  EXPECT_FALSE(waveFileOpenIn(&file, nullptr));
  EXPECT_EQ(trace.Text(), "waveFileOpenIn: path=NULL\n");
  EXPECT_FALSE(waveFileCloseIn(&file));
  EXPECT_FALSE(waveFileCloseOut(&file));
}

TEST(WaveFileReader, TruncatedFilesGiveTheirMessageOrShortDataAndNeverReadOutOfBounds) {
  TempDir dir;
  const auto pcm = Ramp(64);
  Bytes list;
  Append(&list, "INFOabc");  // odd size: padded
  const Bytes full =
      BuildWav(PcmFmt(1, 1, 22050, 16, true), {{"LIST", list}, {"data", Pcm16(pcm)}});
  const size_t dataStart = full.size() - 128;
  const std::string path = dir.File("cut.wav");
  for (size_t length = 0; length <= full.size(); ++length) {
    WriteBytes(path, Bytes(full.begin(), full.begin() + length));
    TraceCapture trace;
    WaveFile file;
    waveFileInit(&file);
    const bool opened = waveFileOpenIn(&file, path.c_str());
    const char* message = "";
    if (length < 12)
      message = "waveFileOpenIn: end-of-file, probably\n";
    else if (length < 20)
      message = "waveFileOpenIn: no 'fmt ' chunk\n";
    else if (length < 36)
      message = "waveFileOpenIn: truncated file, probably\n";
    else if (length < 38)
      message = "waveFileOpenIn: 2 truncated file, probably\n";
    else if (length < dataStart)
      message = "waveFileOpenIn: no 'data' chunk\n";
    EXPECT_EQ(trace.Text(), message) << length;
    EXPECT_EQ(opened, length >= dataStart) << length;
    if (!opened) continue;
    // The sample count comes from the header; what the file lacks reads as silence.
    EXPECT_EQ(file.sampleCount, 64);
    std::vector<int16_t> got(200, 0x5555);
    const int32_t n = wavReadSamples(&file, got.data(), 200);
    EXPECT_EQ(n, int32_t((length - dataStart) / 2));
    const bool partial = (length - dataStart) % 2 != 0;  // half a sample at the end
    for (int32_t i = 0; i < 200; ++i) {
      if (partial && i == n) continue;
      EXPECT_EQ(got[size_t(i)], i < n ? pcm[size_t(i)] : 0) << length << " " << i;
    }
    waveFileCloseIn(&file);
  }
}

TEST(WaveFileReader, DeliversSilencePastTheDataAndNeverPlaysTrailingChunks) {
  TempDir dir;
  const auto pcm = Ramp(10);
  Bytes trailer;
  Append(&trailer, "trailing text that is no sound");
  WriteBytes(dir.File("t.wav"),
             BuildWav(PcmFmt(1, 1, 22050, 16, false), {{"data", Pcm16(pcm)}, {"LIST", trailer}}));
  WaveFile file;
  waveFileInit(&file);
  ASSERT_TRUE(waveFileOpenIn(&file, dir.File("t.wav").c_str()));
  // Reads of 8: the first 8 samples, the last 2 and silence, then silence only.
  std::vector<int16_t> expected = pcm;
  expected.resize(24, 0);
  const int32_t counts[] = {8, 2, 0};
  for (int read = 0; read < 3; ++read) {
    std::vector<int16_t> got(8, 99);
    EXPECT_EQ(wavReadSamples(&file, got.data(), 8), counts[read]);
    EXPECT_EQ(got, std::vector<int16_t>(&expected[8 * read], &expected[8 * read] + 8));
  }
  EXPECT_TRUE(waveFileCloseIn(&file));
  EXPECT_FALSE(WaveFileIsOpen(file));

  // A header whose block is smaller than its channels: one sample is no byte at all, and the
  // caller's buffer for no bytes may be null (a sanitizer build checks the zero fill).
  WriteBytes(dir.File("odd.wav"), BuildWav(PcmFmt(1, 4, 22050, 4, false), {{"data", Bytes(8)}}));
  ASSERT_TRUE(waveFileOpenIn(&file, dir.File("odd.wav").c_str()));
  EXPECT_EQ(wavReadSamples(&file, nullptr, 1), 0);
  EXPECT_TRUE(waveFileCloseIn(&file));
}

TEST(WaveFileReader, PendingSeekCountsFromByteTwelve) {
  // Sample k holds the value k, so a read shows where it started.
  TempDir dir;
  std::vector<int16_t> pcm(4000);
  std::iota(pcm.begin(), pcm.end(), int16_t(0));
  ASSERT_TRUE(WriteWav(dir.File("k.wav"), 22050, 1, 16, pcm.data(), 4000));
  WaveFile file;
  waveFileInit(&file);
  ASSERT_TRUE(waveFileOpenIn(&file, dir.File("k.wav").c_str()));
  int16_t got[4];

  // Byte position P lands on file byte P + 12, that is data byte P - 32: 16 samples before
  // sample P / 2.
  waveFileSetPendingSeek(&file, 2000);
  EXPECT_EQ(wavReadSamples(&file, got, 4), 4);
  EXPECT_EQ(got[0], 1000 - 16);
  EXPECT_EQ(file.pendingSeek, 0);
  EXPECT_EQ(wavReadSamples(&file, got, 1), 1);  // the next read goes on from there
  EXPECT_EQ(got[0], 1000 - 16 + 4);

  // A position inside the header starts at the first sample, never at header bytes.
  waveFileSetPendingSeek(&file, 8);
  EXPECT_EQ(wavReadSamples(&file, got, 2), 2);
  EXPECT_EQ(got[0], 0);
  EXPECT_EQ(got[1], 1);

  // A seek the file cannot make: -1, and the request stays for the next read.
  waveFileSetPendingSeek(&file, -100);
  EXPECT_EQ(wavReadSamples(&file, got, 2), -1);
  EXPECT_EQ(file.pendingSeek, -100);
  // Position 0, the start of the track, is a seek like any other: back to the first sample.
  waveFileSetPendingSeek(&file, 0);
  EXPECT_EQ(wavReadSamples(&file, got, 1), 1);
  EXPECT_EQ(got[0], 0);
  EXPECT_EQ(wavReadSamples(&file, got, 1), 1);
  EXPECT_EQ(got[0], 1);
  EXPECT_TRUE(waveFileCloseIn(&file));
}

TEST(WaveFileWriter, AFullDiskKeepsTheEarlierFileAndSaysWhy) {
  TempDir dir;
  const std::string path = dir.File("full.wav");
  WriteBytes(path, Bytes{'o', 'l', 'd'});
  WaveFile file;
  waveFileInit(&file);
  waveFileSetFormat(&file, 22050, 1, 16);
  std::string text;
  int32_t written = 0;
  bool closed = true;
  {
    FileSizeLimit limit(20000);
    ASSERT_TRUE(limit.active());
    TraceCapture trace;
    if (waveFileOpenOut(&file, path.c_str())) {
      const auto pcm = Ramp(15000, 0, 1);
      written = wavWriteSamples(&file, pcm.data(), 15000);
      closed = waveFileCloseOut(&file);
    }
    text = trace.Text();
  }

  EXPECT_LT(written, 15000);
  EXPECT_THAT(text, HasSubstr("wavWriteSamples: mmioAdvance() error: short write ")) << text;
  EXPECT_THAT(text, HasSubstr("/30000 bytes\n")) << text;
  EXPECT_THAT(text, HasSubstr("File too large")) << text;
  EXPECT_FALSE(closed);
  EXPECT_FALSE(WaveFileIsOpen(file));
  // Nothing that looks like a whole recording: the earlier file is as it was, and the
  // temporary one is gone.
  EXPECT_EQ(ReadBytes(path), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(WaveFileWriter, AnUnwritableTargetFailsAtOpenWithoutAMessage) {
  WaveFile file;
  waveFileInit(&file);
  TraceCapture trace;
  EXPECT_FALSE(waveFileOpenOut(&file, "/dev/full")) << "a device is never replaced by a file";
  EXPECT_FALSE(WaveFileIsOpen(file));
  EXPECT_FALSE(waveFileOpenOut(&file, "/nonexistent-folder/x.wav"));
  EXPECT_EQ(trace.Text(), "");
}
