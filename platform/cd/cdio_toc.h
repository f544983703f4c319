// Helpers both CD backends share over an open libcdio handle: the table of contents answered
// as the CD audio status calls answer it, the ISO 9660 volume label, and libcdio's own
// messages routed into the trace.
#pragma once

#include <cdio/cdio.h>

#include <cstdint>
#include <string>

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

// Volume identifier from the primary volume descriptor of the first data track, trailing
// blanks removed; "" when the disc has no readable ISO 9660 data track.
std::string CdioVolumeLabel(const CdIo_t* cdio);
