#include "settings/settings.h"

#include <pwd.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <system_error>

#include "diagnostics/diagnostics.h"
#include "platform/settings/registry.h"

Settings settings;

namespace {

// Built-in CDDB-over-HTTP servers.
const CddbServerEntry kBuiltInServers[] = {
    {"gnudb.gnudb.org", "Carmel, IN USA"},
    {"freedb.dbpoweramp.com", "Fremont, CA USA"},
};

std::string Limit(std::string text, size_t maxChars) {
  if (text.size() > maxChars) text.resize(maxChars);
  return text;
}

int Clamp(int value, int low, int high) {
  return std::min(std::max(value, low), high);
}

float ClampLevel(float value, float fallback) {
  if (std::isnan(value)) return fallback;
  return std::min(std::max(value, 0.0f), 10.0f);
}

std::string ReadString(const RegistryKey& key, const char* name, const std::string& fallback,
                       size_t maxChars) {
  std::string value;
  if (!key.Read(name, &value)) return fallback;
  return Limit(value, maxChars);
}

// Numbers are stored as text; a missing one takes its first-run default.
int ReadInt(const RegistryKey& key, const char* name, int fallback, int low, int high) {
  std::string value;
  if (!key.Read(name, &value)) return fallback;
  return Clamp(std::atoi(value.c_str()), low, high);
}

float ReadLevel(const RegistryKey& key, const char* name, float fallback) {
  std::string value;
  if (!key.Read(name, &value)) return fallback;
  return ClampLevel(static_cast<float>(std::atof(value.c_str())), fallback);
}

std::string IntText(int value) {
  return std::to_string(value);
}

std::string LevelText(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
  return text;
}

std::string WithFinalSlash(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

void ReadComputerAndUserName() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) == 0) settings.computerName = host;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_name)
    settings.userName = pw->pw_name;
  else if (const char* user = std::getenv("USER"))
    settings.userName = user;
}

struct TitleServiceRow {
  TitleService service;
  const char* name;
};
constexpr TitleServiceRow kTitleServices[] = {
    {TitleService::kAuto, "auto"},
    {TitleService::kMusicBrainz, "musicbrainz"},
    {TitleService::kCddb, "cddb"},
};

TitleService ReadTitleService(const RegistryKey& key) {
  std::string value;
  TitleService service = TitleService::kAuto;
  if (key.Read("Title Service", &value) && !ParseTitleService(value, &service))
    Trace("LoadSettings: unknown Title Service '%s'; using auto\n", value.c_str());
  return service;
}

// A client name goes into the hello between "+" separators: it must be one non-empty word.
std::string ReadClientName(const RegistryKey& key) {
  std::string name = ReadString(key, "CDDB Client Name", kDefaultCddbClientName, 100);
  const bool word = !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) <= ' ' || c == '+' || c == '&' || c == 0x7F;
  });
  return word ? name : kDefaultCddbClientName;
}

const char* StatusText(RegistryStatus status) {
  return status == RegistryStatus::kUnreadable ? "cannot be read" : "is damaged";
}

}  // namespace

const char* TitleServiceName(TitleService service) {
  for (const TitleServiceRow& row : kTitleServices)
    if (row.service == service) return row.name;
  return kTitleServices[0].name;
}

bool ParseTitleService(const std::string& text, TitleService* service) {
  for (const TitleServiceRow& row : kTitleServices) {
    if (text == row.name) {
      *service = row.service;
      return true;
    }
  }
  return false;
}

namespace {
struct MonitoringRow {
  Monitoring monitoring;
  const char* name;
};
constexpr MonitoringRow kMonitoringNames[] = {{Monitoring::kAuto, "auto"},
                                              {Monitoring::kHardware, "hardware"},
                                              {Monitoring::kSoftware, "software"},
                                              {Monitoring::kOff, "off"}};
}  // namespace

const char* MonitoringName(Monitoring monitoring) {
  for (const MonitoringRow& row : kMonitoringNames)
    if (row.monitoring == monitoring) return row.name;
  return kMonitoringNames[0].name;
}

Monitoring MonitoringOfName(const std::string& name) {
  for (const MonitoringRow& row : kMonitoringNames)
    if (name == row.name) return row.monitoring;
  return Monitoring::kAuto;
}

int NearestBlockFrames(int frames) {
  int best = kBlockFrameChoices[0];
  for (int choice : kBlockFrameChoices)
    if (std::abs(choice - frames) < std::abs(best - frames)) best = choice;
  return best;
}

int ConfiguredBlockFrames() {
  return settings.lowLatency ? NearestBlockFrames(settings.blockFrames) : kStandardBlockFrames;
}

std::string DefaultDatabasePath() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.local/share";
  } else {
    std::error_code error;
    base = std::filesystem::current_path(error).string();
    if (error) Trace("GetCurrentDirectory did not work in load_options\n");
  }
  return base + "/sorn-karaoke/CD Data/";
}

std::string LyricsServiceName(const std::string& value) {
  return strcasecmp(value.c_str(), kLyricsServiceSite) == 0 ? kLyricsServiceSite
                                                            : kLyricsServiceLrclib;
}

void SetDefaultServerList() {
  settings.serverCount = 0;
  for (const CddbServerEntry& entry : kBuiltInServers)
    settings.servers[settings.serverCount++] = entry;
}

std::string ChosenServerHost() {
  if (settings.serverCount <= 0) return std::string();
  int index = settings.cddbServer;
  if (index < 0 || index >= settings.serverCount) index = 0;
  return settings.servers[index].address;
}

void ReadMailIdentity() {
  const char* email = std::getenv("EMAIL");
  if (!email || !*email) return;
  const std::string address = Limit(email, 100);
  settings.cddbUser = address;
  if (size_t at = address.find('@'); at != std::string::npos)
    settings.cddbHost = address.substr(at + 1);
}

void SetFirstRunDefaults() {
  settings.audioCdLevel = 7.0f;
  settings.audioMicrophoneLevel = 7.0f;
  settings.panelDisplay = 0;
  settings.useSplashScreen = 1;
  settings.browser = kDefaultBrowser;
  settings.textEditor.clear();
  settings.mixerProgram.clear();
  settings.internetDeadline = 120;
  SetDefaultServerList();
  settings.cddbHost = kPlaceholderHelloHost;
  settings.cddbUser = "username";
  settings.cddbServer = 0;
  settings.cdMode = 1;
  settings.repeat = 0;
  settings.jitterBuffer = 0;
  settings.selectedDrive = 0;
  settings.firstCddb = 1;
  settings.firstCd = 1;
  settings.useFullScreen = 0;
  settings.lyricsHost = kDefaultLyricsHost;
  settings.monitoring = Monitoring::kAuto;
  settings.lowLatency = 0;
  settings.blockFrames = kDefaultLowLatencyBlockFrames;
  settings.titleService = TitleService::kAuto;
  settings.musicBrainzUrl = kDefaultMusicBrainzUrl;
  settings.cddbClientName = kDefaultCddbClientName;
  settings.lyricsService = kLyricsServiceLrclib;
  settings.lyricsUrl = kDefaultLyricsUrl;

  settings.databasePath = DefaultDatabasePath();
  std::error_code error;
  std::filesystem::create_directories(settings.databasePath, error);
  if (error) Trace("CreateDirectory did not work in load_options\n");
  ReadMailIdentity();
}

int LoadSettings() {
  SetLogFolderSource([] { return settings.databasePath; });
  settings.databasePath.clear();
  settings.cddbHost.clear();
  settings.lyricsHost.clear();
  ReadComputerAndUserName();

  bool created = false;
  RegistryStatus status = RegistryStatus::kOk;
  auto key = RegistryKey::CreateOrOpen(kSettingsKey, &created, &status);
  if (status != RegistryStatus::kOk) {
    Trace("LoadSettings: settings file '%s' %s (kept as .bad); loading the defaults\n",
          RegistryFilePath().c_str(), StatusText(status));
  }
  if (created) {
    Trace("reseting registry\n");
    SetFirstRunDefaults();
    key.reset();
    SaveSettings();
    key = RegistryKey::CreateOrOpen(kSettingsKey, &created);
  }

  const RegistryKey& k = *key;
  settings.databasePath =
      WithFinalSlash(ReadString(k, "Database Path", DefaultDatabasePath(), 260));
  settings.cddbHost = ReadString(k, "CDDB Host", kPlaceholderHelloHost, 255);
  settings.cddbUser = ReadString(k, "CDDB User", "username", 255);
  settings.cddbServer = ReadInt(k, "CDDB Server", 0, 0, kMaxCddbServers);
  settings.cdMode = ReadInt(k, "CD Mode", 1, 0, 3);
  settings.repeat = ReadInt(k, "Repeat", 0, 0, 1);
  settings.jitterBuffer = ReadInt(k, "Jitter Buffer", 0, 0, 3);
  settings.selectedDrive = ReadInt(k, "Selected Drive", 0, 0, 8);
  settings.firstCddb = ReadInt(k, "First cddb", 1, 0, 1);
  settings.firstCd = ReadInt(k, "First CD", 1, 0, 1);
  settings.lyricsHost = ReadString(k, "Lyrics Add", kDefaultLyricsHost, 200);
  settings.lyricsService =
      LyricsServiceName(ReadString(k, "Lyrics Service", kLyricsServiceLrclib, 20));
  settings.lyricsUrl = ReadString(k, "Lyrics URL", kDefaultLyricsUrl, 260);
  if (settings.lyricsUrl.empty()) settings.lyricsUrl = kDefaultLyricsUrl;
  settings.audioCdLevel = ReadLevel(k, "Audio CD Level", 7.0f);
  settings.audioMicrophoneLevel = ReadLevel(k, "Audio Microphone Level", 7.0f);
  settings.useFullScreen = ReadInt(k, "Use Full Screen", 0, 0, 1);
  settings.panelDisplay = ReadInt(k, "Panel Display", 0, 0, 1);
  settings.useSplashScreen = ReadInt(k, "Use Splash Screen", 1, 0, 1);
  settings.browser = ReadString(k, "Browser", kDefaultBrowser, 260);
  settings.textEditor = ReadString(k, "Text Editor", "", 260);
  settings.mixerProgram = ReadString(k, "Mixer Program", "", 260);
  settings.monitoring = MonitoringOfName(ReadString(k, "Monitoring", "auto", 20));
  settings.lowLatency = ReadInt(k, "Low Latency", 0, 0, 1);
  settings.blockFrames = NearestBlockFrames(
      ReadInt(k, "Block Frames", kDefaultLowLatencyBlockFrames, 0, kStandardBlockFrames * 2));
  settings.titleService = ReadTitleService(k);
  settings.musicBrainzUrl = ReadString(k, "MusicBrainz URL", kDefaultMusicBrainzUrl, 260);
  if (settings.musicBrainzUrl.empty()) settings.musicBrainzUrl = kDefaultMusicBrainzUrl;
  settings.cddbClientName = ReadClientName(k);
  settings.internetDeadline = ReadInt(k, "Internet Deadline", 120, 1, 3600);
  key.reset();

  bool serversCreated = false;
  auto servers = RegistryKey::CreateOrOpen(kServersKey, &serversCreated);
  if (serversCreated) {
    Trace("oops - there should be a cddb servers folder in registry\n");
    if (settings.serverCount <= 0) SetDefaultServerList();
  } else {
    int n = 1;
    for (; n <= kMaxCddbServers; ++n) {
      std::string address;
      if (!servers->Read("CDDB Address " + std::to_string(n), &address)) break;
      settings.servers[n - 1].address = Limit(address, kServerTextMax);
      settings.servers[n - 1].location =
          ReadString(*servers, ("CDDB Location " + std::to_string(n)).c_str(), "", kServerTextMax);
    }
    settings.serverCount = n - 1;
    settings.serverCountAtLoad = settings.serverCount;
  }
  servers.reset();

  settings.cddbServer = Clamp(settings.cddbServer, 0, settings.serverCount);
  settings.cddbServerHost = ChosenServerHost();

  char date[64] = {};
  std::time_t now = std::time(nullptr);
  std::tm local;
  localtime_r(&now, &local);
  std::strftime(date, sizeof date, "%a %b %d %H:%M:%S %Y", &local);
  LogPrintf("\n***** %s *****\n", date);
  LogPrintf("Username = %s,  computerName =%s\n", settings.userName.c_str(),
            settings.computerName.c_str());
  return 0;
}

void SaveSettings() {
  bool created = false;
  auto key = RegistryKey::CreateOrOpen(kSettingsKey, &created);
  settings.cddbServer = Clamp(settings.cddbServer, 0, settings.serverCount);
  key->Write("Database Path", settings.databasePath);
  key->Write("CDDB Host", settings.cddbHost);
  key->Write("CDDB User", settings.cddbUser);
  key->Write("CDDB Server", IntText(settings.cddbServer));
  key->Write("CD Mode", IntText(Clamp(settings.cdMode, 0, 3)));
  key->Write("Repeat", IntText(Clamp(settings.repeat, 0, 1)));
  key->Write("Jitter Buffer", IntText(Clamp(settings.jitterBuffer, 0, 3)));
  key->Write("Selected Drive", IntText(Clamp(settings.selectedDrive, 0, 8)));
  key->Write("First cddb", IntText(Clamp(settings.firstCddb, 0, 1)));
  key->Write("First CD", IntText(Clamp(settings.firstCd, 0, 1)));
  key->Write("Lyrics Add", settings.lyricsHost);
  key->Write("Lyrics Service", LyricsServiceName(settings.lyricsService));
  key->Write("Lyrics URL", settings.lyricsUrl);
  key->Write("Audio CD Level", LevelText(settings.audioCdLevel));
  key->Write("Audio Microphone Level", LevelText(settings.audioMicrophoneLevel));
  key->Write("Use Full Screen", IntText(settings.useFullScreen));
  key->Write("Panel Display", IntText(settings.panelDisplay));
  key->Write("Use Splash Screen", IntText(settings.useSplashScreen));
  key->Write("Browser", settings.browser);
  key->Write("Text Editor", settings.textEditor);
  key->Write("Mixer Program", settings.mixerProgram);
  key->Write("Monitoring", MonitoringName(settings.monitoring));
  key->Write("Low Latency", IntText(Clamp(settings.lowLatency, 0, 1)));
  key->Write("Block Frames", IntText(NearestBlockFrames(settings.blockFrames)));
  key->Write("Title Service", TitleServiceName(settings.titleService));
  key->Write("MusicBrainz URL", settings.musicBrainzUrl);
  key->Write("CDDB Client Name", settings.cddbClientName);
  key->Write("Internet Deadline", IntText(Clamp(settings.internetDeadline, 1, 3600)));
  key->Flush();
  key.reset();

  auto servers = RegistryKey::CreateOrOpen(kServersKey, &created);
  const int count = Clamp(settings.serverCount, 0, kMaxCddbServers);
  // Entries beyond a shortened list are removed, so a later load does not bring them back.
  for (int n = count + 1; n <= settings.serverCountAtLoad; ++n) {
    servers->Delete("CDDB Address " + std::to_string(n));
    servers->Delete("CDDB Port " + std::to_string(n));
    servers->Delete("CDDB Location " + std::to_string(n));
  }
  for (int n = 1; n <= count; ++n) {
    servers->Write("CDDB Address " + std::to_string(n), settings.servers[n - 1].address);
    servers->Write("CDDB Location " + std::to_string(n), settings.servers[n - 1].location);
  }
  servers->Flush();
  // The store now holds exactly count entries; the next shortening deletes from there.
  settings.serverCountAtLoad = count;
}
