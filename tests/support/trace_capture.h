// Captures trace output for the lifetime of the object.
#pragma once

#include <mutex>
#include <string>

#include "diagnostics/diagnostics.h"

class TraceCapture {
 public:
  TraceCapture() {
    SetTraceSink([this](const std::string& text) {
      std::lock_guard<std::mutex> guard(lock_);
      text_ += text;
    });
  }
  ~TraceCapture() { SetTraceSink(nullptr); }
  std::string Text() {
    std::lock_guard<std::mutex> guard(lock_);
    return text_;
  }

 private:
  std::mutex lock_;
  std::string text_;
};
