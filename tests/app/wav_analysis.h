// What the end-to-end tests read from the simulated card's output: its samples, and where in
// a track of the demo disc a stretch of it comes from.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/scratch_folder.h"

// Interleaved 16-bit stereo samples of a WAV file's data chunk (the simulated card's plain
// layout).
inline std::vector<int16_t> WavSamples(const std::string& path) {
  const std::string bytes = ReadWholeFile(path);
  const size_t data = bytes.find("data");
  if (data == std::string::npos || bytes.size() < data + 8) return {};
  std::vector<int16_t> samples((bytes.size() - data - 8) / 2);
  std::memcpy(samples.data(), bytes.data() + data + 8, samples.size() * 2);
  return samples;
}

// Interleaved stereo samples of the demo disc image from a frame on.
inline std::vector<int16_t> DiscSamples(const std::string& bin, size_t firstFrame, size_t frames) {
  std::ifstream in(bin, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(firstFrame * 4));
  std::vector<int16_t> samples(frames * 2);
  in.read(reinterpret_cast<char*>(samples.data()),
          static_cast<std::streamsize>(samples.size() * 2));
  samples.resize(static_cast<size_t>(in.gcount()) / 2);
  return samples;
}

struct Match {
  double correlation = 0.0;
  size_t offset = 0;  // frame of the track where the stretch matches best
};

// What of the track a stretch of the output is compared with.
enum class TrackPart { kLeft, kSide };  // the left channel, or left minus right

// Best normalised correlation of a stretch of the output's left channel (window frames from
// outFrame) with a part of the track, over the track's frames from..to.
inline Match BestMatch(const std::vector<int16_t>& out, size_t outFrame,
                       const std::vector<int16_t>& track, size_t window, size_t from = 0,
                       size_t to = 44100 * 8, TrackPart part = TrackPart::kLeft) {
  Match best;
  if (2 * (outFrame + window) > out.size()) return best;
  to = std::min(to, track.size() / 2 > window ? track.size() / 2 - window : 0);
  for (size_t offset = from; offset < to; ++offset) {
    double xy = 0, xx = 0, yy = 0;
    for (size_t i = 0; i < window; i += 4) {
      const size_t t = 2 * (offset + i);
      const double x = out[2 * (outFrame + i)];
      const double y = part == TrackPart::kLeft ? track[t] : double(track[t]) - track[t + 1];
      xy += x * y;
      xx += x * x;
      yy += y * y;
    }
    if (xx > 0 && yy > 0 && xy / std::sqrt(xx * yy) > best.correlation)
      best = {xy / std::sqrt(xx * yy), offset};
  }
  return best;
}

inline double BestCorrelation(const std::vector<int16_t>& out, size_t outFrame,
                              const std::vector<int16_t>& track, size_t window) {
  return BestMatch(out, outFrame, track, window).correlation;
}

// How much of the track's left and right channels the output's left channel holds at a
// matched offset (least squares: out = left gain x L + right gain x R). Music as recorded gives
// (1, 0); with the centre cancelled the two gains cancel each other (their sum is the centre's
// gain).
struct ChannelGains {
  double left = 0.0, right = 0.0;
};
inline ChannelGains FitChannels(const std::vector<int16_t>& out, size_t outFrame,
                                const std::vector<int16_t>& track, size_t offset, size_t window) {
  double ll = 0, rr = 0, lr = 0, ol = 0, orr = 0;
  for (size_t i = 0;
       i < window && 2 * (outFrame + i) < out.size() && 2 * (offset + i) + 1 < track.size(); ++i) {
    const double o = out[2 * (outFrame + i)];
    const double l = track[2 * (offset + i)], r = track[2 * (offset + i) + 1];
    ll += l * l, rr += r * r, lr += l * r, ol += o * l, orr += o * r;
  }
  const double det = ll * rr - lr * lr;
  if (det == 0.0) return {};
  return {(ol * rr - orr * lr) / det, (orr * ll - ol * lr) / det};
}
