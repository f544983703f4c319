// A message-box presenter for tests: records "caption|text" of every box and the last flags,
// and answers with a chosen button (OK unless told).
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "diagnostics/diagnostics.h"

class BoxRecorder : public MessageBoxPresenter {
 public:
  int Show(void*, const std::string& caption, const std::string& text, unsigned flags) override {
    std::lock_guard<std::mutex> guard(lock_);
    boxes.push_back(caption + "|" + text);
    lastFlags = flags;
    return answer;
  }
  std::vector<std::string> Boxes() {
    std::lock_guard<std::mutex> guard(lock_);
    return boxes;
  }
  std::vector<std::string> boxes;
  unsigned lastFlags = 0;
  int answer = kIdOk;

 private:
  std::mutex lock_;
};
