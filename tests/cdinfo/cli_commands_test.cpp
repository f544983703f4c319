// The command-line front end's CD information commands against a small disc image and a CDDB
// server on 127.0.0.1.
#include "tools/cli/cdinfo_commands.h"
#include "tools/cli/lyrics_command.h"

#include <gtest/gtest.h>

#include "tests/cdinfo/cdinfo_fixture.h"
#include "tests/support/test_http_server.h"
#include "tests/support/trace_capture.h"

namespace {

// Three audio tracks starting at 0, 3 and 5 seconds into a 7-second image: with the lead-in
// they start at 2, 5 and 7 seconds and the lead-out is at 9 seconds.
const char kDiscId[] = "0e000703";

class CliCommandsTest : public CdInfoTest {
 protected:
  void SetUp() override {
    CdInfoTest::SetUp();
    fs::create_directories(root_ / "image");
    WriteAll(root_ / "image" / "disc.cue",
             "FILE \"disc.bin\" BINARY\n"
             "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
             "  TRACK 02 AUDIO\n    INDEX 01 00:03:00\n"
             "  TRACK 03 AUDIO\n    INDEX 01 00:05:00\n");
    WriteAll(root_ / "image" / "disc.bin", std::string(7 * 75 * 2352, '\0'));
    cue_ = (root_ / "image" / "disc.cue").string();
    folder_ = (root_ / "cd").string();
  }

  int Run(int (*command)(const std::vector<std::string>&, std::string*, std::string*),
          std::vector<std::string> args) {
    out_.clear();
    err_.clear();
    return command(args, &out_, &err_);
  }

  std::string cue_;
  std::string folder_;
  std::string out_;
  std::string err_;
};

std::string Entry(const std::string& category) {
  return HttpAnswer("210 " + category + " " + kDiscId +
                    " CD database entry follows\r\n# xmcd\r\n"
                    "DISCID=" +
                    kDiscId +
                    "\r\nDTITLE=Trio / Short Pieces\r\n"
                    "TTITLE0=Three Seconds\r\nTTITLE1=Two\r\nTTITLE2=Two More\r\n"
                    "EXTT0=\r\nEXTT1=\r\nEXTT2=\r\n.\r\n");
}

}  // namespace

TEST_F(CliCommandsTest, DiscIdOfAnImage) {
  DiscLayout layout;
  std::string error;
  ASSERT_TRUE(ReadImageLayout(cue_, &layout, &error)) << error;
  ASSERT_EQ(layout.trackCount, 3);
  EXPECT_EQ(cdinfo::MsfToFrames(layout.position[1]), 150 + 225);
  EXPECT_EQ(cdinfo::MsfToFrames(layout.length[2]), 150);

  EXPECT_EQ(Run(CommandDiscId, {cue_}), 0);
  EXPECT_EQ(out_, std::string(kDiscId) + "\n");
  EXPECT_EQ(Run(CommandDiscId, {}), 2);
  EXPECT_EQ(Run(CommandDiscId, {(root_ / "missing.cue").string()}), 1);
  EXPECT_NE(err_.find("missing.cue"), std::string::npos);
}

TEST_F(CliCommandsTest, LookUpThenShowTheFile) {
  TestHttpServer server([](const std::string& request) {
    if (request.find("cmd=cddb+query") != std::string::npos)
      return ServerReply{HttpAnswer(std::string("211 close matches\r\nrock ") + kDiscId +
                                    " Wrong / Disc\r\nclassical " + kDiscId +
                                    " Trio / Short Pieces\r\n.\r\n")};
    if (request.find("cmd=cddb+read+classical+") != std::string::npos)
      return ServerReply{Entry("classical")};
    return ServerReply{HttpAnswer("500 no\r\n")};
  });
  TraceCapture trace;
  ASSERT_EQ(
      Run(CommandCddb, {cue_, "--server", server.HostPort(), "--folder", folder_, "--choice", "2"}),
      0)
      << err_;
  const std::string file = folder_ + "/Short Pieces " + kDiscId + ".txt";
  EXPECT_EQ(out_, file + "\n");
  EXPECT_TRUE(fs::exists(file));
  EXPECT_EQ(err_,
            "several CDs match; taking number 2:\n  1. Wrong / Disc\n"
            "  2. Trio / Short Pieces\n  3. None of the above\n");
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_NE(server.Requests()[0].find(std::string("cmd=cddb+query+") + kDiscId +
                                      "+3+150+375+525+9&hello="),
            std::string::npos);

  ASSERT_EQ(Run(CommandInfo, {cue_, "--folder", folder_}), 0) << err_;
  EXPECT_EQ(out_, "file: " + file +
                      "\nalbum: Short Pieces\nartist: Trio \n"
                      "1: Three Seconds\n2: Two\n3: Two More\n");
}

TEST_F(CliCommandsTest, TitlesFromMusicBrainzByPosition) {
  const std::string release =
      R"({"title":"Short Pieces","artist-credit":[{"name":"Trio"}],"media":[{"tracks":[)"
      R"({"title":"%1"},{"title":"%2"},{"title":"%3"}]}]})";
  const auto numbered = [&release](const std::string& name) {
    std::string r = release;
    for (char n : {'1', '2', '3'}) r.replace(r.find(std::string("%") + n), 2, name + n);
    return r;
  };
  const std::string body =
      "{\"releases\":[" + numbered("first ") + "," + numbered("second ") + "]}";
  TestHttpServer server([&body](const std::string& request) {
    if (request.rfind("GET /ws/2/discid/", 0) == 0)
      return ServerReply{"HTTP/1.0 200 OK\r\nContent-Type: application/json\r\n\r\n" + body};
    return ServerReply{HttpAnswer("500 Unknown developer email\r\n")};
  });
  const std::string url = "http://" + server.HostPort();
  ASSERT_EQ(Run(CommandTitles, {cue_, "--service", "musicbrainz", "--url", url, "--folder", folder_,
                                "--choice", "2"}),
            0)
      << err_;
  const std::string file = folder_ + "/Short Pieces " + kDiscId + ".txt";
  EXPECT_EQ(out_, file + "\n");
  EXPECT_EQ(err_,
            "several CDs match; taking number 2:\n  1. Short Pieces - Trio\n"
            "  2. Short Pieces - Trio\n  3. None of the above\n");
  ASSERT_EQ(Run(CommandInfo, {cue_, "--folder", folder_}), 0) << err_;
  EXPECT_NE(out_.find("1: second 1\n2: second 2\n3: second 3\n"), std::string::npos) << out_;

  // The CDDB server refuses the hello: one clear line, exit 1.
  fs::remove(file);
  TraceCapture trace;
  EXPECT_EQ(Run(CommandTitles,
                {cue_, "--service", "cddb", "--server", server.HostPort(), "--folder", folder_}),
            1);
  EXPECT_EQ(err_.rfind("CDDB Server: The CDDB server refused this program before the lookup "
                       "began. It answered: \"500 Unknown developer email\" The server",
                       0),
            0u)
      << err_;
  EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 1) << err_;

  EXPECT_EQ(Run(CommandTitles, {cue_, "--service", "freedb"}), 2);
  EXPECT_EQ(Run(CommandTitles, {cue_, "--url", "ftp://example.org"}), 2);
  EXPECT_EQ(Run(CommandTitles, {cue_, "--choice", "27"}), 2);
}

TEST_F(CliCommandsTest, FailuresAndUsage) {
  TestHttpServer server([](const std::string&) {
    return ServerReply{HttpAnswer(std::string("202 No match for disc ID ") + kDiscId + ".\r\n")};
  });
  TraceCapture trace;
  EXPECT_EQ(Run(CommandCddb, {cue_, "--server", server.HostPort(), "--folder", folder_}), 1);
  EXPECT_EQ(err_, "the disc was not found\n");
  // The disc keeps its default file.
  ASSERT_EQ(Run(CommandInfo, {cue_, "--folder", folder_}), 0);
  EXPECT_NE(out_.find("album: Unknown CD\n"), std::string::npos);
  EXPECT_NE(out_.find("3: Song 3\n"), std::string::npos);

  EXPECT_EQ(Run(CommandCddb, {cue_, "--choice", "0"}), 2);
  EXPECT_EQ(Run(CommandCddb, {"--folder", folder_}), 2);
  EXPECT_EQ(Run(CommandInfo, {cue_, "--server", "x"}), 2);
}

TEST_F(CliCommandsTest, LyricsFillTheFileOrLeaveItAsItWas) {
  // The disc's file with titles, as a lookup left it.
  fs::create_directories(folder_);
  CdTitles titles;
  titles.albumTitle = "Short Pieces";
  titles.albumArtist = "Trio";
  titles.tracks[0].title = "One";
  titles.tracks[1].title = "Two";
  titles.tracks[2].title = "Three";
  const std::string file = folder_ + "/Short Pieces " + kDiscId + ".txt";
  WriteAll(file, BuildCdInfoText(titles, 2));

  std::string answerTwo = "{\"id\":2,\"plainLyrics\":\"two words\"}";
  TestHttpServer server([&answerTwo](const std::string& request) {
    auto json = [](int status, const std::string& body) {
      return ServerReply{"HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Length: " +
                         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body};
    };
    if (request.find("track_name=One&") != std::string::npos)
      return json(200, "{\"id\":1,\"syncedLyrics\":\"[00:01.00] one\"}");
    if (request.find("track_name=Two&") != std::string::npos) return json(200, answerTwo);
    if (request.find("/api/search") != std::string::npos) return json(200, "[]");
    return json(404, "{}");
  });
  const std::string url = "http://" + server.HostPort();
  TraceCapture trace;
  ASSERT_EQ(Run(CommandLyrics, {cue_, "--url", url, "--folder", folder_}), 0) << err_;
  EXPECT_EQ(out_,
            "track 1 (One): found, time-synced\ntrack 2 (Two): found\n"
            "track 3 (Three): not found\nfile: " +
                file + "\n");
  const std::string filled = ReadAll(file);
  EXPECT_EQ(Lyrics(filled, 0), "[00:01.00] one\n\n");
  EXPECT_EQ(Lyrics(filled, 1), "two words\n\n");

  // A failure part way leaves the file as it was, with nothing beside it.
  answerTwo = "{\"id\":2,";
  WriteAll(file, BuildCdInfoText(titles, 2));
  const std::string before = ReadAll(file);
  EXPECT_EQ(Run(CommandLyrics, {cue_, "--url", url, "--folder", folder_}), 1);
  EXPECT_NE(err_.find("track 1 (One): found, time-synced\n"), std::string::npos) << err_;
  EXPECT_NE(err_.find("LRCLIB sent an answer that cannot be read"), std::string::npos) << err_;
  EXPECT_NE(err_.find("the CD information file is unchanged"), std::string::npos);
  EXPECT_EQ(ReadAll(file), before);
  EXPECT_EQ(fs::path(file).parent_path(), fs::path(folder_));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);

  for (const std::vector<std::string>& bad : {std::vector<std::string>{cue_, "--service", "other"},
                                              {cue_, "--track", "0"},
                                              {cue_, "--track", "4", "--folder", folder_},
                                              {"--url", url}}) {
    EXPECT_EQ(Run(CommandLyrics, bad), 2) << bad.back();
    EXPECT_NE(err_.find("usage: sorn-karaoke-cli lyrics DISC"), std::string::npos) << err_;
  }
}

TEST_F(CliCommandsTest, InfoOnlyReadsAndEveryKindOfLineEndCounts) {
  // A default file edited by hand: a title and lyrics for track 2.
  std::string text = BuildDefaultCdInfoText(2);
  text.replace(text.find("Track 2: Song 2"), 15, "Track 2: Two by Hand");
  ASSERT_TRUE(ReplaceLyricsInText(&text, 1, "****Lyrics for Track 2, Two by Hand:\nla la\nla"));
  fs::create_directories(folder_);
  const std::string file = folder_ + "/Unknown CD " + kDiscId + ".txt";
  for (const char* lineEnd : {"\r\n", "\r"}) {
    SCOPED_TRACE(lineEnd[1] ? "CR LF" : "CR");
    std::string saved;
    for (char c : text) saved += c == '\n' ? std::string(lineEnd) : std::string(1, c);
    WriteAll(file, saved);
    ASSERT_EQ(Run(CommandInfo, {cue_, "--folder", folder_}), 0) << err_;
    EXPECT_NE(out_.find("album: Unknown CD\n"), std::string::npos) << out_;
    EXPECT_NE(out_.find("2: Two by Hand\n"), std::string::npos) << out_;
    EXPECT_TRUE(ReadAll(file) == saved) << "a command that only reads writes nothing";
  }

  // The lookup keeps the hand-written lyrics of the CR-only file.
  TestHttpServer server([](const std::string& request) {
    if (request.find("cmd=cddb+query") != std::string::npos)
      return ServerReply{
          HttpAnswer(std::string("200 classical ") + kDiscId + " Trio / Short Pieces\r\n")};
    return ServerReply{Entry("classical")};
  });
  TraceCapture trace;
  ASSERT_EQ(Run(CommandCddb, {cue_, "--server", server.HostPort(), "--folder", folder_}), 0)
      << err_;
  EXPECT_FALSE(fs::exists(file));
  const std::string looked = ReadAll(folder_ + "/Short Pieces " + kDiscId + ".txt");
  EXPECT_EQ(Lyrics(looked, 1), "la la\nla\n\n");
  EXPECT_NE(looked.find("****Lyrics for Track 2, Two:\n"), std::string::npos);
}
