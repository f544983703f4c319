// The program's name, version and home page, as it presents itself to the web services it asks
// (User-Agent) and in its log. The version is the project's (CMakeLists.txt).
#pragma once

#include <string>

inline constexpr const char* kProgramName = "Sorn Karaoke";
inline constexpr const char* kProgramVersion = SORN_VERSION;
inline constexpr const char* kProgramHomePage = "https://sorn-karaoke.example.org/";

// "SornKaraoke/<version> (<home page>)": the User-Agent of every web request.
inline std::string ProgramUserAgent() {
  return std::string("SornKaraoke/") + kProgramVersion + " (" + kProgramHomePage + ")";
}
