// Helpers both CD backends share over an open libcdio handle: the table of contents answered
// as the CD audio status calls answer it, the ISO 9660 volume label, and libcdio's own
// messages routed into the trace.
#pragma once

#include <cdio/cdio.h>

#include <cstdint>
#include <string>

#include "platform/cd/cd_device.h"

// libcdio messages of warning level and above become trace lines "libcdio: ...".
void InstallCdioLogHandler();

// Table of contents. Track numbers start at 1 (the disc's first track); the results are 0 or
// an MCIERR_* code. Lengths run to the next track's start (the lead-out for the last track);
// the disc length runs from the first track's start to the lead-out.
int CdioTrackCount(const CdIo_t* cdio, int* count);
int CdioTrackIsAudio(const CdIo_t* cdio, int track, bool* audio);
int CdioTrackStartFrame(const CdIo_t* cdio, int track, int32_t* frame);  // absolute frame
int CdioTrackLengthFrames(const CdIo_t* cdio, int track, int32_t* frames);
int CdioLeadOutFrame(const CdIo_t* cdio, int32_t* frame);
int CdioDiscLengthFrames(const CdIo_t* cdio, int32_t* frames);

// Lengths from any table of contents that answers TrackCount, TrackStartFrame and
// LeadOutFrame as above.
template <typename Toc>
int TocTrackLengthFrames(const Toc& toc, int track, int32_t* frames) {
  *frames = 0;
  int count = 0;
  if (int err = toc.TrackCount(&count)) return err;
  int32_t start = 0, end = 0;
  if (int err = toc.TrackStartFrame(track, &start)) return err;
  const int err = track < count ? toc.TrackStartFrame(track + 1, &end) : toc.LeadOutFrame(&end);
  if (err) return err;
  if (end < start) return MCIERR_HARDWARE;
  *frames = end - start;
  return 0;
}

template <typename Toc>
int TocDiscLengthFrames(const Toc& toc, int32_t* frames) {
  *frames = 0;
  int32_t first = 0, leadOut = 0;
  if (int err = toc.TrackStartFrame(1, &first)) return err;
  if (int err = toc.LeadOutFrame(&leadOut)) return err;
  if (leadOut < first) return MCIERR_HARDWARE;
  *frames = leadOut - first;
  return 0;
}

// Volume identifier from the primary volume descriptor of the first data track, trailing
// blanks removed; "" when the disc has no readable ISO 9660 data track.
std::string CdioVolumeLabel(const CdIo_t* cdio);
