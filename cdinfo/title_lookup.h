// Getting a disc's titles from the Internet: the service the "Title Service" setting names
// (MusicBrainz, CDDB, or MusicBrainz first and CDDB when it does not know the disc), run on
// the lookup worker, ending in the disc's CD information file.
#pragma once

#include <string>

#include "settings/settings.h"

// The entry point of the "Get CD Info from Internet" command. Runs LookUpTitles with the
// service and MusicBrainz URL the settings name now, on the lookup worker; ignored (and
// traced) while another lookup, server-list update or lyrics fetch runs. Returns at once; the
// lookup reports to the CdInfoHost:
// - no audio disc: the "No Audio CD in Drive" box;
// - a disc that still has its default information file: status line and blinking while a
//   service is asked, the "Select CD" choice among several matches, then the titles shown
//   and the new file written (lyrics already in the old file are kept). Failures show their
//   message box where they have one (MusicBrainz failures, a refused CDDB hello) and restore
//   the status and title lines;
// - a disc already known: only the display is refreshed.
// WaitForCddbWorkers waits for it to end.
void GetCdInfoFromInternet(void* window);

inline constexpr int kTitlesLookedUp = 1;  // new titles were found and written
inline constexpr int kTitlesKnown = 0;     // the disc was known already: display refreshed

// The lookup itself, on the calling thread: kTitlesLookedUp, kTitlesKnown, or -1 when no
// titles were found or they could not be written. musicBrainzUrl is the service's base URL
// (unused for kCddb).
int LookUpTitles(void* window, TitleService service, const std::string& musicBrainzUrl);
