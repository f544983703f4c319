#include "platform/cd/image_drive.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "diagnostics/diagnostics.h"
#include "platform/cd/image_disc.h"

namespace {

constexpr int kInquiryLength = 36;
constexpr int kSubchannelBytes = 16;  // trailing bytes of a 2368-byte audio block
constexpr int kSelectionRaw = 1;      // READ CD sub-channel selection: raw P-W
constexpr int kSelectionPacks = 4;    // de-interleaved and corrected R-W

bool ParseInt(const std::string& text, long low, long high, long* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < low || v > high) return false;
  *value = v;
  return true;
}

uint32_t BigEndian(const uint8_t* bytes, int count) {
  uint32_t value = 0;
  for (int i = 0; i < count; ++i) value = (value << 8) | bytes[i];
  return value;
}

void PutBigEndian16(uint8_t* bytes, unsigned value) {
  bytes[0] = static_cast<uint8_t>(value >> 8);
  bytes[1] = static_cast<uint8_t>(value);
}

void CopyPadded(uint8_t* out, const std::string& text, size_t width) {
  for (size_t i = 0; i < width; ++i) out[i] = i < text.size() ? text[i] : ' ';
}

int Complete(ScsiRequestBlock* srb) {
  srb->targetStatus = kTargetStatusGood;
  srb->status = SS_COMP;
  return SS_COMP;
}

int CheckCondition(ScsiRequestBlock* srb, int key, int asc, int ascq = 0) {
  uint8_t sense[18] = {};
  sense[0] = 0x70;
  sense[2] = static_cast<uint8_t>(key);
  sense[7] = 10;
  sense[12] = static_cast<uint8_t>(asc);
  sense[13] = static_cast<uint8_t>(ascq);
  int n = std::clamp(srb->senseLength, 0, kSenseAreaLength);
  std::memcpy(srb->sense, sense, static_cast<size_t>(n));
  srb->targetStatus = kTargetStatusCheckCondition;
  srb->status = SS_ERR;
  return SS_ERR;
}

// The names a CUE sheet gives each track: the stem of its FILE when the file holds that track
// alone, and its TITLE.
std::map<int, std::vector<std::string>> CueTrackNames(const std::string& cuePath) {
  std::map<int, std::vector<std::string>> names;
  if (!EndsWithNoCase(cuePath, ".cue")) return names;
  std::ifstream in(cuePath);
  std::string line, file;
  std::map<std::string, std::vector<int>> tracksOfFile;
  int track = 0;
  auto quoted = [](const std::string& text) {
    size_t open = text.find('"'), close = text.rfind('"');
    return open != std::string::npos && close > open ? text.substr(open + 1, close - open - 1)
                                                     : std::string();
  };
  while (std::getline(in, line)) {
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) continue;
    std::string text = line.substr(start);
    if (text.rfind("FILE ", 0) == 0) {
      file = quoted(text);
      track = 0;
    } else if (text.rfind("TRACK ", 0) == 0) {
      track = std::atoi(text.c_str() + 6);
      if (track > 0) tracksOfFile[file].push_back(track);
    } else if (text.rfind("TITLE ", 0) == 0 && track > 0) {
      std::string title = quoted(text);
      if (!title.empty() && title.find('/') == std::string::npos) names[track].push_back(title);
    }
  }
  for (const auto& [name, tracks] : tracksOfFile) {
    if (tracks.size() == 1 && !name.empty())
      names[tracks[0]].insert(names[tracks[0]].begin(),
                              std::filesystem::path(name).stem().string());
  }
  return names;
}

// Adds a file found beside the image; one that cannot be read is traced and left out.
void AddFoundFile(SubcodeStore* store, const std::filesystem::path& path, SubcodeFormat format,
                  int32_t firstSector, int32_t sectorLimit) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return;
  for (const SubcodeFile& f : store->Files())
    if (f.path == path.string() && f.firstSector == firstSector) return;
  SubcodeFile file;
  std::string error, warning;
  if (!LoadSubcodeFile(path.string(), format, firstSector, &file, &error, &warning)) {
    Trace("ImageCdDevice: %s; its sub-channel is left out\n", error.c_str());
    return;
  }
  if (!warning.empty()) Trace("ImageCdDevice: %s\n", warning.c_str());
  file.sectorLimit = sectorLimit;
  store->Add(std::move(file));
}

// Finds the sub-channel files of an image (see image_drive.h for the order).
bool BuildSubcodeStore(const ImageDriveOptions& options, const std::string& imagePath,
                       const ImageDisc& disc, SubcodeStore* store, std::string* error) {
  int tracks = 0;
  disc.TrackCount(&tracks);
  auto trackRange = [&](int track, int32_t* first, int32_t* length) {
    int32_t start = 0;
    *length = 0;
    if (track < 1 || track > tracks || disc.TrackStartFrame(track, &start) != 0 ||
        disc.TrackLengthFrames(track, length) != 0)
      return false;
    *first = start - kLeadInFrames;
    return true;
  };
  for (const auto& [track, path] : options.cdgFiles) {
    int32_t first = 0, length = 0;
    if (!trackRange(track, &first, &length)) {
      *error = "the image has no track " + std::to_string(track) + " for " + path;
      return false;
    }
    SubcodeFile file;
    std::string warning;
    if (!LoadSubcodeFile(path, SubcodeFormat::kPacks, first, &file, error, &warning)) return false;
    if (!warning.empty()) Trace("ImageCdDevice: %s\n", warning.c_str());
    file.sectorLimit = length;
    store->Add(std::move(file));
  }
  // The disc's own: sectors that carry their sub-channel.
  if (SubcodeFile own; disc.InterleavedSubcode(&own)) store->Add(std::move(own));
  const std::filesystem::path image(imagePath);
  const std::filesystem::path folder = image.parent_path();
  for (const auto& [track, names] : CueTrackNames(imagePath)) {
    int32_t first = 0, length = 0;
    if (!trackRange(track, &first, &length)) continue;
    for (const std::string& name : names)
      AddFoundFile(store, folder / (name + ".cdg"), SubcodeFormat::kPacks, first, length);
  }
  const std::filesystem::path stem = folder / image.stem();
  AddFoundFile(store, stem.string() + ".cdg", SubcodeFormat::kPacks, 0, -1);
  AddFoundFile(store, stem.string() + ".sub", SubcodeFormat::kRaw, 0, -1);
  return true;
}

}  // namespace

bool IsImageDriveString(const std::string& text) {
  if (text.rfind("image:", 0) == 0) return true;
  std::string path = text.substr(0, text.find(','));
  return EndsWithNoCase(path, ".cue") || EndsWithNoCase(path, ".bin") ||
         EndsWithNoCase(path, ".toc") || EndsWithNoCase(path, ".nrg");
}

bool ParseImageDriveString(const std::string& text, ImageDriveOptions* options,
                           std::string* error) {
  ImageDriveOptions parsed;
  std::string rest = text.rfind("image:", 0) == 0 ? text.substr(6) : text;
  size_t comma = rest.find(',');
  parsed.path = rest.substr(0, comma);
  if (parsed.path.empty()) {
    *error = "no image path";
    return false;
  }
  while (comma != std::string::npos) {
    size_t next = rest.find(',', comma + 1);
    std::string option =
        rest.substr(comma + 1, next == std::string::npos ? next : next - comma - 1);
    comma = next;
    size_t equals = option.find('=');
    std::string name = option.substr(0, equals);
    std::string value = equals == std::string::npos ? "" : option.substr(equals + 1);
    bool hasValue = equals != std::string::npos;
    long number = 0;
    if (name == "vendor" && hasValue && value.size() <= 8) {
      parsed.vendor = value;
    } else if (name == "product" && hasValue && value.size() <= 16) {
      parsed.product = value;
    } else if (name == "atapi" && hasValue && ParseInt(value, 0, 1, &number)) {
      parsed.atapi = static_cast<int>(number);
    } else if (name == "swap" && !hasValue) {
      parsed.swap = true;
    } else if (name == "jitter" && hasValue && ParseInt(value, 0, 26 * kRawSectorBytes, &number)) {
      parsed.jitter = static_cast<int>(number);
    } else if (name == "read-error" && hasValue) {
      size_t dash = value.find('-');
      long first = 0, last = 0;
      if (dash == std::string::npos || !ParseInt(value.substr(0, dash), 0, INT_MAX, &first) ||
          !ParseInt(value.substr(dash + 1), first, INT_MAX, &last)) {
        *error = "read-error needs FIRST-LAST sectors: '" + option + "'";
        return false;
      }
      parsed.readErrors.emplace_back(static_cast<int32_t>(first), static_cast<int32_t>(last));
    } else if (name == "no-disc" && !hasValue) {
      parsed.noDisc = true;
    } else if (name == "dvd" && !hasValue) {
      parsed.dvd = true;
    } else if (name == "data" && !hasValue) {
      parsed.dataOnly = true;
    } else if (name == "virtual" && !hasValue) {
      parsed.virtualDrive = true;
    } else if (name == "label" && hasValue) {
      parsed.label = value;
    } else if (name == "speed" && hasValue && ParseInt(value, 0, 65535, &number)) {
      parsed.maxReadSpeed = static_cast<int>(number);
    } else if (name == "cdg" && hasValue && !value.empty()) {
      long track = 1;
      size_t colon = value.find(':');
      std::string path = value;
      if (colon != std::string::npos && ParseInt(value.substr(0, colon), 1, 99, &track))
        path = value.substr(colon + 1);
      if (path.empty()) {
        *error = "cdg needs a file: '" + option + "'";
        return false;
      }
      parsed.cdgFiles.emplace_back(static_cast<int>(track), path);
    } else if (name == "rw-alone" && !hasValue) {
      parsed.rwAlone = true;
    } else if (name == "rw-with-audio" && !hasValue) {
      parsed.rwWithAudio = true;
    } else if (name == "rw" && (value == "corrected" || value == "raw" || value == "none")) {
      parsed.rw = value == "corrected" ? ImageDriveOptions::RwSubchannel::kCorrected
                  : value == "raw"     ? ImageDriveOptions::RwSubchannel::kRaw
                                       : ImageDriveOptions::RwSubchannel::kNone;
    } else {
      *error = "bad drive option '" + option + "'";
      return false;
    }
  }
  *options = parsed;
  return true;
}

std::vector<std::string> ImageFiles(const std::string& imagePath) {
  std::vector<std::string> files{imagePath};
  if (!EndsWithNoCase(imagePath, ".cue") && !EndsWithNoCase(imagePath, ".toc")) return files;
  const std::filesystem::path folder = std::filesystem::path(imagePath).parent_path();
  std::ifstream sheet(imagePath);
  std::string line;
  while (std::getline(sheet, line)) {
    size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos) continue;
    const size_t wordEnd = line.find_first_of(" \t", at);
    std::string word = line.substr(at, wordEnd - at);
    for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (wordEnd == std::string::npos ||
        (word != "FILE" && word != "DATAFILE" && word != "AUDIOFILE"))
      continue;
    at = line.find_first_not_of(" \t", wordEnd);
    if (at == std::string::npos) continue;
    const std::string name = CueFileName(line, at);
    if (!name.empty()) files.push_back((folder / name).string());
  }
  return files;
}

ImageCdDevice::ImageCdDevice(const ImageDriveOptions& options) : options_(options) {}

ImageCdDevice::~ImageCdDevice() = default;

std::unique_ptr<ImageCdDevice> ImageCdDevice::Open(const ImageDriveOptions& options,
                                                   std::string* error) {
  std::unique_ptr<ImageCdDevice> drive(new ImageCdDevice(options));
  if (!options.noDisc && !drive->InsertDisc(options.path, error)) return nullptr;
  return drive;
}

bool ImageCdDevice::InsertDisc(const std::string& path, std::string* error) {
  std::unique_ptr<ImageDisc> disc = ImageDisc::Open(path, error);
  if (!disc) return false;
  int32_t leadOut = 0;
  if (disc->LeadOutFrame(&leadOut) != 0) {
    *error = "the image " + path + " has no lead-out";
    return false;
  }
  SubcodeStore subcode;
  if (!BuildSubcodeStore(options_, path, *disc, &subcode, error)) return false;
  std::lock_guard<std::mutex> guard(lock_);
  disc_ = std::move(disc);
  subcode_ = std::move(subcode);
  leadOut_ = leadOut - kLeadInFrames;
  lastReadStart_ = lastReadEnd_ = -1;
  return true;
}

void ImageCdDevice::RemoveDisc() {
  std::lock_guard<std::mutex> guard(lock_);
  disc_.reset();
  subcode_ = SubcodeStore();
  lastReadStart_ = lastReadEnd_ = -1;
}

bool ImageCdDevice::TrayOpen() const {
  std::lock_guard<std::mutex> guard(lock_);
  return trayOpen_;
}

int ImageCdDevice::ReadCommandCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return readCommands_;
}

std::vector<std::string> ImageCdDevice::SubcodePaths() const {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<std::string> paths;
  for (const SubcodeFile& f : subcode_.Files()) paths.push_back(f.path);
  return paths;
}

int ImageCdDevice::SubchannelBytes(int selection) const {
  using Rw = ImageDriveOptions::RwSubchannel;
  if (selection == 0) return 0;
  if (selection == kSelectionRaw && options_.rw != Rw::kNone) return kSubcodeBytes;
  if (selection == kSelectionPacks && options_.rw == Rw::kCorrected) return kSubcodeBytes;
  return -1;
}

bool ImageCdDevice::DiscReady() const {
  return disc_ && !trayOpen_;
}

// ---- SCSI ------------------------------------------------------------------------------------

int ImageCdDevice::Execute(ScsiRequestBlock* srb) {
  std::lock_guard<std::mutex> guard(lock_);
  if (srb->bufferLength > 0 && !srb->buffer) {
    srb->status = SS_INVALID_SRB;
    return SS_INVALID_SRB;
  }
  switch (srb->cdb[0]) {
    case kScsiTestUnitReady:
      return DiscReady() ? Complete(srb)
                         : CheckCondition(srb, kSenseKeyNotReady, kAscMediumNotPresent);
    case kScsiInquiry:
      return Inquiry(srb);
    case kScsiModeSense10:
      return ModeSense(srb);
    case kScsiRead10:
    case kScsiReadNec:
    case kScsiReadCdda:
    case kScsiReadCd:
      ++readCommands_;
      return Read(srb);
    default:
      return CheckCondition(srb, kSenseKeyIllegalRequest, kAscInvalidOpcode);
  }
}

int ImageCdDevice::Inquiry(ScsiRequestBlock* srb) {
  uint8_t answer[kInquiryLength] = {};
  answer[0] = kDeviceTypeCdRom;
  answer[1] = 0x80;  // removable medium
  answer[2] = options_.atapi ? 0x00 : 0x02;
  answer[3] = options_.atapi ? 0x21 : 0x02;
  answer[4] = kInquiryLength - 5;
  CopyPadded(answer + 8, options_.vendor, 8);
  CopyPadded(answer + 16, options_.product, 16);
  CopyPadded(answer + 32, options_.revision, 4);
  size_t n = std::min<size_t>({srb->cdb[4], srb->bufferLength, sizeof answer});
  if (n > 0) std::memcpy(srb->buffer, answer, n);
  return Complete(srb);
}

// MODE SENSE(10) of the CD capabilities and mechanical status page; a drive that is not ATAPI
// does not know the page.
int ImageCdDevice::ModeSense(ScsiRequestBlock* srb) {
  int page = srb->cdb[2] & 0x3F;
  if (!options_.atapi || (page != kModePageCdCapabilities && page != 0x3F))
    return CheckCondition(srb, kSenseKeyIllegalRequest, kAscInvalidFieldInCdb);
  uint8_t answer[8 + 20] = {};
  PutBigEndian16(answer, sizeof answer - 2);
  uint8_t* p = answer + 8;
  p[0] = kModePageCdCapabilities;
  p[1] = 18;
  p[2] = 0x03;  // reads CD-R and CD-RW
  p[4] = 0x71;  // audio play, composite, digital ports, multi-session
  // CD-DA commands supported, accurate CD-DA stream; R-W sub-channel (raw, and de-interleaved
  // and corrected).
  p[5] = 0x03;
  if (options_.rw != ImageDriveOptions::RwSubchannel::kNone) p[5] |= 0x04;
  if (options_.rw == ImageDriveOptions::RwSubchannel::kCorrected) p[5] |= 0x08;
  p[6] = 0x29;  // tray loading mechanism, eject, lock
  PutBigEndian16(p + 8, static_cast<unsigned>(options_.maxReadSpeed));
  PutBigEndian16(p + 10, 256);  // volume levels
  PutBigEndian16(p + 12, 128);  // buffer size in kB
  PutBigEndian16(p + 14, static_cast<unsigned>(options_.maxReadSpeed));
  size_t allocation = BigEndian(srb->cdb + 7, 2);
  size_t n = std::min<size_t>({allocation, srb->bufferLength, sizeof answer});
  if (n > 0) std::memcpy(srb->buffer, answer, n);
  return Complete(srb);
}

bool ImageCdDevice::SectorsAreAudio(int32_t first, int32_t count) const {
  if (options_.dataOnly) return false;
  int tracks = 0;
  if (disc_->TrackCount(&tracks) != 0) return false;
  for (int track = 1; track <= tracks; ++track) {
    int32_t start = 0;
    if (disc_->TrackStartFrame(track, &start) != 0) return false;
    start -= kLeadInFrames;
    if (start >= first + count) continue;  // the track lies beyond the read
    // A track that starts past the image's end (a short image) has no length; it ends where
    // the image does.
    int32_t length = 0;
    if (disc_->TrackLengthFrames(track, &length) != 0) length = leadOut_ - start;
    bool audio = false;
    if (disc_->TrackIsAudio(track, &audio) != 0) return false;
    const bool overlaps = first < start + length;
    if (overlaps && !audio) return false;
  }
  return true;
}

bool ImageCdDevice::ReadAudioBytes(int64_t firstByte, uint8_t* out, size_t length) const {
  std::memset(out, 0, length);
  int64_t endByte = firstByte + static_cast<int64_t>(length);
  int64_t firstSector = std::max<int64_t>(0, firstByte / kRawSectorBytes);
  int64_t endSector =
      std::min<int64_t>(leadOut_, (endByte + kRawSectorBytes - 1) / kRawSectorBytes);
  if (endSector <= firstSector) return true;
  std::vector<uint8_t> raw(static_cast<size_t>(endSector - firstSector) * kRawSectorBytes);
  if (!disc_->ReadAudioSectors(static_cast<int32_t>(firstSector),
                               static_cast<int32_t>(endSector - firstSector), raw.data()))
    return false;
  int64_t rawStart = firstSector * kRawSectorBytes;
  int64_t from = std::max(firstByte, rawStart);
  int64_t to = std::min(endByte, endSector * kRawSectorBytes);
  std::memcpy(out + (from - firstByte), raw.data() + (from - rawStart),
              static_cast<size_t>(to - from));
  return true;
}

// An even byte offset in -jitter..+jitter, from a small deterministic generator.
int ImageCdDevice::NextJitter() {
  random_ ^= random_ << 13;
  random_ ^= random_ >> 17;
  random_ ^= random_ << 5;
  int steps = options_.jitter / 2;
  return (static_cast<int>(random_ % static_cast<uint32_t>(2 * steps + 1)) - steps) * 2;
}

int ImageCdDevice::Read(ScsiRequestBlock* srb) {
  const uint8_t* cdb = srb->cdb;
  int64_t lba = static_cast<int32_t>(BigEndian(cdb + 2, 4));
  int64_t count = 0;
  int blockSize = kRawSectorBytes;
  int audioBytes = kRawSectorBytes;  // of each block
  int selection = 0;                 // READ CD sub-channel
  switch (cdb[0]) {
    case kScsiRead10:
    case kScsiReadNec:
      count = BigEndian(cdb + 7, 2);
      break;
    case kScsiReadCdda:
      count = BigEndian(cdb + 6, 4);
      break;
    default: {  // READ CD: CD-DA or any sector type; user data, R-W sub-channel or both
      count = BigEndian(cdb + 6, 3);
      int expected = (cdb[1] >> 2) & 7;
      selection = cdb[10] & 7;
      const int subchannel = SubchannelBytes(selection);
      audioBytes = (cdb[9] & 0x10) ? kRawSectorBytes : 0;
      if ((expected != 0 && expected != 1) || subchannel < 0 ||
          (audioBytes == 0 && subchannel == 0) || (cdb[9] & ~0x10) != 0 ||
          (options_.rwAlone && audioBytes > 0 && subchannel > 0) ||
          (options_.rwWithAudio && audioBytes == 0))
        return CheckCondition(srb, kSenseKeyIllegalRequest, kAscInvalidFieldInCdb);
      blockSize = audioBytes + subchannel;
      break;
    }
  }
  if (!DiscReady()) return CheckCondition(srb, kSenseKeyNotReady, kAscMediumNotPresent);
  if (options_.dvd) return CheckCondition(srb, kSenseKeyIllegalRequest, kAscIllegalModeForTrack);
  if (count == 0) return Complete(srb);
  // The vendor reads deliver 2368-byte blocks to a caller that sized its buffer for them.
  if (cdb[0] != kScsiReadCd &&
      static_cast<int64_t>(srb->bufferLength) >= count * (kRawSectorBytes + kSubchannelBytes))
    blockSize = kRawSectorBytes + kSubchannelBytes;
  if (static_cast<int64_t>(srb->bufferLength) < count * blockSize)
    return CheckCondition(srb, kSenseKeyIllegalRequest, kAscInvalidFieldInCdb);
  if (lba < 0 || lba + count > leadOut_)
    return CheckCondition(srb, kSenseKeyIllegalRequest, kAscLbaOutOfRange);
  if (!SectorsAreAudio(static_cast<int32_t>(lba), static_cast<int32_t>(count)))
    return CheckCondition(srb, kSenseKeyIllegalRequest, kAscIllegalModeForTrack);
  for (const auto& [first, last] : options_.readErrors) {
    if (first < lba + count && lba <= last)
      return CheckCondition(srb, kSenseKeyMediumError, kAscUnrecoveredReadError);
  }

  // Jitter follows the runs of audio reads; a read of the sub-channel alone is not one.
  int offset = 0;
  if (audioBytes > 0) {
    bool continuesRun = lastReadStart_ >= 0 && lba > lastReadStart_ && lba <= lastReadEnd_;
    offset = continuesRun && options_.jitter > 0 ? NextJitter() : 0;
    lastReadStart_ = lba;
    lastReadEnd_ = lba + count;
  }

  std::vector<uint8_t> audio(static_cast<size_t>(count) * static_cast<size_t>(audioBytes));
  if (audioBytes > 0) {
    if (!ReadAudioBytes(lba * kRawSectorBytes + offset, audio.data(), audio.size()))
      return CheckCondition(srb, kSenseKeyMediumError, kAscUnrecoveredReadError);
    if (options_.swap) {
      for (size_t i = 0; i + 1 < audio.size(); i += 2) std::swap(audio[i], audio[i + 1]);
    }
  }
  std::vector<uint8_t> subchannel;
  if (selection != 0) {
    subchannel.resize(static_cast<size_t>(count) * kSubcodeBytes);
    if (selection == kSelectionRaw)
      subcode_.Raw(static_cast<int32_t>(lba), static_cast<int32_t>(count), subchannel.data());
    else
      subcode_.Packs(static_cast<int32_t>(lba), static_cast<int32_t>(count), subchannel.data());
  }
  for (int64_t i = 0; i < count; ++i) {
    uint8_t* block = srb->buffer + i * blockSize;
    if (audioBytes > 0)
      std::memcpy(block, audio.data() + i * audioBytes, static_cast<size_t>(audioBytes));
    if (selection != 0)
      std::memcpy(block + audioBytes, subchannel.data() + i * kSubcodeBytes, kSubcodeBytes);
    else if (blockSize > kRawSectorBytes)
      std::memset(block + kRawSectorBytes, 0, kSubchannelBytes);
  }
  return Complete(srb);
}

// ---- CD audio status -------------------------------------------------------------------------

int ImageCdDevice::StatusMediaPresent(int* present) {
  std::lock_guard<std::mutex> guard(lock_);
  *present = DiscReady() ? 1 : 0;
  return 0;
}

int ImageCdDevice::StatusMode(int* mode) {
  std::lock_guard<std::mutex> guard(lock_);
  if (trayOpen_)
    *mode = MCI_MODE_OPEN;
  else if (!disc_ || options_.dvd)
    *mode = MCI_MODE_NOT_READY;
  else
    *mode = MCI_MODE_STOP;
  return 0;
}

int ImageCdDevice::StatusTrackCount(int* count) {
  std::lock_guard<std::mutex> guard(lock_);
  *count = 0;
  if (!DiscReady() || options_.dvd) return MCIERR_DEVICE_NOT_READY;
  return disc_->TrackCount(count);
}

int ImageCdDevice::StatusTrackType(int track, int* type) {
  std::lock_guard<std::mutex> guard(lock_);
  *type = MCI_CDA_TRACK_OTHER;
  if (!DiscReady() || options_.dvd) return MCIERR_DEVICE_NOT_READY;
  bool audio = false;
  if (int err = disc_->TrackIsAudio(track, &audio)) return err;
  *type = audio && !options_.dataOnly ? MCI_CDA_TRACK_AUDIO : MCI_CDA_TRACK_OTHER;
  return 0;
}

int ImageCdDevice::StatusTrackLength(int track, uint32_t* msf) {
  std::lock_guard<std::mutex> guard(lock_);
  *msf = 0;
  if (!DiscReady() || options_.dvd) return MCIERR_DEVICE_NOT_READY;
  int32_t frames = 0;
  if (int err = disc_->TrackLengthFrames(track, &frames)) return err;
  *msf = FramesToMsf(frames);
  return 0;
}

int ImageCdDevice::StatusTrackPosition(int track, uint32_t* msf) {
  std::lock_guard<std::mutex> guard(lock_);
  *msf = 0;
  if (!DiscReady() || options_.dvd) return MCIERR_DEVICE_NOT_READY;
  int32_t frame = 0;
  if (int err = disc_->TrackStartFrame(track, &frame)) return err;
  *msf = FramesToMsf(frame);
  return 0;
}

int ImageCdDevice::StatusDiscLength(uint32_t* msf) {
  std::lock_guard<std::mutex> guard(lock_);
  *msf = 0;
  if (!DiscReady() || options_.dvd) return MCIERR_DEVICE_NOT_READY;
  int32_t frames = 0;
  if (int err = disc_->DiscLengthFrames(&frames)) return err;
  *msf = FramesToMsf(frames);
  return 0;
}

int ImageCdDevice::SetDoor(bool open) {
  std::lock_guard<std::mutex> guard(lock_);
  trayOpen_ = open;
  lastReadStart_ = lastReadEnd_ = -1;
  return 0;
}

std::string ImageCdDevice::VolumeLabel() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!options_.label.empty()) return options_.label;
  if (DiscReady()) {
    std::string label = disc_->VolumeLabel();
    if (!label.empty()) return label;
  }
  return std::filesystem::path(options_.path).stem().string();
}
