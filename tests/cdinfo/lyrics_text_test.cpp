// The lyrics text work without a network: request lines and their respellings, the page
// clean-up, the site's result pages, LRCLIB's JSON and the time-synced lines.
#include <gtest/gtest.h>

#include "cdinfo/info_file.h"
#include "cdinfo/lrclib_answer.h"
#include "cdinfo/lyrics_choice.h"
#include "cdinfo/lyrics_page.h"
#include "cdinfo/lyrics_request.h"
#include "cdinfo/synced_lyrics.h"

TEST(LyricsRequestTest, LinesAreSentByteForByte) {
  EXPECT_EQ(AlbumQueryLine("lyrics.example:81", "The Blue Band", "Songs, Vol. 2"),
            "GET http://lyrics.example:81/query/normal?exact=on&artist=The+Blue+Band"
            "&album=Songs,+Vol.+2&song=");
  EXPECT_EQ(TrackQueryLine("h", true, "Blue+Band", "Songs+2", "Ann Lee", "Rain (Live)"),
            "GET http://h/query/normal?exact=off&artist=Blue+Band&album=Songs+2&song=Rain+(Live)");
  EXPECT_EQ(TrackQueryLine("h", false, "Blue+Band", "Songs 2", "Ann Lee", "Rain"),
            "GET http://h/query/normal?artist=Ann+Lee&album=Songs+2&song=Rain");
  EXPECT_EQ(TrackQueryLine("h", false, "Blue+Band", "Songs", "", "Rain"),
            "GET http://h/query/normal?artist=Blue+Band&album=Songs&song=Rain");
  EXPECT_EQ(SongOnlyQueryLine("h", "Rain Again"),
            "GET http://h/query/normal?artist=&album=&song=Rain+Again");
  EXPECT_EQ(SongPageLine("h", "Rain Again", 3), "GET http://h/query/normal?song=Rain+Again&page=3");
  EXPECT_EQ(SongGetLine("h", "12345"), "GET http://h//query/get?s=12345");
  // A line end in a title never ends the request line.
  EXPECT_EQ(SongGetLine("h", "1\r\nX"), "GET http://h//query/get?s=1  X");
}

TEST(LyricsRequestTest, Respellings) {
  struct Case {
    Respelling respell;
    const char* before;
    const char* after;  // nullptr: unchanged
  } cases[] = {
      {DropCommas, "a=x,y&b=z,", "a=xy&b=z"},
      {DropCommas, "a=xy", nullptr},
      {DropArticleThe, "artist=The+Band&album=the+Best", "artist=Band&album=the+Best"},
      {DropArticleThe, "artist=Breathe+Again&album=the+Best", "artist=Breathe+Again&album=Best"},
      {DropArticleThe, "artist=Theme+Park", nullptr},
      {DropDots, "GET http://a.b/q?x=1&artist=A.B.&album=Wait...+For+Me",
       "GET http://a.b/q?x=1&artist=AB&album=WaitFor+Me"},
      {DropDots, "GET http://a.b/q", nullptr},
      {DropArticleA, "artist=A+Band&album=a+Day&song=Apple", "artist=Band&album=Day&song=Apple"},
      {DropExclamationMarks, "song=Hey!+Ho!", "song=Hey+Ho"},
      {DropBrackets, "song=Rain+(Live)+(Remix)&x=1", "song=Rain&x=1"},
      // Only the blank before a bracket goes with it.
      {DropBrackets, "song=(Intro)+Rain", "song=+Rain"},
      {DropBrackets, "song=Rain+(Live", nullptr},
      {DropBackslashN, "song=One\\nTwo\\n", "song=OneTwo"},
  };
  for (const Case& c : cases) {
    std::string line = c.before;
    EXPECT_EQ(c.respell(&line), c.after != nullptr) << c.before;
    EXPECT_EQ(line, c.after ? c.after : c.before);
  }
}

TEST(LyricsPageTest, CleanUpOfASitePage) {
  const std::string line70 =
      "Twelve words go by and then one more and then some more to fill it up!";
  ASSERT_EQ(line70.size(), 70u);
  const std::string page =
      "HTTP/1.0 200 OK\r\n\r\n<HTML><HEAD>STATUS=GET_OK</HEAD><B><I>Rain</B></I><P>\r\n"
      "First &lt;line&gt;<BR>\r\n\tIndented\r\n" +
      line70 + "<BR>\nWhat the Fuck is this shit?\n****Lyrics for Track 3, Trap:\n<P>Footer</HTML>";
  std::string section;
  ASSERT_TRUE(CleanLyricsPage(page, 1, "Rain", &section));
  EXPECT_EQ(section,
            "****Lyrics for Track 2, Rain:\n"
            "First <line>\n"
            " Indented\n"
            "Twelve words go by and then one more and then some\n"
            "      more to fill it up!\n"
            "What the f--- is this s---?\n"
            "****Lyrics for track 3, Trap:\n\n");

  // A page without the lyrics marker gives nothing, so no section loses its heading.
  EXPECT_FALSE(CleanLyricsPage("<HTML>STATUS=GET_OK<P>words</HTML>", 0, "Rain", &section));
  EXPECT_TRUE(section.empty());
  // A marker followed directly by text still gives the heading a line of its own.
  ASSERT_TRUE(CleanLyricsPage("</B></I><P>words<P>", 0, "Rain", &section));
  EXPECT_EQ(section, "****Lyrics for Track 1, Rain:\nwords\n");
}

TEST(LyricsPageTest, WrappingAndMasking) {
  const std::string noBlank(120, 'x');
  EXPECT_EQ(WrapLyricsLines(noBlank), noBlank.substr(0, 54) + "\n      " + noBlank.substr(54, 48) +
                                          "\n      " + noBlank.substr(102));
  // Characters, not bytes, count: 60 two-byte letters break after 54 of them.
  std::string wide;
  for (int i = 0; i < 60; ++i) wide += "\xC3\xA9";
  EXPECT_EQ(WrapLyricsLines(wide), wide.substr(0, 108) + "\n      " + wide.substr(108));
  EXPECT_EQ(WrapLyricsLines(std::string(54, 'y') + "\nshort"), std::string(54, 'y') + "\nshort");
  // A heading longer than the pane stays one line.
  const std::string title = "A Title Long Enough To Make The Heading Wider Than The Pane";
  const std::string section = LyricsSectionFromText("la la", 11, title, true);
  EXPECT_EQ(section, LyricsHeading(11, title) + "\nla la\n");

  std::string text = "SHITAKE Cuntry fUcKs fuck";
  MaskWords(&text);
  EXPECT_EQ(text, "s---AKE c---ry f---s fuck");  // the last one has nothing after it
}

TEST(LyricsChoiceTest, PercentDecodingTakesBothHexDigits) {
  EXPECT_EQ(PercentDecode("%41%42c%2C%27s"), "ABc,'s");
  EXPECT_EQ(PercentDecode("100%"), "100%");
  EXPECT_EQ(PercentDecode("%zz%4"), "%zz%4");
  EXPECT_EQ(PercentDecode("a%0Ab%00"), "a b ");
}

namespace {

std::string Entry(const std::string& id, const std::string& artist, const std::string& album,
                  const std::string& title) {
  return "<TR><TD><A HREF=\"/query/normal?exact=on&artist=" + artist + "&song=\">a</A></TD>" +
         "<TD><A HREF=\"/query/normal?exact=on&artist=" + artist + "&album=" + album +
         "&song=\">b</A></TD><TD><A HREF=\"/query/get?s=" + id + "\">" + title + "</A></TD>\n";
}

}  // namespace

TEST(LyricsChoiceTest, SiteResultPages) {
  const std::string page =
      "<HTML>" + Entry("101", "The+Blue%41Band", "Songs%2C+Vol+2", "Rain%27s Song") +
      Entry("bad id", "X", "Y", "Z") +
      Entry("102", "Ann", "A+Very+Long+Album+Title+That+Goes+On+And+On+Forever", "Rain") +
      "<A HREF=\"/query/normal?song=Rain&page=2\">2</A> <A "
      "HREF=\"/query/normal?song=Rain&page=12\">"
      "12</A></HTML>";
  std::vector<SongChoice> choices;
  ReadSiteSongEntries(page, &choices);
  ASSERT_EQ(choices.size(), 2u);
  EXPECT_EQ(choices[0].id, "101");
  EXPECT_EQ(choices[0].artist, "The BlueABand");
  EXPECT_EQ(choices[0].album, "Songs, Vol 2");
  EXPECT_EQ(choices[0].title, "Rain's Song");
  EXPECT_EQ(choices[1].album, "A Very Long Album Title That Goes On And...");
  EXPECT_EQ(SitePageCount(page), 12);
  EXPECT_EQ(SitePageCount("<HTML>one page</HTML>"), 1);
  EXPECT_EQ(
      SongChoiceLines(choices),
      (std::vector<std::string>{"Rain's Song  /  Songs, Vol 2  /  The BlueABand",
                                "Rain  /  A Very Long Album Title That Goes On And...  /  Ann",
                                "None of the above"}));
}

TEST(LrclibAnswerTest, RecordsListsAndMalformedAnswers) {
  LrclibRecord record;
  std::string error;
  ASSERT_TRUE(ParseLrclibRecord(
      R"({"id":3396226,"trackName":"Caf\u00e9","artistName":"Ann","albumName":"Blue",)"
      R"("duration":233.0,"instrumental":false,"plainLyrics":"la\nla",)"
      R"("syncedLyrics":"[00:17.12] la\n[00:20.50] la"})",
      &record, &error))
      << error;
  EXPECT_EQ(record.id, 3396226);
  EXPECT_EQ(record.trackName, "Caf\xC3\xA9");
  EXPECT_EQ(record.plainLyrics, "la\nla");
  EXPECT_EQ(record.syncedLyrics, "[00:17.12] la\n[00:20.50] la");
  ASSERT_TRUE(ParseLrclibRecord(R"({"id":7,"plainLyrics":null,"syncedLyrics":null,)"
                                R"("instrumental":true})",
                                &record, &error));
  EXPECT_TRUE(record.instrumental);
  EXPECT_TRUE(record.plainLyrics.empty());

  for (const char* bad : {"{\"id\":1,", "<html>busy</html>", "[]", "{\"id\":-4}", "{\"id\":1.5}",
                          "{\"id\":\"12\"}", ""}) {
    EXPECT_FALSE(ParseLrclibRecord(bad, &record, &error)) << bad;
    EXPECT_FALSE(error.empty());
  }
  std::vector<LrclibRecord> list;
  ASSERT_TRUE(
      ParseLrclibList(R"([{"id":1,"trackName":"A"},{"name":"no id"},5,{"id":2}])", &list, &error));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].id, 2);
  EXPECT_FALSE(ParseLrclibList("{\"id\":1}", &list, &error));
}

TEST(SyncedLyricsTest, TagsBecomeTimedDisplayLines) {
  std::vector<SyncedLine> lines;
  EXPECT_FALSE(ParseSyncedLyrics("plain words\n[not a tag]\n[1:2] no\n", &lines));
  EXPECT_TRUE(lines.empty());

  ASSERT_TRUE(
      ParseSyncedLyrics("[ar:Ann]\nIntro words\n[00:05.5] one\n[00:07.25]  two\n"
                        "continued\n[01:02.345][00:09] chorus\n[00:12]\n\n\n",
                        &lines));
  const std::vector<std::pair<int64_t, std::string>> expected = {
      {-1, "Intro words"}, {5500, "one"}, {7250, "two"},    {7250, "continued"},
      {9000, "chorus"},    {12000, ""},   {62345, "chorus"}};
  ASSERT_EQ(lines.size(), expected.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].startMs, expected[i].first) << i;
    EXPECT_EQ(lines[i].text, expected[i].second) << i;
  }

  ASSERT_TRUE(ParseSyncedLyrics("[offset:+500]\n[00:01.00]a\n[00:02.00]b", &lines));
  EXPECT_EQ(lines[0].startMs, 500);
  EXPECT_EQ(lines[1].startMs, 1500);
}

TEST(SyncedLyricsTest, LineBeingSung) {
  std::vector<SyncedLine> lines;
  ASSERT_TRUE(ParseSyncedLyrics("[00:10.00]a\n[00:20.00]b\nb2\n[00:30.00]c", &lines));
  const std::pair<int64_t, int> cases[] = {
      {0, 0},     {9999, 0},  // before the first line's time: the first line
      {10000, 0}, {19999, 0},   {20000, 1}, {25000, 1},  // "b2" shares b's time: b is sung
      {30000, 3}, {3600000, 3},                          // after the last line's time: the last
  };
  for (const auto& [position, line] : cases)
    EXPECT_EQ(SyncedLineAt(lines, position), line) << position;
  EXPECT_EQ(SyncedLineAt({}, 5), -1);
}

TEST(InfoFileTextTest, SectionsThatHoldLyrics) {
  CdTitles titles;
  std::string text = BuildCdInfoText(titles, 2);
  ASSERT_TRUE(MarkNotFoundInText(&text, 1));
  ASSERT_TRUE(ReplaceLyricsInText(&text, 2, LyricsHeading(2, "") + "\nmy words"));
  EXPECT_FALSE(SectionHoldsLyrics(text, 0));
  EXPECT_FALSE(SectionHoldsLyrics(text, 1));
  EXPECT_TRUE(SectionHoldsLyrics(text, 2));
  EXPECT_FALSE(SectionHoldsLyrics(text, 3));
}
