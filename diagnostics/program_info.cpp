#include "diagnostics/program_info.h"

const char* ProgramVersion() {
  return SORN_VERSION;
}

const char* ProgramHomePage() {
  return SORN_HOME_PAGE;
}

std::string ProgramUserAgent() {
  return std::string("SornKaraoke/") + ProgramVersion() + " ( " + ProgramHomePage() + " )";
}
