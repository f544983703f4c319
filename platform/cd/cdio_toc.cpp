#include "platform/cd/cdio_toc.h"

#include <cdio/logging.h>

#include <cstring>
#include <mutex>

#include "diagnostics/diagnostics.h"
#include "platform/cd/cd_device.h"

namespace {

void TraceCdioMessage(cdio_log_level_t level, const char message[]) {
  if (level >= CDIO_LOG_WARN) Trace("libcdio: %s\n", message);
}

// libcdio numbers tracks from the disc's first track number, which is usually 1.
bool DiscTrack(const CdIo_t* cdio, int track, track_t* discTrack) {
  int count = 0;
  if (CdioTrackCount(cdio, &count) != 0 || track < 1 || track > count) return false;
  track_t first = cdio_get_first_track_num(cdio);
  if (first == CDIO_INVALID_TRACK) return false;
  *discTrack = static_cast<track_t>(first + track - 1);
  return true;
}

}  // namespace

void InstallCdioLogHandler() {
  static std::once_flag once;
  std::call_once(once, [] { cdio_log_set_handler(TraceCdioMessage); });
}

int CdioTrackCount(const CdIo_t* cdio, int* count) {
  *count = 0;
  if (!cdio) return MCIERR_DEVICE_NOT_READY;
  track_t n = cdio_get_num_tracks(cdio);
  if (n == CDIO_INVALID_TRACK) return MCIERR_HARDWARE;
  *count = n;
  return 0;
}

int CdioTrackIsAudio(const CdIo_t* cdio, int track, bool* audio) {
  *audio = false;
  track_t t;
  if (!DiscTrack(cdio, track, &t)) return MCIERR_OUTOFRANGE;
  track_format_t format = cdio_get_track_format(cdio, t);
  if (format == TRACK_FORMAT_ERROR) return MCIERR_HARDWARE;
  *audio = format == TRACK_FORMAT_AUDIO;
  return 0;
}

int CdioTrackStartFrame(const CdIo_t* cdio, int track, int32_t* frame) {
  *frame = 0;
  track_t t;
  if (!DiscTrack(cdio, track, &t)) return MCIERR_OUTOFRANGE;
  lba_t lba = cdio_get_track_lba(cdio, t);
  if (lba == CDIO_INVALID_LBA) return MCIERR_HARDWARE;
  *frame = lba;
  return 0;
}

int CdioLeadOutFrame(const CdIo_t* cdio, int32_t* frame) {
  *frame = 0;
  if (!cdio) return MCIERR_DEVICE_NOT_READY;
  lba_t lba = cdio_get_track_lba(cdio, CDIO_CDROM_LEADOUT_TRACK);
  if (lba == CDIO_INVALID_LBA) return MCIERR_HARDWARE;
  *frame = lba;
  return 0;
}

namespace {

// A libcdio handle as a table of contents.
struct CdioToc {
  const CdIo_t* cdio;
  int TrackCount(int* count) const { return CdioTrackCount(cdio, count); }
  int TrackStartFrame(int track, int32_t* frame) const {
    return CdioTrackStartFrame(cdio, track, frame);
  }
  int LeadOutFrame(int32_t* frame) const { return CdioLeadOutFrame(cdio, frame); }
};

}  // namespace

int CdioTrackLengthFrames(const CdIo_t* cdio, int track, int32_t* frames) {
  return TocTrackLengthFrames(CdioToc{cdio}, track, frames);
}

int CdioDiscLengthFrames(const CdIo_t* cdio, int32_t* frames) {
  return TocDiscLengthFrames(CdioToc{cdio}, frames);
}

std::string CdioVolumeLabel(const CdIo_t* cdio) {
  int count = 0;
  if (CdioTrackCount(cdio, &count) != 0) return "";
  for (int track = 1; track <= count; ++track) {
    bool audio = true;
    if (CdioTrackIsAudio(cdio, track, &audio) != 0 || audio) continue;
    track_t t;
    if (!DiscTrack(cdio, track, &t)) return "";
    lsn_t start = cdio_get_track_lsn(cdio, t);
    if (start == CDIO_INVALID_LSN) return "";
    // The primary volume descriptor is the 17th sector of the data track.
    uint8_t block[CDIO_CD_FRAMESIZE_RAW] = {};
    if (cdio_read_data_sectors(cdio, block, start + 16, CDIO_CD_FRAMESIZE, 1) != DRIVER_OP_SUCCESS)
      return "";
    if (block[0] != 1 || std::memcmp(block + 1, "CD001", 5) != 0) return "";
    std::string label(reinterpret_cast<const char*>(block + 40), 32);
    while (!label.empty() && (label.back() == ' ' || label.back() == '\0')) label.pop_back();
    return label;
  }
  return "";
}
