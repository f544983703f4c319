// The song choice: when no query finds a track, a search by its title alone lists candidate
// songs (from up to ten result pages of the site, or the service's search) and the user picks
// one in the "Select Song" dialog.
#pragma once

#include <string>
#include <string_view>
#include <vector>

inline constexpr size_t kMaxSongChoices = 250;
inline constexpr int kMaxSongPages = 10;
inline constexpr size_t kSongIdChars = 10;
inline constexpr size_t kSongChoiceTextWidth = 40;  // artist, album and title are cut to this

inline constexpr const char* kSelectSongCaption = "Select Song";
inline constexpr const char* kSelectSongPrompt = "Please select the correct song below:";
inline constexpr const char* kSelectSongFormat = "Format is:     Song Title  /  Album  /  Artist";

struct SongChoice {
  std::string id;
  std::string artist;
  std::string album;
  std::string title;
};

// The dialog's lines: "title  /  album  /  artist" per entry, then "None of the above".
std::vector<std::string> SongChoiceLines(const std::vector<SongChoice>& choices);

// Decodes "%" followed by two hexadecimal digits into that byte; a "%" without them stays.
// Decoded control characters become blanks.
std::string PercentDecode(std::string_view text);

// The site's song id: after the first "/query/get?s=" at or after from, up to the next double
// quote. False when there is none, or when it is empty, longer than kSongIdChars or holds a
// blank or control character (it goes into the next request line).
bool SiteSongId(std::string_view page, size_t from, std::string* id);

// The number of result pages a site search has: the largest one- or two-digit number after an
// "&page=" (the first 100 of them are looked at); 1 when there are none.
int SitePageCount(std::string_view page);

// Appends the entries of one site result page to choices, up to kMaxSongChoices in all.
void ReadSiteSongEntries(std::string_view page, std::vector<SongChoice>* choices);

// Artist, album and title as the dialog shows them: UTF-8, cut at a word to 40 characters.
std::string ChoiceText(std::string_view text);
