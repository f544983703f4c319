#include "cdinfo/info_file.h"
#include "cdinfo/text_util.h"

#include <gtest/gtest.h>

#include "tests/cdinfo/cdinfo_fixture.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/trace_capture.h"

namespace {

const char kNote[] =
    "Note: To enter your own titles and/or lyrics, simply replace or enter the\n"
    "information in the appropriate areas below. It is important that you\n"
    "leave the headings unchanged, and do not add additional tracks or you may\n"
    "experience unstable operation of Sorn Karaoke. Be sure to always leave a\n"
    "space after the :\n"
    "\n";

// A file of n tracks titled "Title i" with the given lyrics per track (empty: none).
std::string FileWithLyrics(const std::vector<std::string>& lyrics) {
  CdTitles titles;
  titles.albumTitle = "Album";
  titles.albumArtist = "Band";
  const int n = static_cast<int>(lyrics.size());
  for (int i = 0; i < n; ++i) titles.tracks[i].title = "Title " + std::to_string(i + 1);
  std::string text = BuildCdInfoText(titles, n - 1);
  for (int i = 0; i < n; ++i) {
    if (lyrics[i].empty()) continue;
    EXPECT_TRUE(
        ReplaceLyricsInText(&text, i, LyricsHeading(i, titles.tracks[i].title) + "\n" + lyrics[i]));
  }
  return text;
}

}  // namespace

TEST(InfoFileTextTest, DefaultFileLayout) {
  const std::string expected =
      std::string(kNote) +
      "CD Title: Unknown CD\n"
      "Artist: Unknown Artist\n\n"
      "Track 1: Song 1\n"
      "Track 2: Song 2\n\n"
      "Note: If this CD has a different artist for each track, you can enter them\n"
      "below. Otherwise, leave these blank:\n\n"
      "Track Artist 1:\n"
      "Track Artist 2:\n\n"
      "****Lyrics for Track 1, Unknown Song:\n"
      "Lyrics for this song are not on your computer\n\n"
      "****Lyrics for Track 2, Unknown Song:\n"
      "Lyrics for this song are not on your computer\n\n";
  EXPECT_EQ(BuildDefaultCdInfoText(1), expected);
}

TEST(InfoFileTextTest, WrittenFileReadsBack) {
  CdTitles titles;
  titles.albumTitle = "Greatest Hits";
  titles.albumArtist = "The Band";
  titles.tracks[0] = {"Opening", "Ann"};
  titles.tracks[1] = {"A title long enough that the lyrics heading has to cut it somewhere", ""};
  titles.tracks[2] = {"Smörgåsbord", "Bö"};
  const std::string text = BuildCdInfoText(titles, 2);
  EXPECT_NE(
      text.find("Track 2: A title long enough that the lyrics heading has to cut it somewhere\n"),
      std::string::npos);
  EXPECT_NE(text.find("Track Artist 2: \n"), std::string::npos);
  EXPECT_NE(
      text.find("****Lyrics for Track 2, A title long enough that the lyrics heading has...:\n"
                "Lyrics for this song are not on your computer\n\n"),
      std::string::npos);

  CdTitles read;
  ParseCdInfoText(text, 2, &read);
  EXPECT_EQ(read.albumTitle, "Greatest Hits");
  EXPECT_EQ(read.albumArtist, "The Band");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(read.tracks[i].title, titles.tracks[i].title);
    EXPECT_EQ(read.tracks[i].artist, titles.tracks[i].artist);
  }
}

TEST(InfoFileTextTest, HandEditedValues) {
  // No blank after the colon: the value starts two characters on, so one character is lost.
  // An empty value, with or without its blank, and CR-LF line ends read as empty or plain.
  const std::string text = std::string(kNote) +
                           "CD Title:Blue Skies\n"
                           "Artist: X\r\n\n"
                           "Track 1: \n"
                           "Track 2:\n"
                           "Track 3: Third\r\n\n"
                           "Track Artist 1:\r\n"
                           "Track Artist 2: Caf\xE9\n"
                           "Track Artist 3: \n";
  CdTitles read;
  read.tracks[5].title = "untouched";
  ParseCdInfoText(text, 2, &read);
  EXPECT_EQ(read.albumTitle, "lue Skies");
  EXPECT_EQ(read.albumArtist, "X");
  EXPECT_EQ(read.tracks[0].title, "");
  EXPECT_EQ(read.tracks[1].title, "");
  EXPECT_EQ(read.tracks[2].title, "Third");
  EXPECT_EQ(read.tracks[0].artist, "");
  EXPECT_EQ(read.tracks[1].artist, "Caf\xC3\xA9");  // a Latin-1 edit is shown as UTF-8
  EXPECT_EQ(read.tracks[2].artist, "");
  EXPECT_EQ(read.tracks[5].title, "untouched");
  // A value longer than a title holds is cut to 199 bytes.
  ParseCdInfoText("CD Title: " + std::string(500, 'x') + "\n", 0, &read);
  EXPECT_EQ(read.albumTitle.size(), 199u);
}

TEST(InfoFileTextTest, HeadingsMatchWholeTrackNumbers) {
  std::vector<std::string> lyrics(12);
  lyrics[0] = "first song words";
  lyrics[9] = "tenth song words";
  std::string text = FileWithLyrics(lyrics);
  EXPECT_EQ(Lyrics(text, 0), "first song words\n\n");
  EXPECT_EQ(Lyrics(text, 9), "tenth song words\n\n");

  // With the section of track 1 removed by hand, track 1 finds nothing (not track 10's words)
  // and replacing it changes nothing.
  const size_t one = text.find("****Lyrics for Track 1,");
  const size_t two = text.find("****Lyrics for Track 2,");
  text.erase(one, two - one);
  EXPECT_EQ(Lyrics(text, 0), "(no section)");
  const std::string before = text;
  EXPECT_FALSE(ReplaceLyricsInText(&text, 0, "****Lyrics for Track 1, Title 1:\nnew"));
  EXPECT_EQ(text, before);
  EXPECT_FALSE(MarkNotFoundInText(&text, 0));
  EXPECT_EQ(Lyrics(text, 9), "tenth song words\n\n");
}

TEST(InfoFileTextTest, ReplacingSections) {
  std::string text = FileWithLyrics({"", "", ""});
  const size_t lastHeading = text.find("****Lyrics for Track 3,");

  // The middle track: trailing line ends become exactly one empty line; the rest stays.
  ASSERT_TRUE(ReplaceLyricsInText(&text, 1, "****Lyrics for Track 2, Title 2:\nla la\r\n\n\n\n"));
  EXPECT_EQ(Lyrics(text, 1), "la la\n\n");
  EXPECT_EQ(Lyrics(text, 2), std::string(kNoLyricsText) + "\n\n");

  // The last track: everything before its heading stays, the file ends after the new section.
  const std::string head = text.substr(0, text.find("****Lyrics for Track 3,"));
  ASSERT_TRUE(ReplaceLyricsInText(&text, 2, "****Lyrics for Track 3, Title 3:\nend words\n"));
  EXPECT_EQ(text, head + "****Lyrics for Track 3, Title 3:\nend words\n\n  ");
  EXPECT_GT(lastHeading, 0u);

  // Not found on the Internet: the heading stays, the body is replaced.
  ASSERT_TRUE(MarkNotFoundInText(&text, 1));
  EXPECT_EQ(Lyrics(text, 1), std::string(kLyricsNotFoundText) + "\n\n");
  EXPECT_EQ(Lyrics(text, 2), "end words\n\n  ");
}

TEST(InfoFileTextTest, MissingNextHeadingKeepsLaterSections) {
  std::string text = FileWithLyrics({"one", "two", "three", "four"});
  // The user removed the heading of track 3 (its words now belong to track 2's section).
  const size_t three = text.find("****Lyrics for Track 3,");
  text.erase(three, text.find('\n', three) + 1 - three);
  ASSERT_TRUE(ReplaceLyricsInText(&text, 0, "****Lyrics for Track 1, Title 1:\nuno"));
  EXPECT_EQ(Lyrics(text, 0), "uno\n\n");
  EXPECT_EQ(Lyrics(text, 3), "four\n\n  ");
  // Replacing track 2, whose next heading is gone, keeps track 4.
  ASSERT_TRUE(ReplaceLyricsInText(&text, 1, "****Lyrics for Track 2, Title 2:\ndos"));
  EXPECT_EQ(Lyrics(text, 3), "four\n\n  ");
}

TEST(InfoFileTextTest, CarryLyricsUnderNewTitles) {
  const std::string oldText = FileWithLyrics({"", "my own words\nsecond line", "", "last words"});
  CdTitles titles;
  for (int i = 0; i < 4; ++i) titles.tracks[i].title = "New " + std::to_string(i + 1);
  std::string newText = BuildCdInfoText(titles, 3);
  CarryLyrics(oldText, &newText, titles, 3);
  EXPECT_EQ(Lyrics(newText, 1), "my own words\nsecond line\n\n");
  EXPECT_EQ(Lyrics(newText, 3), "last words\n\n  ");
  EXPECT_NE(newText.find("****Lyrics for Track 2, New 2:\nmy own words"), std::string::npos);
  EXPECT_NE(newText.find("Track 4: New 4\n"), std::string::npos);
}

TEST(InfoFileTextTest, FileNamesStayInTheFolder) {
  settings.databasePath = "/data/cd/";
  EXPECT_EQ(InfoFilePath("Blue Skies", "0200b401"), "/data/cd/Blue Skies 0200b401.txt");
  EXPECT_EQ(InfoFilePath("AC/DC: \"Live\" <1992> | *?\\", "0200b401"),
            "/data/cd/ACDC Live 1992   0200b401.txt");
  EXPECT_EQ(InfoFilePath("../../etc/passwd", "0200b401"), "/data/cd/....etcpasswd 0200b401.txt");
  EXPECT_EQ(InfoFilePath(std::string("a\0b", 3), "0200b401"), "/data/cd/ab 0200b401.txt");
  EXPECT_EQ(InfoFilePath("..", "0200b401"), "/data/cd/.. 0200b401.txt");
  // A long title is cut on a character boundary so the name fits the file system.
  std::string longTitle;
  for (int i = 0; i < 150; ++i) longTitle += "\xC3\xA9";
  const std::string path = InfoFilePath(longTitle, "0200b401");
  const std::string name = path.substr(path.rfind('/') + 1);
  EXPECT_LE(name.size(), 255u);
  EXPECT_EQ(name.substr(0, 200), longTitle.substr(0, 200));
  EXPECT_EQ(name.substr(200), " 0200b401.txt");
}

TEST(TruncateAtWordTest, CutsAtTheLastBlank) {
  EXPECT_EQ(cdinfo::TruncateAtWord("short", 49), "short");
  EXPECT_EQ(cdinfo::TruncateAtWord("one two three", 7), "one two...");
  EXPECT_EQ(cdinfo::TruncateAtWord("one two three", 8), "one two...");
  EXPECT_EQ(cdinfo::TruncateAtWord("one two three", 6), "one...");
  EXPECT_EQ(cdinfo::TruncateAtWord("abcdefghij", 4), "abcd...");  // no blank: cut at the width
  EXPECT_EQ(cdinfo::TruncateAtWord("\xC3\xA9\xC3\xA9\xC3\xA9", 3), "\xC3\xA9...");
}

// ---- Files ---------------------------------------------------------------------------------

TEST_F(CdInfoTest, NewDiscGetsTheDefaultFile) {
  InsertDisc(3);
  host_.currentTrack = 1;
  LoadCdInfoFile(nullptr);
  const fs::path file = root_ / "Unknown CD 18021c03.txt";
  EXPECT_EQ(CurrentDiscId(), "18021c03");
  EXPECT_EQ(CurrentInfoFile(), file.string());
  EXPECT_EQ(ReadAll(file), BuildDefaultCdInfoText(2));
  EXPECT_EQ(cdTitles.albumTitle, "Unknown CD");
  EXPECT_EQ(cdTitles.albumArtist, "Unknown Artist");
  EXPECT_EQ(cdTitles.tracks[2].title, "Song 3");
  EXPECT_TRUE(host_.Called("titles"));
  ASSERT_EQ(host_.lyrics.size(), 1u);
  EXPECT_EQ(host_.lyrics[0], std::string(kNoLyricsText) + "\n\n");
}

TEST_F(CdInfoTest, MissingFolderIsCreatedForTheDefaultFile) {
  settings.databasePath = (root_ / "new" / "folder").string() + "/";
  InsertDisc(1);
  LoadCdInfoFile(nullptr);
  EXPECT_TRUE(fs::exists(root_ / "new" / "folder" / "Unknown CD 0200b401.txt"));
  EXPECT_EQ(cdTitles.tracks[0].title, "Song 1");
}

TEST_F(CdInfoTest, TitledFileWinsOverDefaultFile) {
  InsertDisc(1);
  CdTitles titles;
  titles.albumTitle = "Zebra Songs";
  titles.tracks[0].title = "Stripes";
  // Both orders of the names: the titled file sorts after and before the default one.
  for (const char* name : {"Zebra Songs 0200b401.txt", "Abba Songs 0200b401.txt"}) {
    fs::remove_all(root_);
    fs::create_directories(root_);
    WriteAll(root_ / "Unknown CD 0200b401.txt", BuildDefaultCdInfoText(0));
    WriteAll(root_ / name, BuildCdInfoText(titles, 0));
    WriteAll(root_ / "Other 0300b603.txt", BuildDefaultCdInfoText(2));
    LoadCdInfoFile(nullptr);
    EXPECT_EQ(CurrentInfoFile(), (root_ / name).string());
    EXPECT_EQ(cdTitles.tracks[0].title, "Stripes");
  }
}

TEST_F(CdInfoTest, LyricsSectionsInTheFile) {
  InsertDisc(3);
  LoadCdInfoFile(nullptr);
  const std::string path = CurrentInfoFile();

  EXPECT_EQ(ReplaceLyricsSection(nullptr, 2, "****Lyrics for Track 3, Song 3:\nla\r\nla\n\n\n"), 1);
  host_.lyrics.clear();
  ShowTrackLyrics(nullptr, 2);
  ASSERT_EQ(host_.lyrics.size(), 1u);
  EXPECT_EQ(host_.lyrics[0], "la\nla\n\n  \n");
  EXPECT_EQ(ReadAll(path).find('\r'), std::string::npos);

  MarkLyricsNotFound(nullptr, 0);
  ShowTrackLyrics(nullptr, 0);
  EXPECT_EQ(host_.lyrics.back(), std::string(kLyricsNotFoundText) + "\n\n");

  EXPECT_EQ(ExtractLyricsForEditing(2), 0);
  EXPECT_EQ(ReadAll(LyricsEditFilePath()), "la\nla\n\n  \n");

  TraceCapture trace;
  EXPECT_EQ(ReplaceLyricsSection(nullptr, 7, "****Lyrics for Track 8, x:\ny"), -1);
  EXPECT_EQ(trace.Text(), "didnt find heading\n");
  ShowTrackLyrics(nullptr, 7);
  EXPECT_EQ(host_.lyrics.back(), kLyricsMissingText);
  EXPECT_EQ(ExtractLyricsForEditing(7), 0);
  EXPECT_EQ(ReadAll(LyricsEditFilePath()), "  \n");

  host_.audioDisc = false;
  ShowTrackLyrics(nullptr, 0);
  EXPECT_EQ(host_.lyrics.back(), "  ");
}

TEST_F(CdInfoTest, ShowingLyricsAgainAndAgainLeavesTheFileAlone) {
  InsertDisc(2);
  LoadCdInfoFile(nullptr);
  const std::string before = ReadAll(CurrentInfoFile());
  for (int i = 0; i < 20; ++i) ShowTrackLyrics(nullptr, i % 2);
  EXPECT_EQ(ReadAll(CurrentInfoFile()), before);

  const fs::path crlf = root_ / "crlf.txt";
  WriteAll(crlf, "a\r\nb\r\n");
  EXPECT_EQ(RemoveCarriageReturns(crlf), 1);
  EXPECT_EQ(ReadAll(crlf), "a\nb\n");
  WriteAll(crlf, "no line end");
  EXPECT_EQ(RemoveCarriageReturns(crlf), 1);
  EXPECT_EQ(RemoveCarriageReturns(crlf), 1);
  EXPECT_EQ(ReadAll(crlf), "no line end\n");
  EXPECT_EQ(RemoveCarriageReturns((root_ / "missing.txt").string()), -1);
}

TEST_F(CdInfoTest, LongFileKeepsEverythingPastTheReadBuffer) {
  InsertDisc(20);
  LoadCdInfoFile(nullptr);
  // Lyrics for every track: together well over 50,000 bytes.
  for (int i = 0; i < 20; ++i) {
    std::string words;
    for (int line = 0; line < 100; ++line)
      words += "track " + std::to_string(i + 1) + " sings a fairly long line\n";
    ASSERT_EQ(ReplaceLyricsSection(
                  nullptr, i, LyricsHeading(i, "Song " + std::to_string(i + 1)) + "\n" + words),
              1);
  }
  ASSERT_GT(fs::file_size(CurrentInfoFile()), kInfoFileReadBytes);
  ASSERT_EQ(ReplaceLyricsSection(nullptr, 19, LyricsHeading(19, "Song 20") + "\nthe end"), 1);
  host_.lyrics.clear();
  ShowTrackLyrics(nullptr, 18);
  ASSERT_EQ(host_.lyrics.size(), 1u);
  EXPECT_EQ(host_.lyrics[0].substr(0, 23), "track 19 sings a fairly");
  ShowTrackLyrics(nullptr, 19);
  EXPECT_EQ(host_.lyrics[1], "the end\n\n  \n");
}

TEST_F(CdInfoTest, FetchLyricsFromAnOlderFile) {
  InsertDisc(2);
  const fs::path oldFile = root_ / "old 0d016802.txt";
  WriteAll(oldFile, BuildDefaultCdInfoText(1));
  LoadCdInfoFile(nullptr);
  ASSERT_EQ(ReplaceLyricsSection(nullptr, 1, "****Lyrics for Track 2, Song 2:\nkept words"), 1);
  {
    std::lock_guard<std::mutex> guard(cdInfo.lock);
    cdTitles.tracks[1].title = "Renamed";
  }
  const fs::path newFile = root_ / "new 0d016802.txt";
  ASSERT_EQ(WriteCdInfoFile(newFile), 1);
  ASSERT_EQ(FetchAnyLyricsFromOldFile(newFile, CurrentInfoFile()), 1);
  EXPECT_NE(ReadAll(newFile).find("****Lyrics for Track 2, Renamed:\nkept words\n\n"),
            std::string::npos);

  TraceCapture trace;
  EXPECT_EQ(FetchAnyLyricsFromOldFile(newFile, (root_ / "gone.txt").string()), -1);
  EXPECT_EQ(trace.Text(), "error - old File didnt open in FetchAnyLyricsFromOldFile\n");
}

TEST_F(CdInfoTest, AFileThatCannotBeWrittenKeepsItsOldContents) {
  InsertDisc(2);
  LoadCdInfoFile(nullptr);
  const std::string path = CurrentInfoFile();
  const std::string before = ReadAll(path);
  // The new text cannot be written whole (a file-size limit stands in for a full disk):
  // nothing of the file changes, nothing is left.
  int replaced = 0;
  {
    FileSizeLimit limit(100);
    ASSERT_TRUE(limit.active());
    replaced = ReplaceLyricsSection(nullptr, 0, "****Lyrics for Track 1, Song 1:\nnew");
  }
  EXPECT_EQ(replaced, -1);
  EXPECT_EQ(ReadAll(path), before);
  // A file replaced by a lookup is written whole under its new name before the old one goes.
  const fs::path blocked = root_ / (std::string("Album ") + CurrentDiscId() + ".txt");
  fs::create_directories(blocked / "blocker");
  EXPECT_EQ(StoreLookedUpTitles(nullptr, [](int, CdTitles* t) { t->albumTitle = "Album"; }), -1);
  EXPECT_EQ(ReadAll(path), before);
  EXPECT_EQ(CurrentInfoFile(), path);
  for (const std::string& name : FolderFiles()) EXPECT_NE(name[0], '.') << name;
}
