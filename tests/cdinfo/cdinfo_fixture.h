// Shared set-up of the CD information tests: a scratch CD information folder, a host that
// plays the player and the GUI and records what it is asked to show, and a message box
// recorder.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "cdinfo/info_file.h"
#include "diagnostics/diagnostics.h"
#include "platform/sync/window_thread.h"
#include "settings/settings.h"
#include "tests/support/box_recorder.h"

namespace fs = std::filesystem;

class RecordingHost : public CdInfoHost {
 public:
  int LastTrack() override { return lastTrack; }
  int CurrentTrack() override { return currentTrack; }
  bool HasAudioDisc() override { return audioDisc; }
  void ShowTitles(void*) override { Record("titles"); }
  void ShowLyrics(void*, const std::string& text) override {
    NoteThread();
    std::lock_guard<std::mutex> guard(lock_);
    lyrics.push_back(text);
  }
  void ShowStatusLine(void*, const std::string& text) override { Record("status:" + text); }
  void ShowTitleLine(void*) override { Record("title line"); }
  void ShowArtistLine(void*, const std::string& text) override { Record("artist:" + text); }
  void StartBlink(void*, const std::string& text) override { Record("blink:" + text); }
  void StopBlink(void*) override { Record("blink off"); }
  void MarkKnownCd(void*) override { Record("known cd"); }
  int SelectCd(void*, const std::vector<std::string>& entries) override {
    NoteThread();
    std::lock_guard<std::mutex> guard(lock_);
    dialogs.push_back(entries);
    return choice;
  }

  void ShowLyricsStatus(void*, const std::string& text) override { Record("lyrics:" + text); }
  int SelectSong(void*, const std::vector<std::string>& lines) override {
    NoteThread();
    std::lock_guard<std::mutex> guard(lock_);
    songDialogs.push_back(lines);
    return songChoice;
  }

  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> guard(lock_);
    return calls_;
  }
  bool Called(const std::string& call) {
    const std::vector<std::string> calls = Calls();
    return std::find(calls.begin(), calls.end(), call) != calls.end();
  }

  int lastTrack = 0;
  int currentTrack = 0;
  bool audioDisc = true;
  int choice = 0;                       // the position the dialog answers with
  std::atomic<int> offWindowThread{0};  // display calls made off a marked window thread
  std::vector<std::string> lyrics;
  std::vector<std::vector<std::string>> dialogs;
  int songChoice = 0;
  std::vector<std::vector<std::string>> songDialogs;

 private:
  void NoteThread() {
    if (!OnWindowThread()) ++offWindowThread;
  }
  void Record(const std::string& call) {
    NoteThread();
    std::lock_guard<std::mutex> guard(lock_);
    calls_.push_back(call);
  }
  std::mutex lock_;
  std::vector<std::string> calls_;
};

inline std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteAll(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// The lyrics of a track's section, or "(no section)".
inline std::string Lyrics(const std::string& text, int track) {
  std::string found;
  return TrackLyricsFromText(text, track, &found) ? found : "(no section)";
}

// A layout of n tracks of 3 minutes each, the first at 00:02:00.
inline DiscLayout ThreeMinuteTracks(int n) {
  DiscLayout layout;
  layout.trackCount = n;
  for (int i = 0; i < n; ++i) {
    layout.position[i] = cdinfo::FramesToMsf(150 + i * 180 * 75);
    layout.length[i] = cdinfo::PackMsf(3, 0, 0);
  }
  return layout;
}

class CdInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("sorn-cdinfo-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
    settings = Settings{};
    settings.databasePath = root_.string() + "/";
    settings.cddbUser = "singer@example.org";
    settings.cddbHost = "example.org";
    settings.firstCddb = 0;
    SetCdInfoHost(&host_);
    SetMessageBoxPresenter(&boxes_);
    {
      std::lock_guard<std::mutex> guard(cdInfo.lock);
      cdInfo.currentInfoFile.clear();
      cdTitles = CdTitles{};
    }
    SetDiscLayout(DiscLayout{});
  }
  void TearDown() override {
    SetCdInfoHost(nullptr);
    SetMessageBoxPresenter(nullptr);
    fs::remove_all(root_);
  }
  // Hands a disc of n three-minute tracks to the information code, as the player does.
  void InsertDisc(int n) {
    SetDiscLayout(ThreeMinuteTracks(n));
    host_.lastTrack = n - 1;
  }
  std::vector<std::string> FolderFiles() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root_))
      names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path root_;
  RecordingHost host_;
  BoxRecorder boxes_;
};
