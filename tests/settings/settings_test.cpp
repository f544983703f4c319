#include "settings/settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "diagnostics/diagnostics.h"
#include "platform/settings/registry.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/trace_capture.h"

namespace fs = std::filesystem;

namespace {

// Each test gets its own settings file, data folder and identity.
class SettingsTest : public ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    fs::create_directories(root_ / "config");
    setenv("SORN_CONFIG_DIR", (root_ / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
    unsetenv("EMAIL");
    settings = Settings{};
  }
  void TearDown() override {
    SetLogFolderSource(nullptr);
    ScratchFolderTest::TearDown();
  }
  fs::path IniFile() const { return root_ / "config" / "sorn-karaoke.ini"; }
  std::string DataFolder() const {
    return (root_ / "data" / "sorn-karaoke" / "CD Data").string() + "/";
  }

  // Writes values straight into the store, as an earlier run or a user would have.
  void Store(const char* keyPath,
             std::initializer_list<std::pair<const char*, const char*>> values) {
    bool created;
    auto key = RegistryKey::CreateOrOpen(keyPath, &created);
    for (auto& [name, value] : values) key->Write(name, value);
    key->Flush();
  }
  bool Stored(const char* keyPath, const std::string& name, std::string* value = nullptr) {
    bool created;
    auto key = RegistryKey::CreateOrOpen(keyPath, &created);
    std::string v;
    bool found = key->Read(name, &v);
    if (value) *value = v;
    return found;
  }
};

}  // namespace

TEST_F(SettingsTest, FirstRunSetsDefaultsCreatesTheFolderAndSavesAtOnce) {
  TraceCapture trace;
  EXPECT_EQ(LoadSettings(), 0);
  EXPECT_NE(trace.Text().find("reseting registry\n"), std::string::npos);

  EXPECT_EQ(settings.databasePath, DataFolder());
  EXPECT_TRUE(fs::is_directory(settings.databasePath));
  EXPECT_EQ(settings.cddbHost, kPlaceholderHelloHost);
  EXPECT_EQ(settings.cddbUser, "username");
  EXPECT_EQ(settings.cdMode, 1);
  EXPECT_EQ(settings.firstCddb, 1);
  EXPECT_EQ(settings.firstCd, 1);
  EXPECT_EQ(settings.useSplashScreen, 1);
  EXPECT_FLOAT_EQ(settings.audioCdLevel, 7.0f);
  EXPECT_FLOAT_EQ(settings.audioMicrophoneLevel, 7.0f);
  EXPECT_EQ(settings.browser, kDefaultBrowser);
  EXPECT_EQ(settings.lyricsHost, kDefaultLyricsHost);
  EXPECT_EQ(settings.titleService, TitleService::kAuto);
  EXPECT_EQ(settings.musicBrainzUrl, "https://musicbrainz.org");
  EXPECT_EQ(settings.cddbClientName, "SornKaraoke");
  EXPECT_EQ(settings.lyricsService, "lrclib");
  EXPECT_EQ(settings.lyricsUrl, "https://lrclib.net");
  ASSERT_EQ(settings.serverCount, 2);
  EXPECT_EQ(settings.servers[0].location, "Carmel, IN USA");
  EXPECT_EQ(settings.servers[1].location, "Fremont, CA USA");
  EXPECT_EQ(settings.cddbServerHost, settings.servers[0].address);

  // Saved at once: the store already holds every value and the server list.
  std::string value;
  ASSERT_TRUE(Stored(kSettingsKey, "CD Mode", &value));
  EXPECT_EQ(value, "1");
  ASSERT_TRUE(Stored(kSettingsKey, "Audio CD Level", &value));
  EXPECT_EQ(value, "7");
  ASSERT_TRUE(Stored(kServersKey, "CDDB Location 2", &value));
  EXPECT_EQ(value, "Fremont, CA USA");

  // The start-of-run lines go to the log file in the new folder.
  const std::string log = ReadWholeFile(settings.databasePath + "SornLog.txt");
  EXPECT_EQ(log.rfind("\n***** ", 0), 0u);
  EXPECT_NE(log.find(" *****\nUsername = "), std::string::npos);
  EXPECT_NE(log.find(",  computerName ="), std::string::npos);
}

TEST_F(SettingsTest, MailAddressGivesHelloUserAndHost) {
  setenv("EMAIL", "singer@example.net", 1);
  LoadSettings();
  EXPECT_EQ(settings.cddbUser, "singer@example.net");
  EXPECT_EQ(settings.cddbHost, "example.net");

  settings = Settings{};
  settings.cddbHost = "kept";
  setenv("EMAIL", "nobody", 1);
  ReadMailIdentity();
  EXPECT_EQ(settings.cddbUser, "nobody");
  EXPECT_EQ(settings.cddbHost, "kept");  // no at sign: the host stays
}

TEST_F(SettingsTest, RoundTripKeepsEveryValue) {
  LoadSettings();
  settings.databasePath = (root_ / "elsewhere").string() + "/";
  settings.cddbHost = "host.example";
  settings.cddbUser = "me@host.example";
  settings.cddbServer = 1;
  settings.cdMode = 2;
  settings.repeat = 1;
  settings.jitterBuffer = 3;
  settings.selectedDrive = 4;
  settings.firstCddb = 0;
  settings.firstCd = 0;
  settings.lyricsHost = "lyrics.host";
  settings.lyricsService = "site";
  settings.lyricsUrl = "http://127.0.0.1:8080";
  settings.audioCdLevel = 3.25f;
  settings.audioMicrophoneLevel = 9.5f;
  settings.useFullScreen = 1;
  settings.panelDisplay = 1;
  settings.useSplashScreen = 0;
  settings.browser = "none";
  settings.textEditor = "gedit --wait";
  settings.mixerProgram = "built-in";
  settings.titleService = TitleService::kCddb;
  settings.musicBrainzUrl = "https://mb.example.org/";
  settings.cddbClientName = "RegisteredName";
  SaveSettings();
  const Settings saved = settings;

  settings = Settings{};
  LoadSettings();
  EXPECT_EQ(settings.databasePath, saved.databasePath);
  EXPECT_EQ(settings.cddbHost, saved.cddbHost);
  EXPECT_EQ(settings.cddbUser, saved.cddbUser);
  EXPECT_EQ(settings.cddbServer, 1);
  EXPECT_EQ(settings.cddbServerHost, saved.servers[1].address);
  EXPECT_EQ(settings.cdMode, 2);
  EXPECT_EQ(settings.repeat, 1);
  EXPECT_EQ(settings.jitterBuffer, 3);
  EXPECT_EQ(settings.selectedDrive, 4);
  EXPECT_EQ(settings.firstCddb, 0);
  EXPECT_EQ(settings.firstCd, 0);
  EXPECT_EQ(settings.lyricsHost, "lyrics.host");
  EXPECT_EQ(settings.lyricsService, "site");
  EXPECT_EQ(settings.lyricsUrl, "http://127.0.0.1:8080");
  EXPECT_FLOAT_EQ(settings.audioCdLevel, 3.25f);
  EXPECT_FLOAT_EQ(settings.audioMicrophoneLevel, 9.5f);
  EXPECT_EQ(settings.useFullScreen, 1);
  EXPECT_EQ(settings.panelDisplay, 1);
  EXPECT_EQ(settings.useSplashScreen, 0);
  // A stored "none" stays none: no browser is chosen.
  EXPECT_EQ(settings.browser, "none");
  EXPECT_EQ(settings.textEditor, "gedit --wait");
  EXPECT_EQ(settings.mixerProgram, "built-in");
  EXPECT_EQ(settings.titleService, TitleService::kCddb);
  EXPECT_EQ(settings.musicBrainzUrl, "https://mb.example.org/");
  EXPECT_EQ(settings.cddbClientName, "RegisteredName");
  std::string value;
  ASSERT_TRUE(Stored(kSettingsKey, "Title Service", &value));
  EXPECT_EQ(value, "cddb");
}

TEST_F(SettingsTest, OutOfRangeValuesAreClampedOnLoad) {
  Store(kSettingsKey, {{"Database Path", "/music/cd data"},
                       {"CD Mode", "7"},
                       {"Repeat", "5"},
                       {"Jitter Buffer", "-2"},
                       {"Selected Drive", "12"},
                       {"First cddb", "3"},
                       {"Audio CD Level", "12.5"},
                       {"Audio Microphone Level", "nan"},
                       {"CDDB Server", "9"},
                       {"Use Full Screen", "1"},
                       {"Title Service", "gracenote"},
                       {"MusicBrainz URL", ""},
                       {"CDDB Client Name", "two words"},
                       {"Lyrics Service", "lyricsfinder"},
                       {"Lyrics URL", ""}});
  Store(kServersKey, {{"CDDB Address 1", "one.example"},
                      {"CDDB Location 1", "First"},
                      {"CDDB Address 2", "two.example"},
                      {"CDDB Location 2", "Second"}});
  TraceCapture trace;
  LoadSettings();
  EXPECT_NE(trace.Text().find("LoadSettings: unknown Title Service 'gracenote'; using auto\n"),
            std::string::npos);
  EXPECT_EQ(settings.titleService, TitleService::kAuto);
  EXPECT_EQ(settings.musicBrainzUrl, kDefaultMusicBrainzUrl);
  // A client name must be one word of the hello line.
  EXPECT_EQ(settings.cddbClientName, kDefaultCddbClientName);
  EXPECT_EQ(settings.cdMode, 3);  // intro mode
  EXPECT_EQ(settings.repeat, 1);
  EXPECT_EQ(settings.jitterBuffer, 0);
  EXPECT_EQ(settings.selectedDrive, 8);
  EXPECT_EQ(settings.firstCddb, 1);
  EXPECT_FLOAT_EQ(settings.audioCdLevel, 10.0f);
  EXPECT_FLOAT_EQ(settings.audioMicrophoneLevel, 7.0f);
  // The index may equal the count after the clamp; the first server is used then.
  EXPECT_EQ(settings.cddbServer, 2);
  EXPECT_EQ(settings.cddbServerHost, "one.example");
  // A folder stored without its final "/" gets one, so file names join onto it.
  EXPECT_EQ(settings.databasePath, "/music/cd data/");
  // Values missing from a damaged key take their defaults.
  EXPECT_EQ(settings.cddbUser, "username");
  EXPECT_EQ(settings.browser, kDefaultBrowser);
  EXPECT_EQ(settings.useSplashScreen, 1);
  // An unknown lyrics service and an empty URL fall back to LRCLIB at its own address.
  EXPECT_EQ(settings.lyricsService, "lrclib");
  EXPECT_EQ(settings.lyricsUrl, "https://lrclib.net");
}

TEST_F(SettingsTest, ShortenedServerListDeletesTheSurplusOnSave) {
  Store(kSettingsKey, {{"CD Mode", "1"}});
  Store(kServersKey, {{"CDDB Address 1", "a"},
                      {"CDDB Location 1", "A"},
                      {"CDDB Address 2", "b"},
                      {"CDDB Location 2", "B"},
                      {"CDDB Address 3", "c"},
                      {"CDDB Port 3", "8880"},
                      {"CDDB Location 3", "C"},
                      {"CDDB Address 4", "d"},
                      {"CDDB Location 4", "D"}});
  LoadSettings();
  ASSERT_EQ(settings.serverCount, 4);
  settings.serverCount = 2;  // as a sites update that found two servers leaves it
  settings.servers[1] = {"b2", "B2"};
  SaveSettings();
  for (const char* gone :
       {"CDDB Address 3", "CDDB Port 3", "CDDB Location 3", "CDDB Address 4", "CDDB Location 4"})
    EXPECT_FALSE(Stored(kServersKey, gone)) << gone;

  settings = Settings{};
  LoadSettings();
  ASSERT_EQ(settings.serverCount, 2);
  EXPECT_EQ(settings.servers[1].address, "b2");

  // Grow, then shrink again below the earlier length: nothing stale survives.
  settings.serverCount = 5;
  for (int i = 2; i < 5; ++i) settings.servers[i] = {"x" + std::to_string(i), "X"};
  SaveSettings();
  settings.serverCount = 1;
  SaveSettings();
  settings = Settings{};
  LoadSettings();
  EXPECT_EQ(settings.serverCount, 1);
  EXPECT_FALSE(Stored(kServersKey, "CDDB Address 5"));
}

TEST_F(SettingsTest, LongServerEntriesAreCutToFiftyCharacters) {
  const std::string longName(80, 'h');
  Store(kSettingsKey, {{"CD Mode", "1"}});
  Store(kServersKey, {{"CDDB Address 1", longName.c_str()}, {"CDDB Location 1", "Here"}});
  LoadSettings();
  EXPECT_EQ(settings.servers[0].address, std::string(50, 'h'));
}

TEST_F(SettingsTest, MissingServerFolderKeepsTheListInMemory) {
  Store(kSettingsKey, {{"CD Mode", "2"}});
  TraceCapture trace;
  LoadSettings();
  EXPECT_NE(trace.Text().find("oops - there should be a cddb servers folder in registry\n"),
            std::string::npos);
  EXPECT_EQ(settings.cdMode, 2);
  EXPECT_EQ(settings.serverCount, 2);
  EXPECT_FALSE(settings.cddbServerHost.empty());
}

TEST_F(SettingsTest, DamagedFileNeverStopsStartUpAndIsKept) {
  static const char kGarbage[] = "\x01\x02[Soft\0ware]\xff=\n";
  const std::string garbage(kGarbage, sizeof kGarbage - 1);
  {
    std::ofstream out(IniFile(), std::ios::binary);
    out << garbage;
  }
  TraceCapture trace;
  EXPECT_EQ(LoadSettings(), 0);
  EXPECT_NE(trace.Text().find("is damaged"), std::string::npos);
  EXPECT_EQ(settings.cdMode, 1);
  EXPECT_EQ(settings.serverCount, 2);
  EXPECT_EQ(ReadWholeFile(IniFile().string() + ".bad"), garbage);
  // A fresh, valid file took its place.
  settings = Settings{};
  LoadSettings();
  EXPECT_EQ(settings.serverCount, 2);
}

TEST_F(SettingsTest, UnreadableFileLoadsTheDefaults) {
  fs::create_directories(IniFile());  // a folder where the file should be
  TraceCapture trace;
  EXPECT_EQ(LoadSettings(), 0);
  EXPECT_NE(trace.Text().find("cannot be read"), std::string::npos);
  EXPECT_EQ(settings.cdMode, 1);
  EXPECT_EQ(settings.databasePath, DataFolder());
}

// The live-voice settings: defaults, a round trip, and stored values out of range or unknown.
TEST_F(SettingsTest, MonitoringAndLowLatencySettings) {
  EXPECT_EQ(LoadSettings(), 0);
  EXPECT_EQ(settings.monitoring, Monitoring::kAuto);
  EXPECT_EQ(settings.lowLatency, 0);
  EXPECT_EQ(settings.blockFrames, 256);
  EXPECT_EQ(ConfiguredBlockFrames(), 4096);  // low latency off: the standard block

  settings.monitoring = Monitoring::kSoftware;
  settings.lowLatency = 1;
  settings.blockFrames = 512;
  SaveSettings();
  settings = Settings{};
  LoadSettings();
  EXPECT_EQ(settings.monitoring, Monitoring::kSoftware);
  EXPECT_EQ(ConfiguredBlockFrames(), 512);
  std::string stored;
  ASSERT_TRUE(Stored(kSettingsKey, "Monitoring", &stored));
  EXPECT_EQ(stored, "software");

  Store(kSettingsKey, {{"Monitoring", "loud"}, {"Low Latency", "7"}, {"Block Frames", "300"}});
  LoadSettings();
  EXPECT_EQ(settings.monitoring, Monitoring::kAuto);
  EXPECT_EQ(settings.lowLatency, 1);
  EXPECT_EQ(settings.blockFrames, 256);
  Store(kSettingsKey, {{"Monitoring", "off"}, {"Block Frames", "100000"}});
  LoadSettings();
  EXPECT_EQ(settings.monitoring, Monitoring::kOff);
  EXPECT_EQ(settings.blockFrames, 4096);
}
