// Title lookups through MusicBrainz end to end: the client against a MusicBrainz-shaped server
// (and a CDDB one for the fallback) on 127.0.0.1, from the default information file to the
// looked-up one.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <memory>

#include "cdinfo/cddb.h"
#include "cdinfo/http_client.h"
#include "cdinfo/musicbrainz.h"
#include "cdinfo/text_util.h"
#include "cdinfo/title_lookup.h"
#include "diagnostics/program_info.h"
#include "tests/cdinfo/cdinfo_fixture.h"
#include "tests/support/test_http_server.h"
#include "tests/support/trace_capture.h"

namespace {

using std::chrono::milliseconds;

// Three tracks of three minutes: CDDB id, and the table MusicBrainz is asked with.
const char kDiscId[] = "18021c03";
const char kToc[] = "1+3+40650+150+13650+27150";

class FakeClock : public RateClock {
 public:
  TimePoint Now() override { return now; }
  void SleepUntil(TimePoint when) override {
    if (when <= now) return;
    sleeps.push_back(std::chrono::duration_cast<milliseconds>(when - now));
    now = when;
  }
  TimePoint now = TimePoint(std::chrono::hours(1));
  std::vector<milliseconds> sleeps;
};

std::string Json(const std::string& status, const std::string& body,
                 const std::string& headers = "") {
  return "HTTP/1.1 " + status + "\r\nContent-Type: application/json\r\n" + headers +
         "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

ServerReply Reply(std::string bytes, ServerReply::End end = ServerReply::End::kClose) {
  ServerReply reply;
  reply.bytes = std::move(bytes);
  reply.end = end;
  return reply;
}

std::string Credit(const std::string& name) {
  return R"([{"name":")" + name + R"(","joinphrase":"","artist":{"id":"a1","name":")" + name +
         R"("}}])";
}

struct Track {
  std::string title;
  std::string credit;  // an artist-credit array
};

// A release whose one CD medium lists the disc id.
std::string Release(const std::string& title, const std::string& credit, const std::string& date,
                    const std::string& country, const std::string& discId,
                    const std::vector<Track>& tracks) {
  std::string list;
  for (size_t i = 0; i < tracks.size(); ++i) {
    if (i) list += ",";
    list += R"({"position":)" + std::to_string(i + 1) + R"(,"title":")" + tracks[i].title +
            R"(","artist-credit":)" + tracks[i].credit + R"(,"recording":{"title":"rec"}})";
  }
  return R"({"id":"r","title":")" + title + R"(","date":")" + date + R"(","country":")" + country +
         R"(","artist-credit":)" + credit +
         R"(,"media":[{"position":1,"format":"CD","discs":[{"id":")" + discId +
         R"("}],"tracks":[)" + list + "]}]}";
}

std::string Releases(const std::vector<std::string>& releases) {
  std::string list;
  for (const std::string& r : releases) list += (list.empty() ? "" : ",") + r;
  return R"({"offsets":[150,13650,27150],"releases":[)" + list + "]}";
}

class MusicBrainzLookupTest : public CdInfoTest {
 protected:
  void SetUp() override {
    CdInfoTest::SetUp();
    server_ = std::make_unique<TestHttpServer>([this](const std::string& r) { return Route(r); });
    url_ = "http://" + server_->HostPort();
    settings.servers[0] = {server_->HostPort(), "Test, 127.0.0.1"};
    settings.serverCount = 1;
    musicBrainzState.rateLimiter.SetClock(&clock_);
    musicBrainzState.totalTimeoutMs = 10000;
    httpState.waitMilliseconds = 5000;
    InsertDisc(3);
    host_.currentTrack = 1;
    LoadCdInfoFile(nullptr);
    defaultFile_ = root_ / (std::string("Unknown CD ") + kDiscId + ".txt");
    ASSERT_EQ(ReplaceLyricsSection(nullptr, 1, "****Lyrics for Track 2, Song 2:\nmy own words"), 1);
    discId_ = MusicBrainzDiscId(MusicBrainzTocOf(CurrentDiscLayout()));
  }
  void TearDown() override {
    server_.reset();
    musicBrainzState.rateLimiter.SetClock(nullptr);
    musicBrainzState.idleTimeoutMs = 40000;
    musicBrainzState.totalTimeoutMs = 120000;
    httpState.waitMilliseconds = kDefaultHttpWaitMs;
    CdInfoTest::TearDown();
  }

  // MusicBrainz answers in turn (the last one again and again); CDDB by command.
  void AnswerMusicBrainz(std::vector<ServerReply> replies) {
    std::lock_guard<std::mutex> guard(lock_);
    musicBrainz_.assign(replies.begin(), replies.end());
  }
  void AnswerMusicBrainz(const std::string& bytes) { AnswerMusicBrainz({ServerReply{bytes}}); }
  ServerReply Route(const std::string& request) {
    std::unique_lock<std::mutex> guard(lock_);
    gateChanged_.wait(guard, [this] { return gateOpen_; });
    if (request.rfind("GET /ws/2/discid/", 0) == 0 && !musicBrainz_.empty()) {
      ServerReply reply = musicBrainz_.front();
      if (musicBrainz_.size() > 1) musicBrainz_.pop_front();
      return reply;
    }
    if (request.find("cmd=cddb+query") != std::string::npos)
      return {HttpAnswer(std::string("200 rock ") + kDiscId + " Old Band / Old Album\r\n")};
    if (request.find("cmd=cddb+read+rock") != std::string::npos)
      return {HttpAnswer(std::string("210 rock ") + kDiscId +
                         "\r\nDTITLE=Old Band / Old Album\r\nTTITLE0=A\r\nTTITLE1=B\r\n"
                         "TTITLE2=C\r\n.\r\n")};
    return {Json("404 Not Found", R"({"error":"Not Found"})")};
  }
  void SetGate(bool open) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      gateOpen_ = open;
    }
    gateChanged_.notify_all();
  }
  size_t Requests(const std::string& prefix) {
    size_t n = 0;
    for (const std::string& r : server_->Requests()) n += r.rfind(prefix, 0) == 0;
    return n;
  }
  size_t MusicBrainzRequests() { return Requests("GET /ws/2/discid/"); }
  size_t CddbRequests() { return Requests("GET /~cddb/"); }
  // The default file with the user's lyrics is still there, unchanged, and nothing else is.
  void ExpectNothingLost(const std::string& before) {
    EXPECT_EQ(ReadAll(defaultFile_), before);
    EXPECT_EQ(CurrentInfoFile(), defaultFile_.string());
    EXPECT_EQ(FolderFiles(), (std::vector<std::string>{defaultFile_.filename()}));
    EXPECT_EQ(cdTitles.albumTitle, "Unknown CD");
    EXPECT_EQ(cddbState.lookupBusy.load(), 0);
  }

  std::unique_ptr<TestHttpServer> server_;
  std::string url_;
  std::string discId_;
  FakeClock clock_;
  fs::path defaultFile_;
  std::mutex lock_;
  std::condition_variable gateChanged_;
  bool gateOpen_ = true;
  std::deque<ServerReply> musicBrainz_;
};

}  // namespace

TEST_F(MusicBrainzLookupTest, OneReleaseIsWrittenInUtf8WithTrackArtists) {
  const std::string bjork = "Bj\xC3\xB6rk";
  const std::string album =
      R"([{"name":")" + bjork + R"(","joinphrase":" & "},{"name":"Friends","joinphrase":""}])";
  AnswerMusicBrainz(
      Json("200 OK", Releases({Release("Caf\xC3\xA9 Nights", album, "2001-05-04", "IS", discId_,
                                       {{"Opening", album},
                                        {"Middle Song", Credit("\xE6\x9D\xB1\xE4\xBA\xAC Trio")},
                                        {R"(\u0007Bell\tSong\u0000\n)", album}})})));

  ASSERT_EQ(LookUpTitles(nullptr, TitleService::kAuto, url_), kTitlesLookedUp);

  ASSERT_EQ(server_->Requests().size(), 1u);
  const std::string request = server_->Requests()[0];
  EXPECT_EQ(
      request.rfind("GET /ws/2/discid/" + discId_ +
                        "?inc=recordings+artist-credits&fmt=json&toc=" + kToc + " HTTP/1.1\r\n",
                    0),
      0u)
      << request;
  EXPECT_NE(request.find("\r\nUser-Agent: " + ProgramUserAgent() + "\r\n"), std::string::npos);
  EXPECT_EQ(ProgramUserAgent(),
            std::string("SornKaraoke/") + ProgramVersion() + " ( " + ProgramHomePage() + " )");

  const fs::path file = root_ / ("Caf\xC3\xA9 Nights " + std::string(kDiscId) + ".txt");
  EXPECT_EQ(CurrentInfoFile(), file.string());
  EXPECT_EQ(FolderFiles(), (std::vector<std::string>{file.filename()}));
  const std::string text = ReadAll(file);
  for (const std::string& line :
       {"CD Title: Caf\xC3\xA9 Nights\nArtist: " + bjork + " & Friends\n",
        std::string("Track 1: Opening\nTrack 2: Middle Song\nTrack 3: Bell\tSong\n"),
        std::string("Track Artist 1: \nTrack Artist 2: \xE6\x9D\xB1\xE4\xBA\xAC Trio\n"
                    "Track Artist 3: \n"),
        std::string("****Lyrics for Track 2, Middle Song:\nmy own words\n")})
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n---\n" << text;
  EXPECT_TRUE(cdinfo::IsValidUtf8(text));
  EXPECT_EQ(cdTitles.tracks[1].artist, "\xE6\x9D\xB1\xE4\xBA\xAC Trio");

  EXPECT_TRUE(host_.dialogs.empty());
  EXPECT_TRUE(host_.Called("blink:Connecting to MusicBrainz - please wait"));
  EXPECT_TRUE(host_.Called("known cd"));
  EXPECT_TRUE(host_.Called("status:2: Middle Song"));
  EXPECT_EQ(CddbRequests(), 0u);
  EXPECT_EQ(cddbState.lookupBusy.load(), 0);
}

TEST_F(MusicBrainzLookupTest, SeveralReleasesAreChosenByPosition) {
  // Two releases that look the same in the list, and a third.
  const std::string same = Credit("Band");
  AnswerMusicBrainz(
      Json("200 OK", Releases({Release("Hits", same, "2001", "GB", discId_,
                                       {{"A1", same}, {"A2", same}, {"A3", same}}),
                               Release("Hits", same, "2001-02", "GB", discId_,
                                       {{"B1", same}, {"B2", same}, {"B3", same}}),
                               Release("Hits", same, "", "", "other-disc",
                                       {{"C1", same}, {"C2", same}, {"C3", same}})})));
  const std::string before = ReadAll(defaultFile_);
  host_.choice = 3;  // "None of the above": nothing changes, and CDDB is not asked either
  EXPECT_EQ(LookUpTitles(nullptr, TitleService::kAuto, url_), -1);
  ASSERT_EQ(host_.dialogs.size(), 1u);
  EXPECT_EQ(host_.dialogs[0],
            (std::vector<std::string>{"Hits - Band (2001, GB)", "Hits - Band (2001, GB)",
                                      "Hits - Band", "None of the above"}));
  ExpectNothingLost(before);
  EXPECT_EQ(CddbRequests(), 0u);

  host_.choice = 1;
  ASSERT_EQ(LookUpTitles(nullptr, TitleService::kAuto, url_), kTitlesLookedUp);
  EXPECT_EQ(cdTitles.tracks[0].title, "B1");
  EXPECT_EQ(cdTitles.tracks[2].title, "B3");
  EXPECT_EQ(cdTitles.tracks[0].artist, "");
  EXPECT_NE(ReadAll(CurrentInfoFile()).find("Track 2: B2\n"), std::string::npos);
}

TEST_F(MusicBrainzLookupTest, NoMatchFallsBackToCddbOnlyInAuto) {
  const std::string before = ReadAll(defaultFile_);
  TraceCapture trace;
  EXPECT_EQ(LookUpTitles(nullptr, TitleService::kMusicBrainz, url_), -1);
  EXPECT_EQ(trace.Text(), "not found in musicbrainz\n");
  EXPECT_EQ(CddbRequests(), 0u);
  ExpectNothingLost(before);
  EXPECT_TRUE(boxes_.Boxes().empty());  // no match is no failure

  // An answer without releases is no match either.
  AnswerMusicBrainz(Json("200 OK", R"({"release-count":0,"releases":[]})"));
  ASSERT_EQ(LookUpTitles(nullptr, TitleService::kAuto, url_), kTitlesLookedUp);
  EXPECT_EQ(MusicBrainzRequests(), 2u);
  EXPECT_EQ(CddbRequests(), 2u);
  EXPECT_EQ(cdTitles.albumTitle, "Old Album");
  EXPECT_TRUE(host_.Called("blink:Connecting to CDDB - please wait"));
  EXPECT_NE(ReadAll(CurrentInfoFile()).find("****Lyrics for Track 2, B:\nmy own words\n"),
            std::string::npos);
}

TEST_F(MusicBrainzLookupTest, RequestsAreSpacedAndA503IsAskedAgainOnceAfterItsPause) {
  const std::string one = Releases({Release("Album", Credit("X"), "", "", discId_,
                                            {{"One", Credit("X")}, {"Two", Credit("X")}})});
  const ServerReply busy{Json("503 Service Unavailable", "{}", "Retry-After: 3\r\n")};
  AnswerMusicBrainz({busy, {Json("200 OK", one)}});
  ASSERT_EQ(LookUpTitles(nullptr, TitleService::kMusicBrainz, url_), kTitlesLookedUp);
  EXPECT_EQ(MusicBrainzRequests(), 2u);
  EXPECT_EQ(clock_.sleeps, (std::vector<milliseconds>{milliseconds(3000)}));
  EXPECT_EQ(cdTitles.tracks[1].title, "Two");
  EXPECT_EQ(cdTitles.tracks[2].title, "Song 3");  // the release has two tracks only

  // Busy twice: the next request waits its second, the retry the pause; then it gives up.
  AnswerMusicBrainz(Json("503 Service Unavailable", "{}", "Retry-After: 2\r\n"));
  std::vector<MusicBrainzRelease> releases;
  std::string failure;
  EXPECT_EQ(FetchMusicBrainzReleases(url_, CurrentDiscLayout(), &releases, &failure),
            TitleSearch::kFailed);
  EXPECT_EQ(failure, "the service is busy (503) and asks to wait 2 s; try again later");
  EXPECT_EQ(MusicBrainzRequests(), 4u);
  EXPECT_EQ(clock_.sleeps, (std::vector<milliseconds>{milliseconds(3000), milliseconds(1000),
                                                      milliseconds(2000)}));

  // A pause longer than a minute is not waited out.
  AnswerMusicBrainz(Json("503 Service Unavailable", "{}", "Retry-After: 3600\r\n"));
  EXPECT_EQ(FetchMusicBrainzReleases(url_, CurrentDiscLayout(), &releases, &failure),
            TitleSearch::kFailed);
  EXPECT_EQ(MusicBrainzRequests(), 5u);
}

TEST_F(MusicBrainzLookupTest, BadAnswersEndWithAClearMessageAndLoseNothing) {
  musicBrainzState.idleTimeoutMs = 1000;
  musicBrainzState.totalTimeoutMs = 1500;
  const std::string tenMegabytes =
      "HTTP/1.0 200 OK\r\nContent-Type: application/json\r\n\r\n{\"releases\":[\"" +
      std::string(10 << 20, 'x') + "\"]}";
  const std::vector<std::pair<ServerReply, std::string>> cases = {
      {Reply(Json("200 OK", R"({"releases":[{"title":"Cut off)")),
       "the answer is not valid JSON ("},
      {Reply(Json("200 OK", R"({"releases":{"title":"x"}})")),
       "the answer's releases are not a list"},
      {Reply(Json("200 OK", "[1,2]")), "the answer is not a JSON object"},
      {Reply(Json("500 Internal Server Error", "oops")),
       "the server answered with HTTP status 500"},
      {Reply("", ServerReply::End::kSilent), "no answer within 2 s (or 1 s of silence)"},
      {Reply(tenMegabytes), "the answer is larger than 2097152 bytes; it was not read"},
  };
  const std::string before = ReadAll(defaultFile_);
  for (const auto& [reply, reason] : cases) {
    AnswerMusicBrainz({reply});
    const size_t boxesBefore = boxes_.Boxes().size();
    EXPECT_EQ(LookUpTitles(nullptr, TitleService::kAuto, url_), -1) << reason;
    ASSERT_EQ(boxes_.Boxes().size(), boxesBefore + 1) << reason;
    const std::string box = boxes_.Boxes().back();
    EXPECT_EQ(box.rfind("Internet Connection Error|The titles could not be fetched from "
                        "MusicBrainz: " +
                            reason,
                        0),
              0u)
        << box;
    EXPECT_NE(box.find("The CD information file was not changed."), std::string::npos);
    ExpectNothingLost(before);
  }
  EXPECT_EQ(CddbRequests(), 0u);  // a failure is not "no match"
  EXPECT_TRUE(host_.Called("title line"));
  EXPECT_TRUE(host_.Called("status:2: Song 2"));
}

TEST_F(MusicBrainzLookupTest, InternetCommandRunsTheServiceTheSettingsNameOnTheWorker) {
  AnswerMusicBrainz(Json("200 OK", Releases({Release("Worker Album", Credit("W"), "", "", discId_,
                                                     {{"1", Credit("W")}})})));
  settings.titleService = TitleService::kMusicBrainz;
  settings.musicBrainzUrl = url_;
  settings.lyricsService = kLyricsServiceLrclib;
  settings.lyricsUrl = url_;
  SetGate(false);
  TraceCapture trace;
  GetCdInfoFromInternet(nullptr);
  GetCdInfoFromInternet(nullptr);  // while the first one waits for the server
  HandleCDBB(nullptr);
  SetGate(true);
  ASSERT_TRUE(WaitForCddbWorkers(10000));
  EXPECT_NE(trace.Text().find("GetCdInfoFromInternet: the Internet connection is busy; ignored\n"),
            std::string::npos);
  EXPECT_NE(trace.Text().find("HandleCDBB: the Internet connection is busy; ignored\n"),
            std::string::npos);
  EXPECT_EQ(cdTitles.albumTitle, "Worker Album");
  EXPECT_TRUE(fs::exists(root_ / ("Worker Album " + std::string(kDiscId) + ".txt")));
  // New titles are followed, on the same worker, by a lyrics search for the tracks without
  // lyrics (this server answers it with a MusicBrainz page, which the lyrics side refuses).
  const auto requests = server_->Requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[0].rfind("GET /ws/2/discid/", 0), 0u);
  EXPECT_EQ(requests[1].rfind("GET /api/", 0), 0u) << requests[1];
}
