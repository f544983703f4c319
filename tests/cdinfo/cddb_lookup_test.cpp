// CDDB lookups end to end: the client against a CDDB server on 127.0.0.1, from the default
// information file to the looked-up one.
#include <gtest/gtest.h>

#include <memory>

#include "cdinfo/cddb.h"
#include "cdinfo/http_client.h"
#include "tests/cdinfo/cdinfo_fixture.h"
#include "tests/support/canned_replies.h"
#include "tests/support/test_http_server.h"
#include "tests/support/trace_capture.h"
#include "tests/support/window_loop.h"

namespace {

// The disc: three tracks of three minutes.
const char kDiscId[] = "18021c03";
const char kHello[] = "&hello=singer@example.org+example.org+SornKaraoke+1.0&proto=4";

std::string WithoutCr(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

std::string QueryRequest() {
  return std::string("GET /~cddb/cddb.cgi?cmd=cddb+query+") + kDiscId + "+3+150+13650+27150+542" +
         kHello + " HTTP/1.0\r\n\r\n";
}

std::string ReadRequest(const std::string& category, const std::string& discId) {
  return "GET /~cddb/cddb.cgi?cmd=cddb+read+" + category + "+" + discId + kHello +
         " HTTP/1.0\r\n\r\n";
}

const char kTitles[] = "TTITLE0=Opening\r\nTTITLE1=Middle Song\r\nTTITLE2=Closing Time\r\n";
const char kInexact[] =
    "211 Found inexact matches, list follows (until terminating `.')\r\n"
    "rock 01821c03 Band A / Album A\r\nmisc 01821c04 Band B / Album B\r\n"
    "folk 01821c05 Band C / Album C\r\n.\r\n";

std::string Entry(const std::string& category, const std::string& dtitle,
                  const std::string& titles = kTitles, const std::string& extra = "") {
  return "210 " + category + " " + kDiscId +
         " CD database entry follows (until terminating `.')\r\n"
         "# xmcd\r\n#\r\n# Track frame offsets:\r\n#\t150\r\n#\t13650\r\n#\t27150\r\n#\r\n"
         "# Disc length: 542 seconds\r\n#\r\nDISCID=" +
         kDiscId + "\r\nDTITLE=" + dtitle +
         "\r\n"
         "DYEAR=2001\r\nDGENRE=Rock\r\n" +
         titles + "EXTD=\r\nEXTT0=\r\nEXTT1=\r\nEXTT2=\r\n" + extra + "PLAYORDER=\r\n.\r\n";
}

class CddbLookupTest : public CdInfoTest {
 protected:
  void SetUp() override {
    CdInfoTest::SetUp();
    server_ = std::make_unique<TestHttpServer>([this](const std::string& r) { return Route(r); });
    settings.servers[0] = {server_->HostPort(), "Test, 127.0.0.1"};
    settings.serverCount = 1;
    settings.cddbServer = 0;
    cddbState.masterSite = server_->HostPort();
    httpState.waitMilliseconds = 5000;
    InsertDisc(3);
    host_.currentTrack = 1;
    LoadCdInfoFile(nullptr);
    defaultFile_ = root_ / (std::string("Unknown CD ") + kDiscId + ".txt");
    ASSERT_EQ(CurrentInfoFile(), defaultFile_.string());
  }
  void TearDown() override {
    server_.reset();
    httpState.waitMilliseconds = kDefaultHttpWaitMs;
    cddbState.masterSite = kDefaultCddbMasterSite;
    CdInfoTest::TearDown();
  }

  void Answer(const std::string& command, ServerReply reply) {
    replies_.Set(command, std::move(reply));
  }
  void AnswerQuery(const std::string& body) { Answer("cddb+query", {HttpAnswer(body)}); }
  void AnswerRead(const std::string& category, const std::string& body) {
    Answer("cddb+read+" + category, {HttpAnswer(body)});
  }
  ServerReply Route(const std::string& request) {
    return replies_.Take(
        request,
        [&request](const std::string& command) {
          return request.find("cmd=" + command) != std::string::npos;
        },
        ServerReply{HttpAnswer("500 Unknown command\r\n")});
  }
  void SetGate(bool open) { replies_.SetGate(open); }
  // The query answers one exact match, the read the entry for it.
  void AnswerExact(const std::string& category, const std::string& dtitle,
                   const std::string& titles = kTitles) {
    AnswerQuery("200 " + category + " " + kDiscId + " " + dtitle + "\r\n");
    AnswerRead(category, Entry(category, dtitle, titles));
  }
  void WriteUserLyrics() {
    ASSERT_EQ(ReplaceLyricsSection(nullptr, 1,
                                   "****Lyrics for Track 2, Song 2:\nmy own words\nsecond line"),
              1);
  }

  std::unique_ptr<TestHttpServer> server_;
  fs::path defaultFile_;
  CannedReplies replies_;
};

}  // namespace

TEST_F(CddbLookupTest, ExactMatchRewritesTheFileAndKeepsTheUsersLyrics) {
  WriteUserLyrics();
  AnswerExact("rock", "Test Band / First Album");
  const std::string entry = Entry("rock", "Test Band / First Album");

  ASSERT_EQ(CddbLookup(nullptr), 0);
  EXPECT_EQ(server_->Requests(),
            (std::vector<std::string>{QueryRequest(), ReadRequest("rock", kDiscId)}));

  const fs::path file = root_ / (std::string("First Album ") + kDiscId + ".txt");
  EXPECT_EQ(CurrentInfoFile(), file.string());
  EXPECT_EQ(FolderFiles(), (std::vector<std::string>{file.filename(), "temp.txt"}));
  EXPECT_EQ(ReadAll(root_ / "temp.txt"), WithoutCr(HttpAnswer(entry)));
  EXPECT_EQ(cdTitles.albumTitle, "First Album");
  EXPECT_EQ(cdTitles.albumArtist, "Test Band ");
  EXPECT_EQ(cdTitles.tracks[1].title, "Middle Song");
  EXPECT_EQ(Lyrics(ReadAll(CurrentInfoFile()), 1), "my own words\nsecond line\n\n");
  const std::string text = ReadAll(file);
  EXPECT_NE(text.find("Track 3: Closing Time\n"), std::string::npos);
  EXPECT_NE(text.find("****Lyrics for Track 2, Middle Song:\nmy own words\n"), std::string::npos);

  // Loading the disc again finds the looked-up file.
  LoadCdInfoFile(nullptr);
  EXPECT_EQ(CurrentInfoFile(), file.string());
  EXPECT_EQ(cdTitles.tracks[2].title, "Closing Time");

  EXPECT_TRUE(host_.Called("known cd"));
  EXPECT_TRUE(host_.Called("blink:Connecting to CDDB - please wait"));
  EXPECT_TRUE(host_.Called("blink off"));
  EXPECT_EQ(host_.Calls().back(), "titles");
  EXPECT_TRUE(host_.Called("status:2: Middle Song"));
  EXPECT_TRUE(host_.dialogs.empty());
  EXPECT_EQ(cddbState.lookupBusy.load(), 0);
}

TEST_F(CddbLookupTest, SingleListedMatchGoesStraightToTheRead) {
  AnswerQuery(std::string("210 Found exact matches, list follows (until terminating `.')\r\n"
                          "jazz ") +
              kDiscId + " Quartet / Blue\r\n.\r\n");
  AnswerRead("jazz", Entry("jazz", "Quartet / Blue"));
  ASSERT_EQ(CddbLookup(nullptr), 0);
  EXPECT_TRUE(host_.dialogs.empty());
  ASSERT_EQ(server_->Requests().size(), 2u);
  EXPECT_EQ(server_->Requests()[1], ReadRequest("jazz", kDiscId));
  EXPECT_EQ(cdTitles.albumTitle, "Blue");
}

TEST_F(CddbLookupTest, ChoosingAmongInexactMatches) {
  AnswerQuery(kInexact);
  AnswerRead("misc", Entry("misc", "Band B / Album B"));
  host_.choice = 1;
  ASSERT_EQ(CddbLookup(nullptr), 0);
  ASSERT_EQ(host_.dialogs.size(), 1u);
  EXPECT_EQ(host_.dialogs[0], (std::vector<std::string>{"Band A / Album A", "Band B / Album B",
                                                        "Band C / Album C", "None of the above"}));
  ASSERT_EQ(server_->Requests().size(), 2u);
  EXPECT_EQ(server_->Requests()[1], ReadRequest("misc", "01821c04"));
  EXPECT_EQ(cdTitles.albumTitle, "Album B");
  EXPECT_TRUE(fs::exists(root_ / (std::string("Album B ") + kDiscId + ".txt")));
}

TEST_F(CddbLookupTest, AWorkersLookupShowsAndAsksOnTheWindowThread) {
  AnswerQuery(kInexact);
  AnswerRead("misc", Entry("misc", "Band B / Album B"));
  host_.choice = 1;
  TestWindowLoop loop;
  host_.offWindowThread = 0;  // the fixture's set-up ran before there was a window thread
  HandleCDBB(nullptr);
  // The worker waits for the dialog's answer until the window loop runs it.
  ASSERT_TRUE(loop.PumpUntil([] { return WaitForCddbWorkers(0); }));
  loop.RunPosted();
  EXPECT_EQ(host_.offWindowThread.load(), 0);
  EXPECT_EQ(host_.dialogs.size(), 1u);
  EXPECT_TRUE(host_.Called("known cd"));
  EXPECT_EQ(cdTitles.albumTitle, "Album B");
}

TEST_F(CddbLookupTest, NoneOfTheAboveChangesNothing) {
  WriteUserLyrics();
  const std::string before = ReadAll(defaultFile_);
  AnswerQuery(kInexact);
  host_.choice = 3;
  TraceCapture trace;
  EXPECT_EQ(CddbLookup(nullptr), -1);
  EXPECT_EQ(trace.Text(), "not found in cddb\n");
  EXPECT_EQ(server_->Requests().size(), 1u);
  EXPECT_EQ(ReadAll(defaultFile_), before);
  EXPECT_EQ(CurrentInfoFile(), defaultFile_.string());
  EXPECT_EQ(cdTitles.albumTitle, "Unknown CD");
  EXPECT_TRUE(host_.Called("status:2: Song 2"));
  EXPECT_TRUE(host_.Called("title line"));
  EXPECT_TRUE(host_.Called("blink off"));
  EXPECT_FALSE(host_.Called("known cd"));
  EXPECT_EQ(cddbState.lookupBusy.load(), 0);
}

TEST_F(CddbLookupTest, ProtocolFailuresLeaveTheDefaultFile) {
  const std::string before = ReadAll(defaultFile_);
  struct Case {
    ServerReply query;
    const char* trace;
  } cases[] = {
      {{HttpAnswer(std::string("202 No match for disc ID ") + kDiscId + ".\r\n")},
       "cddb query not found or error\n"},
      {{HttpAnswer(std::string("200 rock ") + kDiscId + " Band / Album\r\n", false)},
       "no Content in cddb\n"},
      {{HttpAnswer("403 Server is busy\r\n")}, "cddb query not found or error\n"},
  };
  for (const Case& c : cases) {
    Answer("cddb+query", c.query);
    TraceCapture trace;
    EXPECT_EQ(CddbLookup(nullptr), -1);
    EXPECT_EQ(trace.Text(), std::string(c.trace) + "not found in cddb\n");
    EXPECT_EQ(ReadAll(defaultFile_), before);
    EXPECT_EQ(FolderFiles(), (std::vector<std::string>{defaultFile_.filename()}));
  }
  // A read that answers with an error.
  AnswerQuery(std::string("200 rock ") + kDiscId + " Band / Album\r\n");
  AnswerRead("rock", "401 rock 01821c03 No such CD entry in database.\r\n");
  TraceCapture trace;
  EXPECT_EQ(CddbLookup(nullptr), -1);
  EXPECT_EQ(trace.Text(), "Error in database response\nnot found in cddb\n");
  EXPECT_EQ(ReadAll(defaultFile_), before);
  EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(CddbLookupTest, AnAnswerCutAtTheBufferIsNotUsed) {
  std::string notes;
  for (int i = 0; notes.size() < 70000; ++i)
    notes += "EXTD=liner notes, line " + std::to_string(i) + "\r\n";
  const std::string query = std::string("200 rock ") + kDiscId + " Test Band / First Album\r\n";
  AnswerQuery(query);
  AnswerRead("rock", Entry("rock", "Test Band / First Album", kTitles, notes));
  const std::string before = ReadAll(defaultFile_);
  TraceCapture trace;
  EXPECT_EQ(CddbLookup(nullptr), -1);
  EXPECT_NE(trace.Text().find("cddb read answer is longer than 50000 bytes and was cut off; not "
                              "used\n"),
            std::string::npos)
      << trace.Text();
  EXPECT_EQ(ReadAll(defaultFile_), before);
  EXPECT_FALSE(fs::exists(root_ / (std::string("First Album ") + kDiscId + ".txt")));
}

TEST_F(CddbLookupTest, AServerThatDripsIsCutOffAtTheDeadline) {
  // A line every 20 ms never lets the 5-second wait run out; the deadline of the whole
  // exchange ends it.
  settings.internetDeadline = 1;
  Answer("cddb+query", {std::string("HTTP/1.0 200 OK\r\n"), ServerReply::End::kDrip});
  TraceCapture trace;
  EXPECT_EQ(CddbLookup(nullptr), -1);
  EXPECT_EQ(trace.Text(),
            "OpenSendReceiveClose: no whole answer within 1 s\nerror in OpenSendReceiveClose "
            "=3\ncddb query error\nnot found in cddb\n");
}

TEST_F(CddbLookupTest, EachLookupReadsItsOwnAnswer) {
  // Another lookup in the same folder finishes between this one's read request and its
  // conversion: it leaves its answer as temp.txt.
  AnswerExact("rock", "Test Band / First Album");
  const DiscLayout layout = CurrentDiscLayout();
  char discId[kDiscIdChars + 1];
  ASSERT_EQ(CddbQueryAndRead(layout.trackCount, layout.position, layout.length, discId,
                             settings.databasePath, nullptr),
            0);
  WriteAll(root_ / "temp.txt",
           Entry("misc", "Other Band / Other Album",
                 "TTITLE0=Not Ours\r\nTTITLE1=Not Ours\r\nTTITLE2=Not Ours\r\n"));
  ASSERT_EQ(ConvertCddbToDatabase(nullptr), 0);
  EXPECT_EQ(cdTitles.albumTitle, "First Album");
  EXPECT_EQ(cdTitles.tracks[1].title, "Middle Song");
  EXPECT_TRUE(fs::exists(root_ / (std::string("First Album ") + kDiscId + ".txt")));
  EXPECT_NE(ReadAll(root_ / "temp.txt").find("DTITLE=Test Band / First Album"), std::string::npos)
      << "the answer stays as temp.txt";
  EXPECT_EQ(FolderFiles(),
            (std::vector<std::string>{std::string("First Album ") + kDiscId + ".txt", "temp.txt"}));
}

TEST_F(CddbLookupTest, AFileThatCannotBeReadIsNeverReplaced) {
  // A hand-made default file too large to read, and a lookup whose album is "Unknown CD": the
  // new file would have its name.
  const std::string huge =
      ReadAll(defaultFile_) + std::string(kInfoFileMaxBytes, 'x') + "\nmy lyrics\n";
  WriteAll(defaultFile_, huge);
  AnswerExact("rock", "Test Band / Unknown CD");
  TraceCapture trace;
  EXPECT_EQ(CddbLookup(nullptr), -1);
  EXPECT_TRUE(ReadAll(defaultFile_) == huge);
  EXPECT_NE(trace.Text().find("cannot be read; it is left as it is"), std::string::npos);
}

TEST_F(CddbLookupTest, SilentServerTimesOut) {
  httpState.waitMilliseconds = 300;
  Answer("cddb+query", {std::string(), ServerReply::End::kSilent});
  const std::string before = ReadAll(defaultFile_);
  TraceCapture trace;
  EXPECT_EQ(CddbLookup(nullptr), -1);
  EXPECT_EQ(trace.Text(),
            "error in OpenSendReceiveClose =3\ncddb query error\nnot found in cddb\n");
  EXPECT_EQ(ReadAll(defaultFile_), before);
  EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(CddbLookupTest, ServerClosingMidAnswerChangesNothing) {
  WriteUserLyrics();
  const std::string before = ReadAll(defaultFile_);
  AnswerExact("rock", "Test Band / First Album");
  const std::string entry = HttpAnswer(Entry("rock", "Test Band / First Album"));
  Answer("cddb+read+rock", {entry.substr(0, entry.find("TTITLE1=Mid") + 11)});
  TraceCapture trace;
  EXPECT_EQ(CddbLookup(nullptr), -1);
  EXPECT_NE(trace.Text().find("cddb read answer ends before its last line; ignored\n"),
            std::string::npos);
  EXPECT_EQ(ReadAll(defaultFile_), before);
  EXPECT_EQ(cdTitles.tracks[1].title, "Song 2");
  EXPECT_FALSE(fs::exists(root_ / "temp.txt"));
}

TEST_F(CddbLookupTest, SameNameKeepsTheLyricsInPlace) {
  WriteUserLyrics();
  AnswerExact("misc", "Unknown CD");
  ASSERT_EQ(CddbLookup(nullptr), 0);
  EXPECT_EQ(CurrentInfoFile(), defaultFile_.string());
  EXPECT_EQ(FolderFiles(), (std::vector<std::string>{defaultFile_.filename(), "temp.txt"}));
  EXPECT_EQ(cdTitles.tracks[0].title, "Opening");
  EXPECT_EQ(Lyrics(ReadAll(CurrentInfoFile()), 1), "my own words\nsecond line\n\n");
}

TEST_F(CddbLookupTest, Latin1TitlesAndHostileNames) {
  const fs::path outside = root_.parent_path();
  const std::string dtitle = "S\xF6ren / ../../Caf\xE9 Nights/..";
  AnswerExact("misc", dtitle, "TTITLE0=Ol\xE9\r\nTTITLE1=Second\r\nTTITLE2=Third\r\n");
  ASSERT_EQ(CddbLookup(nullptr), 0);
  EXPECT_EQ(cdTitles.albumArtist, "S\xC3\xB6ren ");
  EXPECT_EQ(cdTitles.albumTitle, "../../Caf\xC3\xA9 Nights/..");
  EXPECT_EQ(cdTitles.tracks[0].title, "Ol\xC3\xA9");
  const fs::path file = root_ / (std::string("....Caf\xC3\xA9 Nights.. ") + kDiscId + ".txt");
  EXPECT_EQ(CurrentInfoFile(), file.string());
  EXPECT_TRUE(fs::exists(file));
  EXPECT_EQ(FolderFiles().size(), 2u);
  for (const auto& entry : fs::directory_iterator(outside))
    EXPECT_EQ(entry.path().filename().string().find(kDiscId), std::string::npos) << entry.path();
  EXPECT_NE(ReadAll(file).find("CD Title: ../../Caf\xC3\xA9 Nights/..\n"), std::string::npos);
}

TEST_F(CddbLookupTest, KnownDiscOnlyRefreshesTheDisplay) {
  AnswerExact("rock", "Test Band / First Album");
  ASSERT_EQ(CddbLookup(nullptr), 0);
  host_.lyrics.clear();
  ASSERT_EQ(CddbLookup(nullptr), 0);
  EXPECT_EQ(server_->Requests().size(), 2u);
  EXPECT_EQ(host_.lyrics.size(), 1u);
  EXPECT_EQ(host_.Calls().back(), "status:2: Middle Song");
}

TEST_F(CddbLookupTest, TrackArtistsGoToTheArtistLine) {
  AnswerExact("misc", "Various / Hits",
              "TTITLE0=Ann / One\r\nTTITLE1=Bob Who Has A Rather Long Name / Two\r\n"
              "TTITLE2=Cy / Three\r\n");
  ASSERT_EQ(CddbLookup(nullptr), 0);
  EXPECT_TRUE(host_.Called("artist:Bob Who Has A Rather Long..."));
  EXPECT_NE(ReadAll(CurrentInfoFile()).find("Track Artist 3: Cy\n"), std::string::npos);
}

TEST_F(CddbLookupTest, NoAudioDisc) {
  host_.audioDisc = false;
  EXPECT_EQ(CddbLookup(nullptr), -1);
  EXPECT_EQ(boxes_.Boxes(), (std::vector<std::string>{"Ooops|No Audio CD in Drive"}));
  EXPECT_NE(boxes_.lastFlags & kMbSystemModal, 0u);
  EXPECT_TRUE(server_->Requests().empty());
}

TEST_F(CddbLookupTest, StaleServerListIsRefreshedFirst) {
  settings.firstCddb = 1;
  settings.servers[0] = {"unused.example", "Old"};
  Answer("sites",
         {HttpAnswer("210 OK, site information follows (until terminating `.')\r\n" +
                     server_->HostPort() +
                     " http 80 /~cddb/cddb.cgi N000.00 W000.00 Local test\r\n"
                     "other.example http 80 /~cddb/cddb.cgi N000.00 W000.00 Elsewhere\r\n.\r\n")});
  AnswerExact("rock", "Test Band / First Album");
  TraceCapture trace;
  ASSERT_EQ(CddbLookup(nullptr), 0);
  EXPECT_EQ(trace.Text(), "sites updated\n");
  EXPECT_EQ(settings.firstCddb, 0);
  EXPECT_EQ(settings.serverCount, 2);
  EXPECT_EQ(settings.servers[1].address, "other.example");
  EXPECT_EQ(settings.servers[1].location, "Elsewhere");
  ASSERT_EQ(server_->Requests().size(), 3u);
  EXPECT_EQ(server_->Requests()[0],
            "GET /~cddb/cddb.cgi?cmd=sites&hello=singer@example.org+example.org+SornKaraoke+0.02"
            "&proto=4 HTTP/1.0\r\n\r\n");
  EXPECT_EQ(server_->Requests()[1], QueryRequest());
}

TEST_F(CddbLookupTest, SiteListWithoutHttpServersKeepsTheOldList) {
  TraceCapture trace;
  for (const char* body :
       {"210 OK\r\ncddb.example cddbp 888 - N0 W0 Only cddbp\r\n.\r\n", "500 Internal error\r\n"}) {
    Answer("sites", {HttpAnswer(body)});
    EXPECT_EQ(UpdateCddbSites(), -1);
    EXPECT_EQ(settings.serverCount, 1);
    EXPECT_EQ(settings.servers[0].address, server_->HostPort());
  }
}

TEST_F(CddbLookupTest, WorkerThreadsRunOneAtATime) {
  AnswerExact("rock", "Test Band / First Album");
  SetGate(false);
  TraceCapture trace;
  HandleCDBB(nullptr);
  HandleCDBB(nullptr);  // a second lookup while the first one waits for the server
  GetCDDBsites(nullptr);
  EXPECT_FALSE(WaitForCddbWorkers(50));
  SetGate(true);
  ASSERT_TRUE(WaitForCddbWorkers(10000));
  EXPECT_NE(trace.Text().find("HandleCDBB: the Internet connection is busy; ignored\n"),
            std::string::npos);
  EXPECT_NE(trace.Text().find("GetCDDBsites: the Internet connection is busy; ignored\n"),
            std::string::npos);
  EXPECT_EQ(server_->Requests().size(), 2u);
  EXPECT_TRUE(fs::exists(root_ / (std::string("First Album ") + kDiscId + ".txt")));

  // The server list update on its own thread.
  Answer("sites",
         {HttpAnswer("210 OK\r\nlisted.example http 80 /~cddb/cddb.cgi N0 W0 Listed\r\n.\r\n")});
  GetCDDBsites(nullptr);
  ASSERT_TRUE(WaitForCddbWorkers(10000));
  EXPECT_EQ(settings.servers[0].address, "listed.example");
  EXPECT_EQ(settings.serverCount, 1);
}

TEST_F(CddbLookupTest, RefusedHelloSaysWhatItMeansAndWhatToDo) {
  settings.cddbClientName = "MyRegisteredRipper";
  Answer("cddb+query", {HttpAnswer("500 Unknown developer email\r\n")});
  const std::string before = ReadAll(defaultFile_);
  TraceCapture trace;
  EXPECT_EQ(CddbLookup(nullptr), -1);
  EXPECT_EQ(trace.Text(), "cddb hello refused: 500 Unknown developer email\nnot found in cddb\n");
  ASSERT_EQ(boxes_.Boxes().size(), 1u);
  const std::string box = boxes_.Boxes()[0];
  EXPECT_EQ(box.rfind("CDDB Server|The CDDB server refused this program before the lookup "
                      "began. It answered:\n\"500 Unknown developer email\"\n",
                      0),
            0u)
      << box;
  for (const char* advice : {"(the program says hello as \"MyRegisteredRipper\")",
                             "\"CDDB Client Name\"", "\"Title Service\" to auto or musicbrainz"})
    EXPECT_NE(box.find(advice), std::string::npos) << advice;
  // The client name the user set is the one the server heard.
  ASSERT_EQ(server_->Requests().size(), 1u);
  EXPECT_NE(server_->Requests()[0].find("&hello=singer@example.org+example.org+MyRegisteredRipper+"
                                        "1.0&proto=4 HTTP/1.0"),
            std::string::npos);
  EXPECT_EQ(ReadAll(defaultFile_), before);
}
