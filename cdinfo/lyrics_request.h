// Request lines of the lyrics site. A request is one line "GET http://<host><path>" (no
// protocol version, no headers; the client adds "\r\n"). Every blank from the first key word
// ("artist" or "song") on is sent as "+". When the site finds nothing, the line is respelled
// step by step (the fallback spellings below) and sent again.
#pragma once

#include <string>
#include <string_view>

// The site's answer when a query matched nothing.
inline constexpr const char* kNoSongsFound = "No Songs Found";

std::string AlbumQueryLine(std::string_view host, std::string_view artist, std::string_view album);
// With albumKnown: the exact-off query with the site's spelling of artist and album; else the
// query with the track's own artist (or the album artist when the track has none).
std::string TrackQueryLine(std::string_view host, bool albumKnown, std::string_view searchArtist,
                           std::string_view searchAlbum, std::string_view trackArtist,
                           std::string_view title);
std::string SongOnlyQueryLine(std::string_view host, std::string_view title);
std::string SongPageLine(std::string_view host, std::string_view title, int page);
std::string SongGetLine(std::string_view host, std::string_view songId);

// Turns every blank from the first "artist" or "song" on into "+".
void PlusForBlanks(std::string* line);

// Fallback spellings. Each works on the whole line and returns whether it changed anything.
bool DropCommas(std::string* line);            // every ","
bool DropArticleThe(std::string* line);        // the first word "the+" / "The+"
bool DropDots(std::string* line);              // after the first "&": dots, ".." runs with a "+"
bool DropArticleA(std::string* line);          // "A+" / "a+" right after an "="
bool DropExclamationMarks(std::string* line);  // every "!"
bool DropBrackets(std::string* line);          // "(...)" with the blank before it
bool DropBackslashN(std::string* line);        // every two-character "\n" escape

// Removes each "(...)" together with the blank character before it (any other character
// before the bracket stays); true when it changed anything.
bool DropBracketedParts(std::string* text, char blank);

using Respelling = bool (*)(std::string*);
// The order in which the album query and the track query are respelled.
inline constexpr Respelling kAlbumRespellings[] = {DropCommas, DropArticleThe, DropDots,
                                                   DropArticleA};
inline constexpr Respelling kTrackRespellings[] = {DropExclamationMarks, DropDots, DropBrackets,
                                                   DropBackslashN};
