#include "diagnostics/diagnostics.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

// Hooks installed by other modules and by tests. They are set at start-up (or by a test)
// before threads trace, and read under a lock that never guards anything on the audio path
// except this rare diagnostic output.
struct DiagnosticsState {
  std::mutex lock;
  // Held while the trace sink is called and while it is replaced, so a sink is never called
  // after SetTraceSink has removed it (recursive: a sink may trace).
  std::recursive_mutex sinkLock;
  TraceSink traceSink;
  LogFolderSource logFolder;
  MessageBoxPresenter* presenter = nullptr;
  StringTable strings;
  MciErrorTextSource mciText;
};

DiagnosticsState& State() {
  static DiagnosticsState state;
  return state;
}

std::string FormatV(const char* format, va_list args) {
  char small[512];
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return std::string();
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(big.data(), big.size(), format, args);
  big.resize(static_cast<size_t>(n));
  return big;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  return text;
}

void Emit(const std::string& text) {
  std::lock_guard<std::recursive_mutex> guard(State().sinkLock);
  if (State().traceSink) {
    State().traceSink(text);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace

void TraceV(const char* format, va_list args) {
  Emit(FormatV(format, args));
}

void Trace(const char* format, ...) {
  va_list args;
  va_start(args, format);
  TraceV(format, args);
  va_end(args);
}

void SetTraceSink(TraceSink sink) {
  std::lock_guard<std::recursive_mutex> guard(State().sinkLock);
  State().traceSink = std::move(sink);
}

void SetLogFolderSource(LogFolderSource source) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().logFolder = std::move(source);
}

std::string LogFilePath() {
  LogFolderSource source;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    source = State().logFolder;
  }
  // The folder ends in "/" (or is empty: the log is then relative to the current directory).
  std::string folder = source ? source() : std::string();
  return folder + kLogFileName;
}

void WriteToLogFile(const char* text) {
  std::string path = LogFilePath();
  std::FILE* file = std::fopen(path.c_str(), "a");
  if (!file) {
    Trace("WriteToLogFile: didnt open log file.\n");
    return;
  }
  std::fwrite(text, 1, std::strlen(text), file);
  std::fclose(file);
}

void WriteToLogFile(const std::string& text) {
  WriteToLogFile(text.c_str());
}

void LogPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  WriteToLogFile(text);
}

// ---- Message boxes -----------------------------------------------------------------------

void SetMessageBoxPresenter(MessageBoxPresenter* presenter) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().presenter = presenter;
}

int ShowMessageBox(void* owner, const std::string& caption, const std::string& text,
                   unsigned flags) {
  MessageBoxPresenter* presenter;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    presenter = State().presenter;
  }
  if (presenter) return presenter->Show(owner, caption, text, flags);
  // No GUI: the box goes to the trace and is answered with its default button.
  Trace("%s: %s\n", caption.c_str(), text.c_str());
  return (flags & 0xF) == kMbYesNo ? kIdYes : kIdOk;
}

int ErrorBox(void* owner, unsigned flags, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  return ShowMessageBox(owner, kDefaultCaption, text, flags);
}

int WarningBox(void* owner, const char* text) {
  return ShowMessageBox(owner, kDefaultCaption, text, kMbIconExclamation | kMbOk);
}

int WarningBoxResource(void* owner, int stringId) {
  return ShowMessageBox(owner, kDefaultCaption, LoadResourceString(stringId, 100),
                        kMbIconExclamation | kMbOk);
}

void SetStringTable(StringTable table) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().strings = std::move(table);
}

std::string LoadResourceString(int id, size_t maxChars) {
  StringTable table;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    table = State().strings;
  }
  std::string text = table ? table(id) : std::string();
  if (text.size() > maxChars) text.resize(maxChars);
  return text;
}

// ---- CD audio device errors --------------------------------------------------------------

void SetMciErrorTextSource(MciErrorTextSource source) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().mciText = std::move(source);
}

std::string MciErrorText(int code) {
  if (code == 0) return "No Error";
  MciErrorTextSource source;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    source = State().mciText;
  }
  std::string text = source ? source(code) : Format("Unknown CD audio device error %d", code);
  if (text.size() > 512) text.resize(512);
  return text;
}

void ReportMciError(void* owner, int code, const char* function, const char* command) {
  std::string text = MciErrorText(code);
  Trace("%s:  mciSendCommand(%s) mciErr=%d failed:'%s'\n\n", function, command, code, text.c_str());
  if (owner) {
    ShowMessageBox(owner, "CDROM Drive Error",
                   Format("Error in CDROM drive: driver says:\n%s", text.c_str()),
                   kMbOk | kMbIconExclamation | kMbSystemModal);
  }
}

// ---- Name tables -------------------------------------------------------------------------

const char* WaitResultName(int result) {
  switch (result) {
    case kWaitFailed:
      return "WAIT_FAILED";
    case kWaitObject0:
      return "WAIT_OBJECT_0";
    case kWaitAbandoned:
      return "WAIT_ABANDONED";
    case kWaitTimeout:
      return "WAIT_TIMEOUT";
    default:
      return "Bogus";
  }
}
