// The disc inside an image drive: its table of contents and its audio sectors. Images are read
// through libcdio's image drivers (CUE/BIN, cdrdao TOC, NRG), except CUE sheets whose tracks
// are CDG: CD+G rips store every sector as 2448 bytes, the 2352 bytes of audio followed by the
// 96 bytes of raw P-W sub-channel, which libcdio does not read. Those are read here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/cd/subcode_files.h"

class ImageDisc {
 public:
  virtual ~ImageDisc() = default;

  // Opens an image; null with the reason in *error when it cannot be read.
  static std::unique_ptr<ImageDisc> Open(const std::string& path, std::string* error);

  // Table of contents, answered as the CD audio status calls answer it: 0 or an MCIERR_* code;
  // tracks are numbered from 1; frames are absolute (logical block 0 is frame 150). Lengths
  // run to the next track's start (the lead-out for the last track); the disc length from the
  // first track's start to the lead-out.
  virtual int TrackCount(int* count) const = 0;
  virtual int TrackIsAudio(int track, bool* audio) const = 0;
  virtual int TrackStartFrame(int track, int32_t* frame) const = 0;
  virtual int LeadOutFrame(int32_t* frame) const = 0;
  int TrackLengthFrames(int track, int32_t* frames) const;
  int DiscLengthFrames(int32_t* frames) const;

  // The ISO 9660 volume label of the first data track; "" when there is none.
  virtual std::string VolumeLabel() const = 0;

  // Audio sectors [first, first + count) (logical blocks), 2352 bytes each into out. False
  // when the image does not hold them all.
  virtual bool ReadAudioSectors(int32_t first, int32_t count, uint8_t* out) const = 0;

  // The sub-channel stored with the audio (CDG sectors): raw P-W of every sector from logical
  // block 0, read on demand. False when the image stores none this way.
  virtual bool InterleavedSubcode(SubcodeFile* file) const {
    (void)file;
    return false;
  }
};

// Whether a path ends with a suffix given in lower case, whatever the path's case.
bool EndsWithNoCase(const std::string& text, const char* suffix);

// The file name of a CUE sheet's FILE line, starting at from (after the keyword and its
// blanks): quoted, or up to the next blank; "" for none. *after (may be null): the position
// after the name.
std::string CueFileName(const std::string& line, size_t from, size_t* after = nullptr);

// True for a CUE sheet with a CDG track (its data files hold 2448-byte sectors).
bool IsCdgCueSheet(const std::string& path);
