// sorn-karaoke-cli: the engine for scripted and headless work. Progress goes to stderr;
// results are files, printed values and exit codes.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/cpu/processor.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: sorn-karaoke-cli COMMAND [options]\n"
               "commands:\n"
               "  cpu        print the processor identification\n");
}

int CommandCpu() {
  IdentifyThisProcessor();
  const ProcessorRecord& r = processorState.record;
  std::printf("name: %s\nvendor: %d\nfamily: %d\nmodel: %d\nstepping: %d\n",
              ProcessorDisplayName(r), r.vendor, r.family, r.model, r.stepping);
  std::printf("clock: %d MHz\nvector class: %d\nsse2: %d\navx2: %d\n", r.clockMhz,
              processorState.vectorClass.load(), processorState.sse2.load() ? 1 : 0,
              processorState.avx2.load() ? 1 : 0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage();
    return 2;
  }
  const std::string command = argv[1];
  if (command == "cpu") return CommandCpu();
  if (command == "help" || command == "--help" || command == "-h") {
    Usage();
    return 0;
  }
  std::fprintf(stderr, "sorn-karaoke-cli: unknown command '%s'\n", command.c_str());
  Usage();
  return 2;
}
