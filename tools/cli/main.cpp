// sorn-karaoke-cli: the engine for scripted and headless work. Progress goes to stderr;
// results are files, printed values and exit codes.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/cpu/processor.h"
#include "settings/settings.h"
#include "tools/cli/cdg_command.h"
#include "tools/cli/cdinfo_commands.h"
#include "tools/cli/drives_command.h"
#include "tools/cli/lyrics_command.h"
#include "tools/cli/play_commands.h"
#include "tools/cli/render_command.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: sorn-karaoke-cli COMMAND [options]\n"
               "commands:\n"
               "  cpu        print the processor identification\n"
               "  drives     list the CD drives, how each is read, and the disc in each\n"
               "  discid DISC [--musicbrainz]\n"
               "             print the disc's CDDB disc id (or its MusicBrainz disc id)\n"
               "  cddb DISC [--server HOST[:PORT]] [--folder DIR] [--choice N]\n"
               "             look the disc up on CDDB, write its CD information file, print\n"
               "             its path\n"
               "  titles DISC [--service auto|musicbrainz|cddb] [--url URL]\n"
               "         [--server HOST[:PORT]] [--folder DIR] [--choice N]\n"
               "             the same with the title service the settings name or the one given\n"
               "  lyrics DISC [--track N] [--service lrclib|site] [--url URL] [--folder DIR]\n"
               "             fetch lyrics into the disc's file, print what was done per track\n"
               "  info DISC [--folder DIR]\n"
               "             print album, artist and track titles from the disc's file\n"
               "  tracks DISC\n"
               "             print each track's number, start, length and type\n"
               "  rip DISC --track N [--jitter-buffer 0..3] [--out OUT.wav]\n"
               "             rip a track digitally into a WAV file, print its path\n"
               "  render DISC --track N [--karaoke [on|off]] [--mic FILE.wav] [--preset P]\n"
               "         [--variation V] [--record TAKE.wav] [--playback TAKE.wav] --out OUT.wav\n"
               "             play a track through the engine on the simulated sound card as fast\n"
               "             as it reads, write what the speakers get\n"
               "  cdg DISC --track N --at SECONDS [--at SECONDS ...] --out DIR\n"
               "             write the track's CD+G screen at those times as PNG files\n");
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
  // Past a file-size limit a write fails (and is reported) instead of killing the program.
  std::signal(SIGXFSZ, SIG_IGN);
  if (argc < 2) {
    Usage();
    return 2;
  }
  const std::string command = argv[1];
  if (command == "cpu") return CommandCpu();
  if (command == "drives") return CommandDrives(std::vector<std::string>(argv + 2, argv + argc));
  if (command == "discid" || command == "cddb" || command == "titles" || command == "info") {
    const std::vector<std::string> args(argv + 2, argv + argc);
    std::string out;
    std::string err;
    // The title lookup uses the user's settings (service, URLs, CDDB identity and servers).
    if (command == "titles") LoadSettings();
    const int code = command == "discid"   ? CommandDiscId(args, &out, &err)
                     : command == "cddb"   ? CommandCddb(args, &out, &err)
                     : command == "titles" ? CommandTitles(args, &out, &err)
                                           : CommandInfo(args, &out, &err);
    std::fputs(err.c_str(), stderr);
    std::fputs(out.c_str(), stdout);
    return code;
  }
  if (command == "tracks" || command == "rip" || command == "render" || command == "cdg" ||
      command == "lyrics") {
    const std::vector<std::string> args(argv + 2, argv + argc);
    std::string out;
    std::string err;
    LoadSettings();
    const int code = command == "tracks"   ? CommandTracks(args, &out, &err)
                     : command == "rip"    ? CommandRip(args, &out, &err)
                     : command == "render" ? CommandRender(args, &out, &err)
                     : command == "lyrics" ? CommandLyrics(args, &out, &err)
                                           : CommandCdg(args, &out, &err);
    std::fputs(err.c_str(), stderr);
    std::fputs(out.c_str(), stdout);
    return code;
  }
  if (command == "help" || command == "--help" || command == "-h") {
    Usage();
    return 0;
  }
  std::fprintf(stderr, "sorn-karaoke-cli: unknown command '%s'\n", command.c_str());
  Usage();
  return 2;
}
