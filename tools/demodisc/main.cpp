// sorn-demodisc: writes the bundled demo disc, a CUE/BIN image of three short songs of
// synthesised music. Each song has a centre-panned "vocal" melody, a guitar panned left, an
// electric piano panned right, a centre bass and light drums, so vocal reduction has
// something to remove and something to keep. A faint noise floor keeps digital silence out
// of the tracks.
//
// Beside the image it writes the disc's CD information file, "<album title> <disc id>.txt",
// with the titles and a few lines of lyrics per track, in the program's own format and under
// the disc id the program computes from the image (the program installs it into its CD
// information folder when it meets the disc, cd/demo_disc.h).
//
// usage: sorn-demodisc OUTPUT_FOLDER   (writes demo.bin, demo.cue and the information file)
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cdinfo/disc_id.h"
#include "cdinfo/info_file.h"
#include "cdinfo/text_util.h"
#include "platform/cd/image_drive.h"
#include "settings/settings.h"
#include "tools/demodisc/demo_cdg.h"

namespace {

constexpr int kRate = 44100;
constexpr int kSectorFrames = 588;
constexpr double kPi = 3.14159265358979323846;

struct Stereo {
  std::vector<float> left, right;
  explicit Stereo(size_t frames) : left(frames, 0.0f), right(frames, 0.0f) {}
  size_t Frames() const { return left.size(); }
  // Adds a mono sample at a pan position: -1 hard left, 0 centre, +1 hard right.
  void Add(size_t i, float value, float pan) {
    if (i >= left.size()) return;
    const float angle = static_cast<float>((pan + 1.0) * kPi / 4.0);
    left[i] += value * std::cos(angle) * 1.41421356f;
    right[i] += value * std::sin(angle) * 1.41421356f;
  }
};

double MidiToHz(int note) {
  return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// Deterministic pseudo-random numbers (the image is the same on every build).
struct Random {
  uint32_t state;
  float Next() {  // -1 .. 1
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) / 8388608.0f - 1.0f;
  }
};

struct Song {
  int tempo;                // beats per minute
  double seconds;           // length
  int key;                  // MIDI note of the tonic (bass octave)
  std::vector<int> chords;  // scale-degree roots in semitones above key, one per bar
  std::vector<int> melody;  // semitones above key + 24 per eighth note, -1 rest
  float vocalPan;           // 0: centre
};

// A sung note: fundamental with a few harmonics, vibrato and a soft attack.
void Vocal(Stereo& out, size_t start, size_t length, double hz, float pan) {
  double phase = 0.0;
  for (size_t n = 0; n < length; ++n) {
    const double t = static_cast<double>(n) / kRate;
    const double vibrato = 1.0 + 0.006 * std::sin(2 * kPi * 5.5 * t) * std::min(1.0, t * 4);
    phase += 2 * kPi * hz * vibrato / kRate;
    const double env = std::min(1.0, t / 0.04) * std::min(1.0, (length - n) / (0.05 * kRate));
    const double v = std::sin(phase) + 0.45 * std::sin(2 * phase) + 0.25 * std::sin(3 * phase) +
                     0.12 * std::sin(4 * phase) + 0.06 * std::sin(5 * phase);
    out.Add(start + n, static_cast<float>(3800.0 * env * v), pan);
  }
}

// A plucked string (Karplus-Strong).
void Pluck(Stereo& out, size_t start, double hz, double seconds, float gain, float pan,
           Random& random) {
  const size_t period = std::max<size_t>(2, static_cast<size_t>(kRate / hz));
  std::vector<float> line(period);
  for (float& s : line) s = random.Next();
  const size_t length = static_cast<size_t>(seconds * kRate);
  size_t index = 0;
  for (size_t n = 0; n < length; ++n) {
    const size_t next = (index + 1) % period;
    const float value = line[index];
    line[index] = 0.996f * 0.5f * (line[index] + line[next]);
    index = next;
    out.Add(start + n, gain * value, pan);
  }
}

// An electric-piano chord: decaying sine partials with a touch of tremolo.
void Piano(Stereo& out, size_t start, const std::vector<double>& hz, double seconds, float gain,
           float pan) {
  const size_t length = static_cast<size_t>(seconds * kRate);
  for (size_t n = 0; n < length; ++n) {
    const double t = static_cast<double>(n) / kRate;
    const double env = std::exp(-t * 2.2) * std::min(1.0, t / 0.005);
    double v = 0.0;
    for (double f : hz)
      v += std::sin(2 * kPi * f * t) + 0.3 * std::sin(4 * kPi * f * t) * std::exp(-t * 6);
    v *= 1.0 + 0.15 * std::sin(2 * kPi * 4.0 * t);
    out.Add(start + n, static_cast<float>(gain * env * v), pan);
  }
}

void Bass(Stereo& out, size_t start, double hz, double seconds) {
  const size_t length = static_cast<size_t>(seconds * kRate);
  for (size_t n = 0; n < length; ++n) {
    const double t = static_cast<double>(n) / kRate;
    const double env =
        std::min(1.0, t / 0.01) * std::exp(-t * 1.5) * std::min(1.0, (length - n) / (0.02 * kRate));
    const double v = std::sin(2 * kPi * hz * t) + 0.35 * std::sin(4 * kPi * hz * t);
    out.Add(start + n, static_cast<float>(5200.0 * env * v), 0.0f);
  }
}

void Kick(Stereo& out, size_t start) {
  const size_t length = static_cast<size_t>(0.25 * kRate);
  double phase = 0.0;
  for (size_t n = 0; n < length; ++n) {
    const double t = static_cast<double>(n) / kRate;
    phase += 2 * kPi * (50.0 + 90.0 * std::exp(-t * 30)) / kRate;
    out.Add(start + n, static_cast<float>(5000.0 * std::exp(-t * 14) * std::sin(phase)), 0.0f);
  }
}

void HiHat(Stereo& out, size_t start, float gain, Random& random) {
  const size_t length = static_cast<size_t>(0.06 * kRate);
  float previous = 0.0f;
  for (size_t n = 0; n < length; ++n) {
    const float noise = random.Next();
    const float high = noise - previous;  // first difference: a bright hiss
    previous = noise;
    const double env = std::exp(-static_cast<double>(n) / kRate * 60);
    out.Add(start + n, static_cast<float>(gain * env) * high, 0.35f);
  }
}

struct Note {
  size_t start, length;  // in samples
  int step;              // semitones above the key + 24
  size_t eighth;         // eighth notes from the start of the melody
};

// The vocal melody: it starts after a two-bar intro and leaves the last bar to the band.
std::vector<Note> MelodyNotes(const Song& song, size_t frames) {
  const size_t beatFrames = static_cast<size_t>(60.0 / song.tempo * kRate);
  const size_t eighth = beatFrames / 2;
  const size_t melodyStart = 8 * beatFrames;
  const size_t melodyEnd = frames > 4 * beatFrames ? frames - 4 * beatFrames : 0;
  std::vector<Note> notes;
  for (size_t i = 0; melodyStart + i * eighth < melodyEnd; ++i) {
    const int step = song.melody[i % song.melody.size()];
    if (step < 0) continue;
    size_t length = eighth;  // held notes: following rests extend the note
    for (size_t j = i + 1; song.melody[j % song.melody.size()] < 0 && length < 4 * eighth; ++j)
      length += eighth;
    notes.push_back({melodyStart + i * eighth, length - length / 8, step, i});
  }
  return notes;
}

Stereo Render(const Song& song, uint32_t seed) {
  const size_t frames = static_cast<size_t>(song.seconds * kRate);
  Stereo out(frames);
  Random random{seed};
  const double beat = 60.0 / song.tempo;
  const size_t beatFrames = static_cast<size_t>(beat * kRate);
  const size_t bars = frames / (4 * beatFrames) + 1;
  const int major[] = {0, 4, 7};
  const int minor[] = {0, 3, 7};

  for (size_t bar = 0; bar < bars; ++bar) {
    const int root = song.chords[bar % song.chords.size()];
    const bool isMinor = root == 9 || root == 2 || root == 4;
    const int* triad = isMinor ? minor : major;
    const size_t barStart = bar * 4 * beatFrames;
    // Bass on beats 1 and 3, a passing fifth on beat 4.
    Bass(out, barStart, MidiToHz(song.key + root), beat * 1.9);
    Bass(out, barStart + 2 * beatFrames, MidiToHz(song.key + root), beat * 1.4);
    Bass(out, barStart + 3 * beatFrames + beatFrames / 2, MidiToHz(song.key + root + 7),
         beat * 0.45);
    // Guitar arpeggio on eighth notes, left.
    for (int e = 0; e < 8; ++e) {
      const int note = song.key + 24 + root + triad[e % 3] + (e >= 4 ? 12 : 0);
      Pluck(out, barStart + e * beatFrames / 2, MidiToHz(note), beat * 1.5, 2600.0f, -0.85f,
            random);
    }
    // Piano chord on beats 1 and 3, right.
    std::vector<double> chord;
    for (int k = 0; k < 3; ++k) chord.push_back(MidiToHz(song.key + 36 + root + triad[k]));
    Piano(out, barStart, chord, beat * 2, 900.0f, 0.85f);
    Piano(out, barStart + 2 * beatFrames, chord, beat * 2, 700.0f, 0.85f);
    // Drums.
    for (int b = 0; b < 4; ++b) {
      if (b % 2 == 0) Kick(out, barStart + b * beatFrames);
      for (int h = 0; h < 2; ++h)
        HiHat(out, barStart + b * beatFrames + h * beatFrames / 2, h ? 900.0f : 1500.0f, random);
    }
  }
  for (const Note& note : MelodyNotes(song, frames))
    Vocal(out, note.start, note.length, MidiToHz(song.key + 24 + note.step), song.vocalPan);
  // Fade in and out over 40 ms and 1.5 s; a noise floor of about one bit keeps the track from
  // ever being digital silence.
  for (size_t n = 0; n < frames; ++n) {
    double gain = std::min(1.0, n / (0.04 * kRate));
    gain = std::min(gain, (frames - n) / (1.5 * kRate));
    out.left[n] = static_cast<float>(out.left[n] * gain) + 1.5f * random.Next();
    out.right[n] = static_cast<float>(out.right[n] * gain) + 1.5f * random.Next();
  }
  return out;
}

void AppendPcm(const Stereo& song, std::vector<uint8_t>& bin) {
  // Whole sectors: the last one is padded with the noise floor's level, not zeros.
  const size_t frames = (song.Frames() + kSectorFrames - 1) / kSectorFrames * kSectorFrames;
  float peak = 1.0f;
  for (size_t n = 0; n < song.Frames(); ++n)
    peak = std::max({peak, std::fabs(song.left[n]), std::fabs(song.right[n])});
  const float scale = peak > 29000.0f ? 29000.0f / peak : 1.0f;
  for (size_t n = 0; n < frames; ++n) {
    for (int c = 0; c < 2; ++c) {
      float v =
          n < song.Frames() ? (c ? song.right[n] : song.left[n]) * scale : (n & 1 ? 1.0f : -1.0f);
      long s = std::lround(v);
      s = std::max(-32767L, std::min(32767L, s));
      const auto sample = static_cast<uint16_t>(static_cast<int16_t>(s));
      bin.push_back(static_cast<uint8_t>(sample & 0xFF));  // CD audio in a BIN is little-endian
      bin.push_back(static_cast<uint8_t>(sample >> 8));
    }
  }
}

constexpr const char* kAlbumTitle = "Sorn Karaoke Demo Disc";
constexpr const char* kAlbumArtist = "The Sorn Session Band";

struct SongText {
  const char* title;
  const char* lyrics;
};

const SongText kSongTexts[] = {
    {"Sunny Side Street",
     "Walking down the sunny side, the morning on my face\n"
     "Every window open wide, the whole town keeps the pace\n"
     "Sing it out, sing it loud, there is nothing in the way\n"
     "On the sunny side street we will dance the day away"},
    {"Rain on the Window",
     "Rain on the window, slow and grey\n"
     "Counting the hours since you went away\n"
     "The candle is low and the tea has gone cold\n"
     "I keep the last letter, the last one you wrote"},
    {"Back Road Shuffle",
     "Take the back road, roll the windows down\n"
     "Leave the traffic and the noise of town\n"
     "Tap your foot and shuffle to the beat\n"
     "Dust is flying underneath our feet"},
};

// The CD information file of the image, under the disc id the program computes for it.
bool WriteInfoFile(const std::string& folder, const std::string& cuePath) {
  ImageDriveOptions options;
  options.path = cuePath;
  std::string error;
  std::unique_ptr<ImageCdDevice> drive = ImageCdDevice::Open(options, &error);
  int count = 0;
  if (!drive || drive->StatusTrackCount(&count) != 0 || count != 3) {
    std::fprintf(stderr, "sorn-demodisc: cannot read back %s: %s\n", cuePath.c_str(),
                 error.c_str());
    return false;
  }
  DiscLayout layout;
  layout.trackCount = count;
  for (int i = 0; i < count; ++i) {
    if (drive->StatusTrackPosition(i + 1, &layout.position[i]) != 0 ||
        drive->StatusTrackLength(i + 1, &layout.length[i]) != 0)
      return false;
  }
  char discId[kDiscIdChars + 1];
  ComputeDiscId(layout.trackCount, layout.position, layout.length, discId);

  CdTitles titles;
  titles.albumTitle = kAlbumTitle;
  titles.albumArtist = kAlbumArtist;
  for (int i = 0; i < count; ++i) titles.tracks[i].title = kSongTexts[i].title;
  std::string text = BuildCdInfoText(titles, count - 1);
  for (int i = 0; i < count; ++i) {
    const std::string section =
        LyricsHeading(i, kSongTexts[i].title) + "\n" + kSongTexts[i].lyrics + "\n";
    if (!ReplaceLyricsInText(&text, i, section)) return false;
  }
  // Like every information file the program writes, it ends with a line end (reading it never
  // rewrites it).
  if (text.back() != '\n') text += '\n';
  settings.databasePath = folder + "/";
  const std::string path = InfoFilePath(kAlbumTitle, discId);
  if (!cdinfo::WriteFileText(path, text)) {
    std::fprintf(stderr, "sorn-demodisc: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

// The first song's lyrics as CD+G: one lyric line a phrase of 16 eighth notes, its words on
// the phrase's notes.
std::vector<uint8_t> FirstSongCdg(const Song& song) {
  const size_t frames = static_cast<size_t>(song.seconds * kRate);
  DemoCdgSong cdg;
  cdg.title = kSongTexts[0].title;
  cdg.artist = kAlbumArtist;
  cdg.totalSamples = static_cast<int64_t>(frames);
  std::string lyrics = kSongTexts[0].lyrics;
  for (size_t start = 0; start <= lyrics.size();) {
    const size_t end = std::min(lyrics.find('\n', start), lyrics.size());
    cdg.lines.push_back({lyrics.substr(start, end - start), {}});
    start = end + 1;
  }
  for (const Note& note : MelodyNotes(song, frames)) {
    const size_t line = note.eighth / 16;
    if (line < cdg.lines.size())
      cdg.lines[line].noteSamples.push_back(static_cast<int64_t>(note.start));
  }
  return DemoSongCdg(cdg);
}

std::string Msf(size_t frames) {  // CD frames (1/75 s) as mm:ss:ff
  char text[40];
  std::snprintf(text, sizeof text, "%02zu:%02zu:%02zu", frames / 4500, frames / 75 % 60,
                frames % 75);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sorn-demodisc OUTPUT_FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  // C major pop, A minor ballad, G major shuffle.
  const std::vector<Song> songs = {
      {112,
       24.0,
       36,
       {0, 7, 9, 5},
       {4, -1, 7, 9, 7,  -1, 4,  2, 0, -1, 2, 4, 2, -1, -1, -1,
        4, -1, 7, 9, 12, -1, 11, 9, 7, -1, 4, 2, 4, -1, -1, -1},
       0.0f},
      {84,
       30.0,
       33,
       {0, 5, 7, 3},
       {7,  -1, 8, 7, 5, -1, 3, -1, 2, 3,  5, -1, 7, -1, -1, -1,
        10, -1, 8, 7, 5, -1, 7, -1, 3, -1, 2, -1, 0, -1, -1, -1},
       0.0f},
      {128,
       36.0,
       31,
       {0, 5, 0, 7},
       {7, 9, 11, -1, 12, 11, 9,  7, 4, -1, 7, -1, 9, -1, -1, -1,
        7, 9, 11, -1, 14, 12, 11, 9, 7, -1, 4, -1, 7, -1, -1, -1},
       0.0f},
  };
  std::vector<uint8_t> bin;
  std::vector<int32_t> trackStarts;
  std::string cue =
      "REM Sorn Karaoke demo disc\nPERFORMER \"The Sorn Session Band\"\n"
      "TITLE \"Sorn Karaoke Demo Disc\"\nFILE \"demo.bin\" BINARY\n";
  for (size_t i = 0; i < songs.size(); ++i) {
    const size_t startFrame = bin.size() / 2352;
    trackStarts.push_back(static_cast<int32_t>(startFrame));
    char line[128];
    std::snprintf(line, sizeof line, "  TRACK %02zu AUDIO\n    INDEX 01 %s\n", i + 1,
                  Msf(startFrame).c_str());
    cue += line;
    AppendPcm(Render(songs[i], 0x50524E00u + static_cast<uint32_t>(i)), bin);
    std::fprintf(stderr, "sorn-demodisc: track %zu rendered\n", i + 1);
  }
  const std::string binPath = folder + "/demo.bin", cuePath = folder + "/demo.cue";
  std::FILE* out = std::fopen(binPath.c_str(), "wb");
  if (!out || std::fwrite(bin.data(), 1, bin.size(), out) != bin.size() || std::fclose(out) != 0) {
    std::fprintf(stderr, "sorn-demodisc: cannot write %s\n", binPath.c_str());
    return 1;
  }
  out = std::fopen(cuePath.c_str(), "w");
  if (!out || std::fputs(cue.c_str(), out) < 0 || std::fclose(out) != 0) {
    std::fprintf(stderr, "sorn-demodisc: cannot write %s\n", cuePath.c_str());
    return 1;
  }
  // The sub-channel beside the image: the first song's CD+G (the track starts at sector 0).
  const std::vector<uint8_t> sub =
      DemoDiscSub(FirstSongCdg(songs[0]), trackStarts, static_cast<int32_t>(bin.size() / 2352));
  const std::string subPath = folder + "/demo.sub";
  out = std::fopen(subPath.c_str(), "wb");
  if (!out || std::fwrite(sub.data(), 1, sub.size(), out) != sub.size() || std::fclose(out) != 0) {
    std::fprintf(stderr, "sorn-demodisc: cannot write %s\n", subPath.c_str());
    return 1;
  }
  return WriteInfoFile(folder, cuePath) ? 0 : 1;
}
