// Fuzzes the CDDB read-answer path: the answer to a read command as the client receives it is
// checked, its entry turned into titles as a lookup stores them, written as an information
// file and read back. Titles come back as they were written (on one line each), valid UTF-8
// and short enough to store, and the file name made from the album title stays in its folder.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cdinfo/cddb.h"
#include "cdinfo/cddb_entry.h"
#include "cdinfo/http_client.h"
#include "cdinfo/info_file.h"
#include "cdinfo/text_util.h"

namespace {

std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

void CheckStored(const std::string& value) {
  if (value.size() >= kTitleBytes || !cdinfo::IsValidUtf8(value) ||
      cdinfo::WithoutControlCharacters(value) != value)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte: the disc's last track and whether the answer filled the whole buffer.
  const int lastTrack = data[0] % 100;
  const bool bufferFull = data[0] >= 200;
  const std::string answer(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (CheckCddbReadAnswer(answer, bufferFull) != 0) return 0;
  if (bufferFull) std::abort();  // a cut answer is never taken as a whole one

  CdTitles titles;
  ParseCddbEntry(answer, lastTrack, &titles);
  // What a lookup stores: control characters removed.
  auto clean = [](std::string* value) { *value = cdinfo::WithoutControlCharacters(*value); };
  clean(&titles.albumTitle);
  clean(&titles.albumArtist);
  for (int i = 0; i <= lastTrack; ++i) {
    clean(&titles.tracks[i].title);
    clean(&titles.tracks[i].artist);
  }

  CdTitles read;
  ParseCdInfoText(cdinfo::UnixLineEnds(BuildCdInfoText(titles, lastTrack)), lastTrack, &read);
  auto same = [](const std::string& written, const std::string& back) {
    CheckStored(back);
    if (back != OneLine(written)) std::abort();
  };
  same(titles.albumTitle, read.albumTitle);
  same(titles.albumArtist, read.albumArtist);
  for (int i = 0; i <= lastTrack; ++i) {
    same(titles.tracks[i].title, read.tracks[i].title);
    same(titles.tracks[i].artist, read.tracks[i].artist);
  }

  // The file is "<title part> <disc id>.txt": the title part never leads out of the folder.
  if (cdinfo::FileNamePart(titles.albumTitle, kFileNameTitleBytes).find('/') != std::string::npos)
    std::abort();
  return 0;
}
