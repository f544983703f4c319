#include "tests/cd/disc_image.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>

namespace fs = std::filesystem;

uint8_t PatternByte(int64_t discByte) {
  uint64_t x = static_cast<uint64_t>(discByte) * 0x9E3779B97F4A7C15ull;
  return static_cast<uint8_t>(x >> 56);
}

namespace {

uint8_t Bcd(int value) {
  return static_cast<uint8_t>((value / 10) << 4 | (value % 10));
}

std::string Msf(int frames) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", frames / 4500, frames / 75 % 60, frames % 75);
  return text;
}

void WriteDataSector(std::vector<uint8_t>& out, int lsn, int sectorInTrack,
                     const std::string& label) {
  uint8_t sector[2352] = {};
  sector[0] = 0x00;
  std::memset(sector + 1, 0xFF, 10);
  int frame = lsn + 150;
  sector[12] = Bcd(frame / 4500);
  sector[13] = Bcd(frame / 75 % 60);
  sector[14] = Bcd(frame % 75);
  sector[15] = 1;  // mode 1
  uint8_t* user = sector + 16;
  if (sectorInTrack == 16 && !label.empty()) {
    user[0] = 1;
    std::memcpy(user + 1, "CD001", 5);
    user[6] = 1;
    std::memset(user + 40, ' ', 32);
    std::memcpy(user + 40, label.data(), std::min<size_t>(label.size(), 32));
  }
  out.insert(out.end(), sector, sector + sizeof sector);
}

}  // namespace

std::string WriteDiscImage(const fs::path& dir, const std::string& name,
                           const std::vector<TrackPlan>& tracks, const std::string& volumeLabel) {
  std::vector<uint8_t> bin;
  std::string cue = "FILE \"" + name + ".bin\" BINARY\n";
  int lsn = 0;
  for (size_t i = 0; i < tracks.size(); ++i) {
    const TrackPlan& t = tracks[i];
    char header[64];
    std::snprintf(header, sizeof header, "  TRACK %02zu %s\n", i + 1,
                  t.data ? "MODE1/2352" : "AUDIO");
    cue += header;
    if (t.pregapFrames > 0) cue += "    INDEX 00 " + Msf(lsn - t.pregapFrames) + "\n";
    cue += "    INDEX 01 " + Msf(lsn) + "\n";
    for (int s = 0; s < t.frames; ++s, ++lsn) {
      if (t.data) {
        WriteDataSector(bin, lsn, s, volumeLabel);
      } else {
        int64_t base = static_cast<int64_t>(lsn) * 2352;
        for (int b = 0; b < 2352; ++b) bin.push_back(PatternByte(base + b));
      }
    }
  }
  std::ofstream(dir / (name + ".bin"), std::ios::binary)
      .write(reinterpret_cast<const char*>(bin.data()), static_cast<std::streamsize>(bin.size()));
  std::ofstream(dir / (name + ".cue")) << cue;
  return (dir / (name + ".cue")).string();
}

ScratchDir::ScratchDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "-" + info->name();
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  path_ = fs::temp_directory_path() / ("sorn-cd-" + std::to_string(::getpid()) + "-" + name);
  fs::remove_all(path_);
  fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}
