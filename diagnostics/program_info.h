// Who the program is when it introduces itself to a web service: its name, its version (the
// project's version in CMakeLists.txt) and its home page as a contact.
#pragma once

#include <string>

inline constexpr const char* kProgramName = "Sorn Karaoke";

const char* ProgramVersion();
const char* ProgramHomePage();
// "SornKaraoke/<version> ( <home page> )": the User-Agent of the program's web requests.
std::string ProgramUserAgent();
