#include "tools/cli/cdg_command.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "cd/cdg_decoder.h"
#include "cd/cdg_image.h"
#include "cd/cdg_read.h"
#include "cd/player.h"
#include "platform/cd/subcode.h"
#include "platform/files/output_file.h"
#include "tools/cli/play_commands.h"

namespace fs = std::filesystem;

namespace {

struct CdgArguments {
  std::string disc, out;
  int track = 0;
  std::vector<double> times;
};

bool ParseCdg(const std::vector<std::string>& args, CdgArguments* a, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--track" && hasValue) {
      if (!ParseNumber(args[++i], 1, kMaxTracks, &a->track)) {
        *error = "--track takes a track number";
        return false;
      }
    } else if (arg == "--at" && hasValue) {
      char* end = nullptr;
      const std::string& value = args[++i];
      const double seconds = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0' || !(seconds >= 0.0 && seconds < 6000.0)) {
        *error = "--at takes a time in seconds from the track's start";
        return false;
      }
      a->times.push_back(seconds);
    } else if (arg == "--out" && hasValue) {
      a->out = args[++i];
    } else if (!arg.empty() && arg[0] != '-' && a->disc.empty()) {
      a->disc = arg;
    } else {
      *error = "unexpected argument '" + arg + "'";
      return false;
    }
  }
  if (a->disc.empty() || a->track == 0 || a->times.empty() || a->out.empty()) {
    *error = "DISC, --track, --at and --out are needed";
    return false;
  }
  return true;
}

// Pack position of a time: the packs of every sector begun before it.
int64_t PackAt(double seconds) {
  return static_cast<int64_t>(std::floor(seconds * kPacksPerSecond + 1e-6));
}

}  // namespace

std::string CdgImageName(int track, double seconds) {
  char name[64];
  std::snprintf(name, sizeof name, "cdg-track%02d-%.3f.png", track, seconds);
  return name;
}

int CommandCdg(const std::vector<std::string>& args, std::string* out, std::string* err) {
  const std::string usage =
      "usage: sorn-karaoke-cli cdg DISC --track N --at SECONDS [--at SECONDS ...] --out DIR\n";
  CdgArguments a;
  std::string error;
  if (!ParseCdg(args, &a, &error)) {
    *err += "sorn-karaoke-cli cdg: " + error + "\n" + usage;
    return 2;
  }
  if (int status = OpenPlayerTrack(a.disc, false, a.track, &error)) {
    *err += "sorn-karaoke-cli cdg: " + error + "\n";
    return status;
  }
  const int index = a.track - 1;
  const CdTrack& t = player.cdTrack[index];
  const int32_t trackSectors =
      (t.lengthMinutes * 60 + t.lengthSeconds) * kFramesPerSecond + t.lengthFrames;
  const double last = *std::max_element(a.times.begin(), a.times.end());
  if (last * kFramesPerSecond > trackSectors) {
    ClosePlayerDisc();
    char text[160];
    std::snprintf(text, sizeof text,
                  "sorn-karaoke-cli cdg: %.3f s is past the end of track %d (%.3f s)\n", last,
                  a.track, static_cast<double>(trackSectors) / kFramesPerSecond);
    *err += text;
    return 2;
  }

  // The packs up to the last time asked for.
  const int32_t sectors = std::min<int32_t>(
      trackSectors, static_cast<int32_t>((PackAt(last) + kPacksPerSector - 1) / kPacksPerSector));
  const RwForm form = SelectedDriveRwForm();
  std::vector<uint8_t> packs;
  const bool read = ReadDrivePacks(static_cast<int32_t>(t.startFrame) - kLeadInFrames,
                                   std::max<int32_t>(sectors, 1), form, &packs, &error);
  ClosePlayerDisc();
  if (!read) {
    *err += "sorn-karaoke-cli cdg: " + error + "\n";
    return 1;
  }
  const size_t packCount = packs.size() / kPackBytes;
  if (!HasCdgPacks(packs.data(), packCount)) {
    char text[120];
    std::snprintf(text, sizeof text,
                  "sorn-karaoke-cli cdg: track %d has no CD+G graphics up to %.3f s\n", a.track,
                  last);
    *err += text;
    return 1;
  }

  // Every screen first, then the files: a failure leaves none of this run's files behind.
  std::vector<size_t> order(a.times.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t x, size_t y) { return a.times[x] < a.times[y]; });
  std::vector<QImage> images(a.times.size());
  auto decoder = std::make_unique<CdgDecoder>();
  ResetCdgDecoder(decoder.get());
  size_t decoded = 0;
  for (size_t i : order) {
    const size_t upTo = std::min(packCount, static_cast<size_t>(PackAt(a.times[i])));
    if (upTo > decoded) {
      DecodeCdgPacks(decoder.get(), packs.data() + decoded * kPackBytes, upTo - decoded);
      decoded = upTo;
    }
    images[i] = CdgScreenImage(decoder->screen);
  }
  std::error_code ec;
  fs::create_directories(a.out, ec);
  std::vector<fs::path> written;
  for (size_t i = 0; i < images.size(); ++i) {
    const fs::path path = fs::path(a.out) / CdgImageName(a.track, a.times[i]);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!images[i].save(&buffer, "PNG") ||
        !WriteFileAtomically(path.string(), std::string_view(png.constData(), png.size()))) {
      for (const fs::path& p : written) fs::remove(p, ec);
      *err += "sorn-karaoke-cli cdg: cannot write " + path.string() + "\n";
      return 1;
    }
    written.push_back(path);
  }
  for (const fs::path& p : written) *out += p.string() + "\n";
  return 0;
}
