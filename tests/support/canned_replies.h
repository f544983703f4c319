// Canned answers for a test server's handler: a reply per key, and a gate that holds every
// request back while it is closed (to keep a client's worker busy for as long as a test needs).
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/test_http_server.h"

class CannedReplies {
 public:
  void Set(const std::string& key, ServerReply reply) {
    std::lock_guard<std::mutex> guard(lock_);
    replies_[key] = std::move(reply);
  }
  void Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    replies_.clear();
    seen_.clear();
  }
  void SetGate(bool open) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      open_ = open;
    }
    changed_.notify_all();
  }
  // Waits while the gate is closed, notes what was asked, and returns the reply of the first
  // key that matches it, else otherwise.
  ServerReply Take(const std::string& asked, const std::function<bool(const std::string&)>& matches,
                   ServerReply otherwise) {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [this] { return open_; });
    seen_.push_back(asked);
    for (const auto& [key, reply] : replies_)
      if (matches(key)) return reply;
    return otherwise;
  }
  // What was asked, in order.
  std::vector<std::string> Seen() {
    std::lock_guard<std::mutex> guard(lock_);
    return seen_;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool open_ = true;
  std::map<std::string, ServerReply> replies_;
  std::vector<std::string> seen_;
};
