// Text helpers of the CD information code: title cutting, UTF-8 repair of CDDB text, safe file
// names built from titles, and whole-file reading and writing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cdinfo {

// Cuts text longer than width at the last blank at or before position width and appends
// "..."; a text without such a blank is cut at width (on a character boundary).
std::string TruncateAtWord(std::string_view text, size_t width);

bool IsValidUtf8(std::string_view text);
// Text that is valid UTF-8 is returned as it is; anything else is read as Latin-1 (what CDDB
// protocol level 4 sends) and converted.
std::string AsUtf8(std::string_view text);
// At most maxBytes bytes, never ending inside a UTF-8 sequence.
std::string CutUtf8(std::string_view text, size_t maxBytes);

// UTF-8 text without control characters (C0, DEL and C1), a tab aside: what is left can be
// stored as a title and shown on one line.
std::string WithoutControlCharacters(std::string_view text);

// The part of a file name made from a title: the characters " ? * : \ / < > | and NUL removed,
// cut to maxBytes. What is left never names a parent or a sub-folder.
std::string FileNamePart(std::string_view title, size_t maxBytes);

// Reads at most limit bytes of a file. False when it cannot be opened or read.
bool ReadFileText(const std::string& path, size_t limit, std::string* text);
// Writes the text as the whole file, under a temporary name renamed over it when complete
// (platform/files/output_file.h). False when it cannot be written completely; the old file is
// then as it was.
bool WriteFileText(const std::string& path, const std::string& text);

// Drops a trailing "\r" (a line that came with a CR-LF end).
std::string_view WithoutCr(std::string_view line);
// Every line end as "\n": "\r\n" and a lone "\r" (the line end of old editors) included.
std::string UnixLineEnds(std::string_view text);

}  // namespace cdinfo
