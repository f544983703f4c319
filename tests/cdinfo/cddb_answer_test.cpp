#include <gtest/gtest.h>

#include "cdinfo/cddb.h"
#include "cdinfo/cddb_entry.h"
#include "cdinfo/disc_id.h"
#include "tests/support/test_http_server.h"

namespace {

CdTitles Entry(const std::string& text, int lastTrack) {
  CdTitles titles;
  ParseCddbEntry(text, lastTrack, &titles);
  return titles;
}

}  // namespace

TEST(CddbEntryTest, AlbumTextSplitsAtTheFirstSeparator) {
  const struct {
    const char *text, *artist, *album;
  } cases[] = {
      {"DTITLE=The Artist / The Album\n", "The Artist ", "The Album"},  // the blank stays
      {"DTITLE=  No Separator Here   \n", "No Separator Here", "No Separator Here"},
      {"DTITLE=Band: Live\n", "Band", "Live"},
      {"DTITLE=Band-Live: Vol 1 / 2\n", "Band-Live: Vol 1 ", "2"},  // "/" before ":" and "-"
      // A long album text continues over several DTITLE lines.
      {"DTITLE=A Very Long Artist Name / A\nDTITLE= Long Album\nTTITLE0=x\n",
       "A Very Long Artist Name ", "ALong Album"},
  };
  for (const auto& c : cases) {
    const CdTitles t = Entry(c.text, 0);
    EXPECT_EQ(t.albumArtist, c.artist) << c.text;
    EXPECT_EQ(t.albumTitle, c.album) << c.text;
  }
}

TEST(CddbEntryTest, TrackTitlesAndArtists) {
  const std::string text =
      "# xmcd\r\n#\r\n# TTITLE9=commented out\r\nDISCID=0200b401\r\nDTITLE=Band / Album\r\n"
      "DYEAR=1999\r\nTTITLE0=Intro\r\nTTITLE1=First\r\nTTITLE3=Part one,\r\nTTITLE3= part two\r\n"
      "EXTD=notes\r\nEXTT0=Guest\r\nEXTT1=Long notes\r\nEXTT1=continued\r\nPLAYORDER=\r\n";
  const CdTitles t = Entry(text, 3);
  EXPECT_EQ(t.tracks[0].title, "Intro");
  EXPECT_EQ(t.tracks[1].title, "First");
  EXPECT_EQ(t.tracks[2].title, "");
  EXPECT_EQ(t.tracks[3].title, "Part one, part two");
  EXPECT_EQ(t.tracks[9].title, "");
  EXPECT_EQ(t.tracks[0].artist, "Guest");
  EXPECT_EQ(t.tracks[1].artist, "");  // notes over two lines are no artist
}

TEST(CddbEntryTest, SingerSlashSongTitlesGiveTrackArtists) {
  const CdTitles t = Entry(
      "DTITLE=Various / Hits\nTTITLE0=Ann / Song A\nTTITLE1=Bob / Song B / Remix\n"
      "TTITLE2=Instrumental\n",
      2);
  const std::pair<std::string, std::string> expected[] = {
      {"Ann", "Song A"}, {"Bob", "Song B / Remix"}, {"", "Instrumental"}};
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(std::make_pair(t.tracks[i].artist, t.tracks[i].title), expected[i]) << i;
  // With artist data for track 0 the titles stay whole.
  EXPECT_EQ(Entry("TTITLE0=Ann / Song A\nEXTT0=Someone\n", 0).tracks[0].title, "Ann / Song A");
}

TEST(CddbEntryTest, TextIsStoredAsUtf8AndCut) {
  CdTitles t = Entry("DTITLE=S\xF6ren / Caf\xE9 Nights\nTTITLE0=Caf\xC3\xA9 already UTF-8\n", 0);
  EXPECT_EQ(t.albumArtist, "S\xC3\xB6ren ");
  EXPECT_EQ(t.albumTitle, "Caf\xC3\xA9 Nights");
  EXPECT_EQ(t.tracks[0].title, "Caf\xC3\xA9 already UTF-8");
  // 150 Latin-1 letters become 300 bytes; the title keeps 199 bytes on a character boundary.
  t = Entry("TTITLE0=" + std::string(150, '\xE9') + "\n", 0);
  EXPECT_EQ(t.tracks[0].title.size(), 198u);
  // Continuations stop at the limit too.
  t = Entry("TTITLE0=" + std::string(150, 'a') + "\nTTITLE0=" + std::string(150, 'b') + "\n", 0);
  EXPECT_EQ(t.tracks[0].title, std::string(150, 'a') + std::string(49, 'b'));
}

TEST(CddbEntryTest, MalformedLinesAreIgnored) {
  const CdTitles t = Entry(
      "TTITLE=none\nTTITLE999=too far\nTTITLE-1=neg\nTTITLEx=bad\nTTITLE5\nEXTT200=x\n"
      "xTTITLE0=inside\nTTITLE199=last\nTTITLE99999999999999999999=huge\n",
      199);
  for (int i = 0; i < 199; ++i) EXPECT_EQ(t.tracks[i].title, "") << i;
  EXPECT_EQ(t.tracks[199].title, "last");
}

TEST(CddbQueryAnswerTest, ExactAndListedMatches) {
  std::vector<CddbMatch> matches;
  EXPECT_EQ(ParseCddbQueryAnswer(HttpAnswer("200 rock 0200b401 Band / Album\r\n"), &matches), 200);
  ASSERT_EQ(matches.size(), 1u);
  EXPECT_EQ(matches[0].category, "rock");
  EXPECT_EQ(matches[0].discId, "0200b401");
  EXPECT_EQ(matches[0].title, "Band / Album");

  const std::string list =
      "211 Found inexact matches, list follows (until terminating `.')\r\n"
      "rock 0200b401 Band / Album\r\nmisc 0200b402 Other / Caf\xE9\r\n.\r\n";
  EXPECT_EQ(ParseCddbQueryAnswer(HttpAnswer(list), &matches), 211);
  ASSERT_EQ(matches.size(), 2u);
  EXPECT_EQ(matches[1].category, "misc");
  EXPECT_EQ(matches[1].title, "Other / Caf\xC3\xA9");

  std::string many = "210 Found exact matches, list follows (until terminating `.')\r\n";
  for (int i = 0; i < 10; ++i)
    many += "cat" + std::to_string(i) + " 0200b401 Title " + std::to_string(i) + "\r\n";
  EXPECT_EQ(ParseCddbQueryAnswer(HttpAnswer(many + ".\r\n"), &matches), 210);
  EXPECT_EQ(matches.size(), static_cast<size_t>(kMaxCddbMatches));
  EXPECT_EQ(matches.back().title, "Title 7");
}

TEST(CddbQueryAnswerTest, FailuresAndOddAnswers) {
  std::vector<CddbMatch> matches;
  const struct {
    std::string answer;
    int result;
  } cases[] = {
      {HttpAnswer("202 No match for disc ID 0200b401.\r\n"), kCddbNotFound},
      {HttpAnswer("200 rock 0200b401 X\r\n", false), kCddbNoContent},
      {HttpAnswer("Content\n200 rock 0200b401 X\r\n", false), kCddbNoContent},  // no header
      // Header names are not case-sensitive.
      {"HTTP/1.0 200 OK\r\ncontent-type: text/plain\r\n\r\n200 rock 0200b401 X\r\n", 200},
      {HttpAnswer("200 \r\n"), kCddbNotFound},
      {HttpAnswer("211 list\r\n.\r\n"), kCddbNotFound},
      {HttpAnswer("211 list"), kCddbNotFound},
      {"", kCddbNoContent},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ParseCddbQueryAnswer(c.answer, &matches), c.result) << c.answer;
  // A stray carriage return or NUL inside a line ends a word: nothing from the answer can
  // split the read request's line.
  EXPECT_EQ(
      ParseCddbQueryAnswer(HttpAnswer(std::string("200 rock\r\0x 0200b401 T\r\n", 24)), &matches),
      200);
  EXPECT_EQ(matches[0].category, "rock");
  EXPECT_EQ(matches[0].discId, "x");
  EXPECT_EQ(BuildCddbReadRequest(matches[0].category, matches[0].discId).find('\r'),
            BuildCddbReadRequest(matches[0].category, matches[0].discId).find(" HTTP/1.0\r\n") + 9);
  // Over-long words are cut to their fields.
  EXPECT_EQ(ParseCddbQueryAnswer(
                HttpAnswer("200 " + std::string(80, 'c') + " " + std::string(40, 'd') + " t\r\n"),
                &matches),
            200);
  EXPECT_EQ(matches[0].category.size(), kCddbCategoryBytes - 1);
  EXPECT_EQ(matches[0].discId.size(), kCddbMatchIdBytes - 1);
}

TEST(CddbReadAnswerTest, CompleteEntriesOnly) {
  const std::string entry =
      HttpAnswer("210 rock 0200b401 CD database entry follows\r\nDTITLE=x\r\n.\r\n");
  EXPECT_EQ(CheckCddbReadAnswer(entry, false), 0);
  EXPECT_EQ(CheckCddbReadAnswer(entry.substr(0, entry.size() - 3), false), -2);
  EXPECT_EQ(CheckCddbReadAnswer(entry, true), -2) << "cut at the full buffer: not whole";
  EXPECT_EQ(CheckCddbReadAnswer(HttpAnswer("401 rock 0200b401 No such CD entry.\r\n"), false), -1);
}

TEST(CddbSitesAnswerTest, HttpServersOnly) {
  const std::string body =
      "210 OK, site information follows (until terminating `.')\r\n"
      "cddb.one.example cddbp 888 - N000.00 W000.00 Not over HTTP\r\n"
      "cddb.one.example http 80 /~cddb/cddb.cgi N039.58 W086.07 Carmel, IN USA\r\n"
      "cddb.two.example http 80 /~cddb/cddb.cgi N037.33 W121.54   Fremont, CA USA\r\n"
      "short\r\n"
      ".\r\n"
      "after.example http 80 /x N0 W0 Never read\r\n";
  CddbServerEntry entries[kMaxCddbServers];
  ASSERT_EQ(ParseCddbSitesAnswer(HttpAnswer(body), entries, kMaxCddbServers), 2);
  EXPECT_EQ(entries[0].address, "cddb.one.example");
  EXPECT_EQ(entries[0].location, "Carmel, IN USA");
  EXPECT_EQ(entries[1].address, "cddb.two.example");
  EXPECT_EQ(entries[1].location, "Fremont, CA USA");
  EXPECT_EQ(ParseCddbSitesAnswer(HttpAnswer("500 error\r\n"), entries, kMaxCddbServers), -1);

  // Only 16 lines are read; long fields are cut.
  std::string many = "210 sites\r\n";
  for (int i = 0; i < 20; ++i)
    many += std::string(60, 'h') + std::to_string(i) + " http 80 /p N0 W0 " + std::string(70, 'l') +
            "\r\n";
  ASSERT_EQ(ParseCddbSitesAnswer(many, entries, kMaxCddbServers), 16);
  EXPECT_EQ(entries[15].address.size(), kServerTextMax);
  EXPECT_EQ(entries[15].location.size(), kServerTextMax);
}

TEST(CddbRequestTest, ByteForByte) {
  settings.cddbUser = "singer@example.org";
  settings.cddbHost = "example.org";
  const uint32_t positions[] = {cdinfo::PackMsf(0, 2, 0), cdinfo::PackMsf(3, 2, 0),
                                cdinfo::PackMsf(6, 40, 17)};
  EXPECT_EQ(BuildCddbQueryRequest("0a0b0c03", 3, positions, cdinfo::PackMsf(9, 12, 30)),
            "GET /~cddb/cddb.cgi?cmd=cddb+query+0a0b0c03+3+150+13650+30017+552"
            "&hello=singer@example.org+example.org+SornKaraoke+1.0&proto=4 HTTP/1.0\r\n\r\n");
  // A hello field cannot break the request line.
  settings.cddbUser = "John Smith&x";
  settings.cddbHost = "";
  EXPECT_EQ(CddbHelloPart("1.0"), "&hello=John_Smith_x+localhost+SornKaraoke+1.0&proto=4");
}
