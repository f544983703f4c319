// The player's state (cd/player.h): the disc's track table, the play modes and range, and the
// hand-over flags the player shares with the reader thread, the CDDA manager and the audio
// thread. Kept apart from the player's functions so that the reader and the manager, which the
// player drives, read the state without depending on the player.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <random>
#include <string>

#include "cdinfo/titles.h"
#include "platform/cd/cd_device.h"

enum CdPlayerState : int32_t {
  CD_NOCD = 0,
  CD_PLAY = 1,
  CD_PAUSE = 2,
  CD_STOP = 3,
  CD_CDROM_IN = 4,
};

enum CdPlayMode : int32_t {
  kCdModeNormal = 0,
  kCdModeSingleSong = 1,
  kCdModeShuffle = 2,
  kCdModeIntro = 3,
};

inline constexpr int kMaxTracks = kMaxTitleTracks;  // 200
inline constexpr int kIntroSeconds = 5;
inline constexpr int kSpinUpTicks = 20;
inline constexpr int kPreviousWindowTicks = 2;

struct CdTrack {
  int8_t lengthMinutes = 0;
  int8_t lengthSeconds = 0;
  int8_t lengthFrames = 0;
  int8_t startMinutes = 0;
  int8_t startSeconds = 0;
  int8_t startFrames = 0;
  uint32_t startFrame = 0;  // absolute: (min * 60 + sec) * 75 + frame
};

struct PlayerState {
  std::atomic<int32_t> cdState{CD_NOCD};
  std::atomic<int32_t> currentTrack{0};
  std::atomic<int32_t> lastTrack{0};
  CdTrack cdTrack[kMaxTracks];
  uint32_t discLengthFrames = 0;

  // Skip and data marks, one bit per track index (4 words cover all 200 tracks).
  std::atomic<uint64_t> skipMarks[4] = {};
  std::atomic<uint64_t> dataMarks[4] = {};

  // Play modes.
  std::atomic<int32_t> cdMode{kCdModeSingleSong};
  std::atomic<int32_t> repeat{0};
  int introSeconds = kIntroSeconds;
  uint8_t shuffleOrder[kMaxTracks] = {};
  std::atomic<int32_t> shuffleIndex{0};
  std::mt19937 shuffleRandom{std::random_device{}()};

  // Play range and positions.
  std::atomic<int32_t> playStartFrame{0};
  std::atomic<int32_t> playEndFrame{0};
  std::atomic<uint32_t> playEndMsf{0};
  std::atomic<int32_t> pauseSector{0};
  std::atomic<int32_t> positionSeconds{0};
  std::atomic<int32_t> readerPositionSeconds{0};
  // Sector address (frame - 150) where reading restarts after a seek; 0 for none.
  std::atomic<int32_t> seekFrame{0};

  // Hand-over with the reader.
  std::atomic<int32_t> readerIdle{1};
  std::atomic<int32_t> restartPending{0};
  // Set before a restart raises the reader's stop, cleared when the reader takes the restart:
  // a reader whose run stopped waits for restartPending instead of ending (see CdReadDriver).
  std::atomic<int32_t> restartAnnounced{0};
  std::atomic<int32_t> seekPending{0};
  std::atomic<int32_t> nextPressed{0};
  std::atomic<int32_t> previousPressed{0};
  std::atomic<int32_t> readerBusy{0};

  // Window-thread state.
  int previousWindow = 0;
  int spinCountdown = 0;
  int doorClosed = 1;
  int lastShownTrack = -1;
  int keyboardSeekCountdown = 0;  // set by the panel's Left/Right keys
  std::atomic<int32_t> blinkCounter{0};
  std::mutex blinkLock;
  std::string blinkText;

  // The selected drive's CD audio device (the reader tests the disc through it too).
  std::atomic<CdDevice*> device{nullptr};
};

extern PlayerState player;
