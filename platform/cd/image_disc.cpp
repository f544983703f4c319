#include "platform/cd/image_disc.h"

#include <cdio/cdio.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "diagnostics/diagnostics.h"
#include "platform/cd/cd_device.h"
#include "platform/cd/cdio_toc.h"

namespace {

constexpr int64_t kCdgSectorBytes = kRawSectorBytes + kSubcodeBytes;  // 2448

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

driver_id_t ImageDriver(const std::string& path) {
  if (EndsWithNoCase(path, ".cue") || EndsWithNoCase(path, ".bin")) return DRIVER_BINCUE;
  if (EndsWithNoCase(path, ".toc")) return DRIVER_CDRDAO;
  if (EndsWithNoCase(path, ".nrg")) return DRIVER_NRG;
  return DRIVER_UNKNOWN;
}

// ---- Images libcdio reads -------------------------------------------------------------------

class CdioImageDisc final : public ImageDisc {
 public:
  explicit CdioImageDisc(CdIo_t* cdio) : cdio_(cdio) {}
  ~CdioImageDisc() override { cdio_destroy(cdio_); }

  int TrackCount(int* count) const override { return CdioTrackCount(cdio_, count); }
  int TrackIsAudio(int track, bool* audio) const override {
    return CdioTrackIsAudio(cdio_, track, audio);
  }
  int TrackStartFrame(int track, int32_t* frame) const override {
    return CdioTrackStartFrame(cdio_, track, frame);
  }
  int LeadOutFrame(int32_t* frame) const override { return CdioLeadOutFrame(cdio_, frame); }
  std::string VolumeLabel() const override { return CdioVolumeLabel(cdio_); }

  bool ReadAudioSectors(int32_t first, int32_t count, uint8_t* out) const override {
    if (cdio_read_audio_sectors(cdio_, out, static_cast<lsn_t>(first),
                                static_cast<uint32_t>(count)) != DRIVER_OP_SUCCESS)
      return false;
    // A read that runs past the end of a short image's data file succeeds with silence for
    // what is missing; its last sector read alone tells whether the image holds the range.
    if (count > 1) {
      uint8_t last[kRawSectorBytes];
      if (cdio_read_audio_sectors(cdio_, last, static_cast<lsn_t>(first + count - 1), 1) !=
          DRIVER_OP_SUCCESS)
        return false;
    }
    return true;
  }

 private:
  CdIo_t* cdio_;
};

std::unique_ptr<ImageDisc> OpenCdioImage(const std::string& path, std::string* error) {
  InstallCdioLogHandler();
  CdIo_t* cdio = cdio_open(path.c_str(), ImageDriver(path));
  if (!cdio) {
    *error = "libcdio cannot open the image " + path;
    return nullptr;
  }
  auto disc = std::make_unique<CdioImageDisc>(cdio);
  int count = 0;
  if (disc->TrackCount(&count) != 0 || count < 1) {
    *error = "the image " + path + " has no tracks";
    return nullptr;
  }
  return disc;
}

// ---- CUE sheets of CDG tracks ---------------------------------------------------------------

// One data file of the sheet: its sectors follow those of the files before it on the disc.
struct CdgDataFile {
  std::string path;
  int fd = -1;
  int32_t firstSector = 0;
  int32_t sectors = 0;
};

// The data files and the track starts of a sheet; also the source of its sub-channel, which
// the drive's sub-channel store shares.
struct CdgLayout final : SubcodeSource {
  ~CdgLayout() override {
    for (const CdgDataFile& f : files) ::close(f.fd);
  }

  // The sub-channel part of every sector from logical block 0.
  int32_t Sectors() const override {
    return files.empty() ? 0 : files.back().firstSector + files.back().sectors;
  }
  void Read(int64_t local, int64_t count, uint8_t* out) const override {
    for (int64_t i = 0; i < count; ++i) {
      uint8_t* target = out + i * kSubcodeBytes;
      if (local + i > INT32_MAX ||
          !ReadPart(static_cast<int32_t>(local + i), kRawSectorBytes, kSubcodeBytes, target))
        std::memset(target, 0, kSubcodeBytes);
    }
  }

  // length bytes from offset within the 2448 bytes of a sector.
  bool ReadPart(int32_t sector, int64_t offset, int64_t length, uint8_t* out) const {
    for (const CdgDataFile& f : files) {
      if (sector < f.firstSector || sector >= f.firstSector + f.sectors) continue;
      const off_t at = static_cast<off_t>((sector - f.firstSector) * kCdgSectorBytes + offset);
      return ::pread(f.fd, out, static_cast<size_t>(length), at) == length;
    }
    return false;
  }

  std::vector<CdgDataFile> files;
  std::vector<int32_t> starts;  // each track's first sector (logical block)
};

// Reads a sheet; false with the reason in *error.
bool LoadCdgSheet(const std::string& cuePath, CdgLayout* layout, std::string* error);

class CdgImageDisc final : public ImageDisc {
 public:
  CdgImageDisc(std::string cuePath, std::shared_ptr<const CdgLayout> layout)
      : cuePath_(std::move(cuePath)), layout_(std::move(layout)) {}

  int TrackCount(int* count) const override {
    *count = static_cast<int>(layout_->starts.size());
    return 0;
  }
  int TrackIsAudio(int track, bool* audio) const override {
    *audio = false;
    if (track < 1 || track > static_cast<int>(layout_->starts.size())) return MCIERR_OUTOFRANGE;
    *audio = true;
    return 0;
  }
  int TrackStartFrame(int track, int32_t* frame) const override {
    *frame = 0;
    if (track < 1 || track > static_cast<int>(layout_->starts.size())) return MCIERR_OUTOFRANGE;
    *frame = layout_->starts[track - 1] + kLeadInFrames;
    return 0;
  }
  int LeadOutFrame(int32_t* frame) const override {
    *frame = layout_->Sectors() + kLeadInFrames;
    return 0;
  }
  std::string VolumeLabel() const override { return ""; }

  bool ReadAudioSectors(int32_t first, int32_t count, uint8_t* out) const override {
    for (int32_t i = 0; i < count; ++i) {
      if (!layout_->ReadPart(first + i, 0, kRawSectorBytes, out + int64_t{i} * kRawSectorBytes))
        return false;
    }
    return true;
  }

  bool InterleavedSubcode(SubcodeFile* file) const override {
    *file = SubcodeFile{};
    file->format = SubcodeFormat::kRaw;
    file->path = cuePath_;
    file->source = layout_;
    return true;
  }

 private:
  std::string cuePath_;
  std::shared_ptr<const CdgLayout> layout_;
};

// "mm:ss:ff" as sectors.
bool ParseMsf(const std::string& text, int32_t* sectors) {
  int m = 0, s = 0, f = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%d:%d:%d%c", &m, &s, &f, &tail) != 3) return false;
  if (m < 0 || m > 99 || s < 0 || s > 59 || f < 0 || f > 74) return false;
  *sectors = (m * 60 + s) * 75 + f;
  return true;
}

bool LoadCdgSheet(const std::string& cuePath, CdgLayout* layout, std::string* error) {
  std::ifstream in(cuePath);
  if (!in) {
    *error = "cannot read the CUE sheet " + cuePath;
    return false;
  }
  const std::filesystem::path folder = std::filesystem::path(cuePath).parent_path();
  auto fail = [&](int line, const std::string& why) {
    *error = cuePath + " line " + std::to_string(line) + ": " + why;
    return false;
  };
  std::vector<int> fileOfTrack;  // the data file of each track
  bool trackHasStart = true;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::string keyword;
    if (!(words >> keyword)) continue;
    keyword = Upper(keyword);
    std::string rest;
    std::getline(words >> std::ws, rest);
    if (keyword == "FILE") {
      size_t after = 0;
      const std::string name = CueFileName(rest, 0, &after);
      std::string type;
      std::istringstream(rest.substr(after)) >> type;
      if (name.empty()) return fail(number, "a FILE line without a name");
      if (Upper(type) != "BINARY")
        return fail(number, "CDG tracks are read from BINARY files only");
      CdgDataFile file;
      file.path = (folder / name).string();  // an absolute name stays as it is
      file.fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
      if (file.fd < 0) return fail(number, "cannot open " + file.path);
      const off_t size = ::lseek(file.fd, 0, SEEK_END);
      file.firstSector = layout->Sectors();
      const int64_t sectors = size > 0 ? size / kCdgSectorBytes : 0;
      layout->files.push_back(file);
      if (sectors <= 0 || sectors > kMaxDiscSectors)
        return fail(number, file.path + " does not hold 2448-byte sectors of a CD");
      layout->files.back().sectors = static_cast<int32_t>(sectors);
      if (size % kCdgSectorBytes != 0)
        Trace("ImageCdDevice: %s ends with %lld bytes of a sector; they are left out\n",
              file.path.c_str(), static_cast<long long>(size % kCdgSectorBytes));
    } else if (keyword == "TRACK") {
      std::istringstream fields(rest);
      int track = 0;
      std::string mode;
      fields >> track >> mode;
      if (layout->files.empty()) return fail(number, "a TRACK before any FILE");
      if (Upper(mode) != "CDG") return fail(number, "a sheet of CDG tracks holds CDG tracks only");
      if (!trackHasStart) return fail(number, "the track before has no INDEX 01");
      if (track != static_cast<int>(fileOfTrack.size()) + 1)
        return fail(number, "tracks are numbered from 1 in order");
      fileOfTrack.push_back(static_cast<int>(layout->files.size()) - 1);
      layout->starts.push_back(-1);
      trackHasStart = false;
    } else if (keyword == "INDEX") {
      std::istringstream fields(rest);
      int index = -1;
      std::string msf;
      fields >> index >> msf;
      if (index != 1 || layout->starts.empty())
        continue;  // pre-gaps (index 0) play as the track before
      int32_t offset = 0;
      if (!ParseMsf(msf, &offset)) return fail(number, "an INDEX time that is not mm:ss:ff");
      const CdgDataFile& file = layout->files[fileOfTrack.back()];
      if (offset >= file.sectors) return fail(number, "the INDEX lies past the end of its FILE");
      layout->starts.back() = file.firstSector + offset;
      if (layout->starts.size() > 1 &&
          layout->starts.back() <= layout->starts[layout->starts.size() - 2])
        return fail(number, "the track starts before the one ahead of it");
      trackHasStart = true;
    } else if (keyword == "PREGAP" || keyword == "POSTGAP") {
      return fail(number, keyword + " is not read with CDG tracks");
    }
  }
  if (layout->starts.empty()) {
    *error = cuePath + ": no tracks";
    return false;
  }
  if (!trackHasStart) {
    *error = cuePath + ": the last track has no INDEX 01";
    return false;
  }
  return true;
}

std::unique_ptr<ImageDisc> OpenCdgImage(const std::string& path, std::string* error) {
  auto layout = std::make_shared<CdgLayout>();
  if (!LoadCdgSheet(path, layout.get(), error)) return nullptr;
  return std::make_unique<CdgImageDisc>(path, std::move(layout));
}

}  // namespace

bool EndsWithNoCase(const std::string& text, const char* suffix) {
  const size_t n = std::strlen(suffix);
  if (text.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(text[text.size() - n + i])) != suffix[i])
      return false;
  }
  return true;
}

std::string CueFileName(const std::string& line, size_t from, size_t* after) {
  size_t end = line.size();
  std::string name;
  if (from < line.size() && line[from] == '"') {
    const size_t close = line.find('"', from + 1);
    name = line.substr(from + 1, close == std::string::npos ? std::string::npos : close - from - 1);
    end = close == std::string::npos ? line.size() : close + 1;
  } else if (from < line.size()) {
    end = std::min(line.find_first_of(" \t\r", from), line.size());
    name = line.substr(from, end - from);
  }
  if (after) *after = end;
  return name;
}

bool IsCdgCueSheet(const std::string& path) {
  if (!EndsWithNoCase(path, ".cue")) return false;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string keyword, number, mode;
    words >> keyword >> number >> mode;
    if (Upper(keyword) == "TRACK" && Upper(mode) == "CDG") return true;
  }
  return false;
}

std::unique_ptr<ImageDisc> ImageDisc::Open(const std::string& path, std::string* error) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    *error = "no image file " + path;
    return nullptr;
  }
  return IsCdgCueSheet(path) ? OpenCdgImage(path, error) : OpenCdioImage(path, error);
}

int ImageDisc::TrackLengthFrames(int track, int32_t* frames) const {
  return TocTrackLengthFrames(*this, track, frames);
}

int ImageDisc::DiscLengthFrames(int32_t* frames) const {
  return TocDiscLengthFrames(*this, frames);
}
