// Lyrics fetches end to end: the fetch against a lyrics site and an LRCLIB server on
// 127.0.0.1, into the disc's CD information file.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "cdinfo/cddb.h"
#include "cdinfo/http_client.h"
#include "cdinfo/lookup_worker.h"
#include "cdinfo/lyrics_fetch.h"
#include "diagnostics/program_info.h"
#include "tests/cdinfo/cdinfo_fixture.h"
#include "tests/support/canned_replies.h"
#include "tests/support/test_http_server.h"
#include "tests/support/trace_capture.h"
#include "tests/support/window_loop.h"

namespace {

const std::string kLine70 =
    "Twelve words go by and then one more and then some more to fill it up!";

std::string SitePage(const std::string& lyrics) {
  return "<HTML><HEAD>STATUS=GET_OK</HEAD><B><I>Song</B></I><P>\n" + lyrics + "\n<P></HTML>";
}

std::string SiteEntry(int id, const std::string& title) {
  return "<A HREF=\"/query/normal?exact=on&artist=Ann&song=\">Ann</A> "
         "<A HREF=\"/query/normal?exact=on&artist=Ann&album=Rainy+Days&song=\">Rainy Days</A> "
         "<A HREF=\"/query/get?s=" +
         std::to_string(id) + "\">" + title + "</A>\n";
}

std::string Json(int status, const std::string& body, const std::string& headers = "") {
  const char* reason = status == 200 ? "OK" : status == 404 ? "Not Found" : "Error";
  return "HTTP/1.1 " + std::to_string(status) + " " + reason +
         "\r\nContent-Type: application/json\r\n" + headers +
         "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::string Record(int id, const std::string& title, const std::string& plain,
                   const std::string& synced = "") {
  auto quoted = [](const std::string& text) {
    std::string out = "\"";
    for (char c : text) out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out + "\"";
  };
  return "{\"id\":" + std::to_string(id) + ",\"trackName\":" + quoted(title) +
         ",\"artistName\":\"Ann\",\"albumName\":\"Rainy Days\",\"duration\":180,"
         "\"instrumental\":false,\"plainLyrics\":" +
         (plain.empty() ? "null" : quoted(plain)) +
         ",\"syncedLyrics\":" + (synced.empty() ? "null" : quoted(synced)) + "}";
}

const std::string kNotFoundJson = Json(404, R"({"code":404,"name":"TrackNotFound"})");

class LyricsFetchTest : public CdInfoTest {
 protected:
  void SetUp() override {
    CdInfoTest::SetUp();
    httpState.waitMilliseconds = 5000;
    InsertDisc(3);
    LoadCdInfoFile(nullptr);
    {
      std::lock_guard<std::mutex> guard(cdInfo.lock);
      cdTitles.albumTitle = "Greatest Hits";
      cdTitles.albumArtist = "The Blue Band";
      cdTitles.tracks[0].title = "Rain (Live)";
      cdTitles.tracks[1].title = "Sun";
      cdTitles.tracks[2].title = "Snow";
    }
    ASSERT_EQ(WriteCdInfoFile(CurrentInfoFile()), 1);
    file_ = CurrentInfoFile();
  }
  void TearDown() override {
    ASSERT_TRUE(WaitForLookupWorkers(10000));
    server_.reset();
    httpState.waitMilliseconds = kDefaultHttpWaitMs;
    lyricsState.lyricsTrackSelector = -1;
    lyricsState.cancel = 0;
    CdInfoTest::TearDown();
  }

  // The lyrics site: one-line requests answered by their exact line, "No Songs Found" else.
  void StartSite() {
    server_ = std::make_unique<TestHttpServer>(
        [this](const std::string& request) {
          return Reply(request.substr(0, request.find("\r\n")), "<HTML>No Songs Found</HTML>");
        },
        "\r\n");
    settings.lyricsService = "site";
    settings.lyricsHost = server_->HostPort();
  }
  // LRCLIB: requests answered by their target, 404 else.
  void StartLrclib() {
    server_ = std::make_unique<TestHttpServer>([this](const std::string& request) {
      const size_t start = request.find(' ') + 1;
      return Reply(request.substr(start, request.find(' ', start) - start), kNotFoundJson);
    });
    settings.lyricsService = "lrclib";
    settings.lyricsUrl = "http://" + server_->HostPort() + "/";
  }
  std::string Site(const std::string& path) { return "GET http://" + server_->HostPort() + path; }

  void Answer(const std::string& key, ServerReply reply) { replies_.Set(key, std::move(reply)); }
  void SetGate(bool open) { replies_.SetGate(open); }
  ServerReply Reply(const std::string& key, const std::string& otherwise) {
    return replies_.Take(
        key, [&key](const std::string& canned) { return canned == key; }, ServerReply{otherwise});
  }
  std::vector<std::string> Keys() { return replies_.Seen(); }

  int Fetch(int selector, LyricsReport* report) {
    lyricsState.lyricsTrackSelector = selector;
    return FetchLyrics(nullptr, report);
  }
  // The lyrics of a section without the blank lines and blanks that end it.
  std::string Section(int track) {
    std::string lyrics = Lyrics(ReadAll(file_), track);
    lyrics.erase(lyrics.find_last_not_of(" \n") + 1);
    return lyrics;
  }
  void WriteOwnLyrics(int track) {
    ASSERT_EQ(ReplaceLyricsSection(nullptr, track, LyricsHeading(track, "x") + "\nmy own words"),
              1);
  }

  std::unique_ptr<TestHttpServer> server_;
  std::string file_;
  CannedReplies replies_;
};

const char kNotFoundNote[] = "Lyrics for this song were not found on the Internet";

}  // namespace

TEST_F(LyricsFetchTest, SiteFallbacksSpellingsAndCleanUp) {
  StartSite();
  // "The Blue Band" is not found; without the article it is, spelled the site's way.
  Answer(Site("/query/normal?exact=on&artist=Blue+Band&album=Greatest+Hits&song="),
         {"<A HREF=\"/query/normal?exact=on&artist=Blue+Band&song=\">x</A>"
          "<A HREF=\"/query/normal?exact=on&artist=Blue+Band+UK&album=Best+Of&song=\">y</A>"});
  // The bracketed title is found without the bracket and the blank before it.
  Answer(Site("/query/normal?exact=off&artist=Blue+Band+UK&album=Best+Of&song=Rain"),
         {"<A HREF=\"/query/get?s=501\">Rain</A>"});
  Answer(Site("//query/get?s=501"), {SitePage("a &lt;b&gt; c<BR>\n" + kLine70)});
  // "Sun" is found, but its page has no lyrics.
  Answer(Site("/query/normal?exact=off&artist=Blue+Band+UK&album=Best+Of&song=Sun"),
         {"<A HREF=\"/query/get?s=502\">Sun</A>"});
  Answer(Site("//query/get?s=502"), {"<HTML>STATUS=GET_FAILED</HTML>"});

  TraceCapture trace;
  LyricsReport report;
  ASSERT_EQ(Fetch(-1, &report), 0) << report.failure;
  EXPECT_EQ(Section(0),
            "a <b> c\nTwelve words go by and then one more and then some\n"
            "      more to fill it up!");
  EXPECT_EQ(Section(1), kNotFoundNote);
  EXPECT_EQ(Section(2), kNotFoundNote);  // nothing anywhere: the run went on to the end
  EXPECT_EQ(trace.Text(), "songID found okay, but lyrics did not follow\n");

  const std::string snow = "/query/normal?exact=off&artist=Blue+Band+UK&album=Best+Of&song=Snow";
  EXPECT_EQ(
      Keys(),
      (std::vector<std::string>{
          Site("/query/normal?exact=on&artist=The+Blue+Band&album=Greatest+Hits&song="),
          Site("/query/normal?exact=on&artist=Blue+Band&album=Greatest+Hits&song="),
          Site("/query/normal?exact=off&artist=Blue+Band+UK&album=Best+Of&song=Rain+"
               "(Live)"),
          Site("/query/normal?exact=off&artist=Blue+Band+UK&album=Best+Of&song=Rain"),
          Site("//query/get?s=501"),
          Site("/query/normal?exact=off&artist=Blue+Band+UK&album=Best+Of&song=Sun"),
          Site("//query/get?s=502"), Site(snow), Site("/query/normal?artist=&album=&song=Snow")}));
  ASSERT_EQ(report.tracks.size(), 3u);
  EXPECT_EQ(report.tracks[0].result, TrackLyrics::kFound);
  EXPECT_FALSE(report.tracks[0].synced);
  EXPECT_TRUE(host_.Called("lyrics:Connecting to " + server_->HostPort() + " - please wait"));
  EXPECT_TRUE(host_.Called("blink:Getting Lyrics 1: Rain (Live)"));
  EXPECT_EQ(host_.Calls().back(), "lyrics:Lyrics found for 1 of 3 tracks");
  EXPECT_TRUE(host_.Called("blink off"));
}

TEST_F(LyricsFetchTest, SongChoiceFromUpToTenPagesAndTwoHundredFiftyEntries) {
  StartSite();
  const std::string search = "/query/normal?artist=&album=&song=Sun";
  // Twelve pages of 20: pages 2 to 10 are read, 200 entries.
  auto page = [](int number, int entries) {
    std::string text = "<HTML>";
    for (int i = 0; i < entries; ++i)
      text +=
          SiteEntry(number * 100 + i, "Sun " + std::to_string(number) + "." + std::to_string(i));
    return text + "<A HREF=\"/query/normal?song=Sun&page=12\">12</A></HTML>";
  };
  Answer(Site(search), {page(1, 20)});
  for (int n = 2; n <= 12; ++n)
    Answer(Site("/query/normal?song=Sun&page=" + std::to_string(n)), {page(n, 20)});
  Answer(Site("//query/get?s=305"), {SitePage("sunny words")});
  host_.songChoice = 45;  // page 3, entry 5

  LyricsReport report;
  ASSERT_EQ(Fetch(1, &report), 0) << report.failure;
  ASSERT_EQ(host_.songDialogs.size(), 1u);
  const std::vector<std::string>& lines = host_.songDialogs[0];
  ASSERT_EQ(lines.size(), 201u);
  EXPECT_EQ(lines[0], "Sun 1.0  /  Rainy Days  /  Ann");
  EXPECT_EQ(lines.back(), "None of the above");
  EXPECT_EQ(Section(1), "sunny words");
  const std::vector<std::string> keys = Keys();
  EXPECT_EQ(keys.back(), Site("//query/get?s=305"));
  EXPECT_EQ(std::count(keys.begin(), keys.end(), Site("/query/normal?song=Sun&page=10")), 1);
  EXPECT_EQ(std::count(keys.begin(), keys.end(), Site("/query/normal?song=Sun&page=11")), 0);

  // Thirty entries a page fill the list's 250 places after nine pages. "None of the above"
  // leaves the track not found, and the lyrics the section holds stay.
  for (int n = 1; n <= 12; ++n)
    Answer(Site(n == 1 ? search : "/query/normal?song=Sun&page=" + std::to_string(n)),
           {page(n, 30)});
  host_.songChoice = 250;
  const size_t before = Keys().size();
  ASSERT_EQ(Fetch(1, &report), 0);
  ASSERT_EQ(host_.songDialogs.size(), 2u);
  EXPECT_EQ(host_.songDialogs[1].size(), 251u);
  EXPECT_EQ(host_.songDialogs[1][249], "Sun 9.9  /  Rainy Days  /  Ann");
  // The album query and its respelling, the track query, the search and pages 2 to 9.
  EXPECT_EQ(Keys().size() - before, 2u + 1u + 1u + 8u);
  EXPECT_EQ(report.tracks.at(0).result, TrackLyrics::kNotFound);
  EXPECT_EQ(Section(1), "sunny words");
}

TEST_F(LyricsFetchTest, LrclibSyncedLyricsRespellingsAndChoice) {
  StartLrclib();
  const std::string synced = "[00:17.12] Rain on the roof\n[00:20.50] \n[00:21.00] Rain again";
  Answer("/api/get?artist_name=Blue%20Band&track_name=Rain&album_name=Greatest%20Hits&duration=180",
         {Json(200, Record(11, "Rain", "Rain on the roof", synced))});
  // The search's records carry their lyrics: the one chosen needs no further request.
  Answer("/api/search?track_name=Sun", {Json(200, "[" + Record(21, "Sun", "x") + "," +
                                                      Record(22, "Sun (Remix)", kLine70) + "]")});
  Answer("/api/search?track_name=Snow", {Json(200, "[]")});
  host_.songChoice = 1;

  LyricsReport report;
  ASSERT_EQ(Fetch(-1, &report), 0) << report.failure;
  EXPECT_EQ(report.service, "LRCLIB");
  // Time tags are kept as they are.
  EXPECT_EQ(Section(0), synced);
  EXPECT_TRUE(report.tracks[0].synced);
  EXPECT_EQ(host_.songDialogs.at(0),
            (std::vector<std::string>{"Sun  /  Rainy Days  /  Ann",
                                      "Sun (Remix)  /  Rainy Days  /  Ann", "None of the above"}));
  EXPECT_EQ(Section(1),
            "Twelve words go by and then one more and then some\n      more to fill it up!");
  EXPECT_EQ(Section(2), kNotFoundNote);
  const std::vector<std::string> keys = Keys();
  ASSERT_EQ(keys.size(), 9u);
  EXPECT_EQ(keys[0],
            "/api/get?artist_name=The%20Blue%20Band&track_name=Rain%20%28Live%29&album_name="
            "Greatest%20Hits&duration=180");
  EXPECT_EQ(keys[1],
            "/api/get?artist_name=The%20Blue%20Band&track_name=Rain&album_name=Greatest%20Hits"
            "&duration=180");
  EXPECT_EQ(keys[5], "/api/search?track_name=Sun");
  const std::string request = server_->Requests().at(0);
  EXPECT_NE(request.find("User-Agent: " + ProgramUserAgent() + "\r\n"), std::string::npos)
      << request;
  EXPECT_NE(ProgramUserAgent().find(ProgramHomePage()), std::string::npos);
}

TEST_F(LyricsFetchTest, WrittenLyricsSurviveAFetchForEveryTrack) {
  StartLrclib();
  WriteOwnLyrics(1);
  const std::string found = "Sun on the water";
  Answer(
      "/api/get?artist_name=The%20Blue%20Band&track_name=Sun&album_name=Greatest%20Hits"
      "&duration=180",
      {Json(200, Record(31, "Sun", found))});
  LyricsReport report;
  ASSERT_EQ(Fetch(-1, &report), 0);
  EXPECT_EQ(Section(1), "my own words");
  EXPECT_EQ(report.tracks.at(0).result, TrackLyrics::kKept);
  for (const std::string& key : Keys()) EXPECT_EQ(key.find("track_name=Sun"), std::string::npos);
  // Nothing is found for track 1 when asked for it alone: its words stay.
  WriteOwnLyrics(0);
  ASSERT_EQ(Fetch(0, &report), 0);
  EXPECT_EQ(Section(0), "my own words");
  EXPECT_EQ(report.tracks.at(0).result, TrackLyrics::kNotFound);
  // Asked for alone, what is found replaces them.
  ASSERT_EQ(Fetch(1, &report), 0);
  EXPECT_EQ(Section(1), found);
  // Every track holding lyrics: nothing to ask.
  ASSERT_EQ(ReplaceLyricsSection(nullptr, 2, LyricsHeading(2, "Snow") + "\nwhite"), 1);
  const size_t asked = Keys().size();
  ASSERT_EQ(Fetch(-1, &report), 0);
  EXPECT_EQ(Keys().size(), asked);
  EXPECT_EQ(host_.Calls().back(), "lyrics:Every track already has lyrics");
}

TEST_F(LyricsFetchTest, FailuresEndTheRunWithAClearMessageAndLoseNothing) {
  struct Case {
    const char* name;
    bool site;
    ServerReply reply;
    const char* failure;
  } cases[] = {
      {"malformed JSON",
       false,
       {Json(200, "{\"id\":12,\"plainLyr")},
       "LRCLIB sent an answer that cannot be read: not JSON"},
      {"busy",
       false,
       {Json(503, "{}", "Retry-After: 30\r\n")},
       "LRCLIB answered 503; try again in 30 s"},
      {"silent", false, {"", ServerReply::End::kSilent}, "no answer from LRCLIB (timed out)"},
      {"silent site", true, {"", ServerReply::End::kSilent}, "no answer from 127.0.0.1:"},
  };
  WriteOwnLyrics(2);
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.site ? StartSite() : StartLrclib();
    httpState.waitMilliseconds = 300;
    const std::string before = ReadAll(file_);
    // The first track is answered; the failure comes with the second.
    Answer(c.site ? Site("/query/normal?exact=on&artist=The+Blue+Band&album=Greatest+Hits&song=")
                  : "/api/get?artist_name=The%20Blue%20Band&track_name=Rain%20%28Live%29"
                    "&album_name=Greatest%20Hits&duration=180",
           c.reply);
    TraceCapture trace;
    LyricsReport report;
    EXPECT_EQ(Fetch(-1, &report), -1);
    EXPECT_EQ(report.failure.rfind(c.failure, 0), 0u) << report.failure;
    EXPECT_EQ(ReadAll(file_), before);
    EXPECT_EQ(host_.Calls().back(), "lyrics:Lyrics search stopped: " + report.failure);
    EXPECT_NE(trace.Text().find("FetchLyrics: " + report.failure), std::string::npos);
    server_.reset();
    replies_.Clear();
  }
  EXPECT_TRUE(boxes_.Boxes().empty());

  // A disc whose titles were never looked up nor typed in is not searched for.
  LoadCdInfoFile(nullptr);
  ASSERT_EQ(WriteCdInfoFile(CurrentInfoFile()), 1);
  {
    std::lock_guard<std::mutex> guard(cdInfo.lock);
    for (int i = 0; i < 3; ++i) cdTitles.tracks[i].title = "Song " + std::to_string(i + 1);
  }
  StartLrclib();
  TraceCapture trace;
  LyricsReport report;
  EXPECT_EQ(Fetch(-1, &report), -1);
  EXPECT_EQ(report.failure, "the disc has no titles yet; get its CD information first");
  EXPECT_TRUE(Keys().empty());
}

TEST_F(LyricsFetchTest, RunsOnTheLookupWorkerNeverBesideALookup) {
  StartLrclib();
  Answer("/api/search?track_name=Snow", {Json(200, "[" + Record(41, "Snow", "white") + "]")});
  SetGate(false);
  TraceCapture trace;
  GetLyricsFromInternet(nullptr);
  HandleCDBB(nullptr);
  GetTrackLyricsFromInternet(nullptr, 2);
  EXPECT_FALSE(WaitForLookupWorkers(50));
  SetGate(true);
  ASSERT_TRUE(WaitForLookupWorkers(10000));
  EXPECT_NE(trace.Text().find("HandleCDBB: the Internet connection is busy; ignored\n"),
            std::string::npos);
  EXPECT_NE(trace.Text().find("FetchLyrics: the Internet connection is busy; ignored\n"),
            std::string::npos);
  EXPECT_EQ(Section(2), "white");

  // Chained after a title lookup on the lookup's own worker, the fetch runs right there.
  ASSERT_EQ(ReplaceLyricsSection(nullptr, 2, LyricsHeading(2, "Snow") + "\n"), 1);
  ASSERT_TRUE(StartLookupWorker("lookup", "", [] { FetchLyricsAfterTitleLookup(nullptr); }));
  ASSERT_TRUE(WaitForLookupWorkers(10000));
  EXPECT_EQ(Section(2), "white");
  EXPECT_EQ(trace.Text().find("lookup: the Internet"), std::string::npos);
}

TEST_F(LyricsFetchTest, AWorkersFetchShowsAndAsksOnTheWindowThread) {
  StartLrclib();
  Answer("/api/search?track_name=Snow", {Json(200, "[" + Record(41, "Snow", "white") + "]")});
  TestWindowLoop loop;
  host_.offWindowThread = 0;  // the fixture's set-up ran before there was a window thread
  GetTrackLyricsFromInternet(nullptr, 2);
  // The worker waits for the song choice until the window loop runs it.
  ASSERT_TRUE(loop.PumpUntil([] { return WaitForLookupWorkers(0); }));
  loop.RunPosted();
  EXPECT_EQ(host_.offWindowThread.load(), 0);
  EXPECT_EQ(host_.songDialogs.size(), 1u);
  EXPECT_TRUE(host_.Called("lyrics:Lyrics found for 1 of 1 track"));
  EXPECT_EQ(Section(2), "white");
}

TEST_F(LyricsFetchTest, CancelEndsTheRunAtItsExchange) {
  StartLrclib();
  const std::string before = ReadAll(file_);
  SetGate(false);
  GetLyricsFromInternet(nullptr);
  // Once the first request is at the server, the run is cancelled.
  for (int i = 0; i < 10000 && server_->Requests().empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(server_->Requests().size(), 1u);
  TraceCapture trace;
  CancelLyricsFetch();
  SetGate(true);
  ASSERT_TRUE(WaitForLookupWorkers(10000));
  EXPECT_EQ(host_.Calls().back(), "lyrics:Lyrics search stopped: cancelled");
  EXPECT_EQ(ReadAll(file_), before);
}
