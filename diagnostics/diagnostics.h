// Diagnostics: trace lines, the log file, message boxes and the name tables used in traces.
//
// Every module reports through two plain channels: trace lines (stderr, through Trace) and a
// few lines appended to SornLog.txt in the CD information folder (WriteToLogFile). Texts are
// kept exactly as given: no levels, no time stamps, no added newlines.
#pragma once

#include <cstdarg>
#include <functional>
#include <string>

// ---- Trace output ------------------------------------------------------------------------

// printf-style trace line to stderr. The text is formatted once and written in one call, so
// lines from different threads do not mix inside a line.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void TraceV(const char* format, va_list args);

// Tests capture trace output by installing a sink; nullptr restores stderr. The sink is called
// with each formatted text, on the thread that traced.
using TraceSink = std::function<void(const std::string&)>;
void SetTraceSink(TraceSink sink);

// ---- Log file ----------------------------------------------------------------------------

inline constexpr const char* kLogFileName = "SornLog.txt";

// Where the log file lives: the CD information folder ("Database Path", ending in "/"). The
// settings module installs the source; without one the log goes to the current directory.
using LogFolderSource = std::function<std::string()>;
void SetLogFolderSource(LogFolderSource source);
std::string LogFilePath();

// Appends text unchanged to the log file (open, append, close per call). When the file cannot
// be opened: traces "WriteToLogFile: didnt open log file.\n" and drops the text.
void WriteToLogFile(const char* text);
void WriteToLogFile(const std::string& text);
// printf-style convenience: formats, then WriteToLogFile.
void LogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ---- Message boxes -----------------------------------------------------------------------

// Button and icon flags, and results, with the platform's values.
enum MessageBoxFlags : unsigned {
  kMbOk = 0x0,
  kMbOkCancel = 0x1,
  kMbYesNo = 0x4,
  kMbIconHand = 0x10,
  kMbIconQuestion = 0x20,
  kMbIconExclamation = 0x30,
  kMbIconInformation = 0x40,
  kMbSystemModal = 0x1000,
};
enum MessageBoxResult : int { kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7 };

inline constexpr const char* kDefaultCaption = "KARAOKE";

// The GUI implements this to show real dialogs; tests install a recorder. Without one, boxes
// are traced and answered with the default button (OK, or Yes for yes/no boxes).
class MessageBoxPresenter {
 public:
  virtual ~MessageBoxPresenter() = default;
  virtual int Show(void* owner, const std::string& caption, const std::string& text,
                   unsigned flags) = 0;
};
void SetMessageBoxPresenter(MessageBoxPresenter* presenter);

// Error box with formatted text, caption "KARAOKE", the caller's flags.
int ErrorBox(void* owner, unsigned flags, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// Warning box with a fixed text: exclamation icon, OK button.
int WarningBox(void* owner, const char* text);
// Warning box whose text is a string-table entry (at most 100 characters).
int WarningBoxResource(void* owner, int stringId);
// Any box with its own caption (used by Parts that give one).
int ShowMessageBox(void* owner, const std::string& caption, const std::string& text,
                   unsigned flags);

// String table for resource texts; the resources module installs it.
using StringTable = std::function<std::string(int id)>;
void SetStringTable(StringTable table);
std::string LoadResourceString(int id, size_t maxChars = 100);

// ---- CD audio device errors --------------------------------------------------------------

// Text for a CD audio device error code: "No Error" for 0, else the driver's own text (at
// most 512 characters). The CD platform layer installs its table.
using MciErrorTextSource = std::function<std::string(int code)>;
void SetMciErrorTextSource(MciErrorTextSource source);
std::string MciErrorText(int code);

// Traces "%s:  mciSendCommand(%s) mciErr=%d failed:'%s'\n\n"; with an owner window also
// shows "Error in CDROM drive: driver says:\n%s" captioned "CDROM Drive Error".
void ReportMciError(void* owner, int code, const char* function, const char* command);

// ---- Name tables -------------------------------------------------------------------------

enum WaitResult : int {
  kWaitFailed = -1,
  kWaitObject0 = 0,
  kWaitAbandoned = 128,
  kWaitTimeout = 258,
};
const char* WaitResultName(int result);  // "Bogus" for unlisted values

// ---- Fonts ---------------------------------------------------------------------------------

// A font description as the skin's text widgets carry it.
struct LogFont {
  int height = 0;
  int width = 0;
  int escapement = 0;
  int orientation = 0;
  int weight = 400;
  int italic = 0;
  int underline = 0;
  int strikeOut = 0;
  int charSet = 0;
  int outPrecision = 0;
  int clipPrecision = 0;
  int quality = 0;
  int pitchAndFamily = 0;
  std::string faceName;
};
