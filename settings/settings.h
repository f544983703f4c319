// The program's persistent settings: one registry key of string values plus the CDDB server
// list subkey. Loaded once at start-up, saved at exit and after the preferences dialog.
#pragma once

#include <string>

inline constexpr const char* kSettingsKey = "Software\\Sorn & Kelvig\\Sorn Karaoke";
inline constexpr const char* kServersKey = "Software\\Sorn & Kelvig\\Sorn Karaoke\\cddb servers";
inline constexpr int kMaxCddbServers = 16;
inline constexpr size_t kServerTextMax = 50;  // characters kept per server-list entry
inline constexpr const char* kPlaceholderHelloHost = "localhost";
inline constexpr const char* kDefaultLyricsHost = "lyrics.example.org";
// Lyrics services: the LRCLIB web API (the default) or the lyrics site at "Lyrics Add".
inline constexpr const char* kLyricsServiceLrclib = "lrclib";
inline constexpr const char* kLyricsServiceSite = "site";
inline constexpr const char* kDefaultLyricsUrl = "https://lrclib.net";
inline constexpr const char* kDefaultMusicBrainzUrl = "https://musicbrainz.org";
// The name the CDDB client says hello with; a server that registers clients needs its own.
inline constexpr const char* kDefaultCddbClientName = "SornKaraoke";
// The web browser of a new configuration; "none" (kept from older ones) means none is chosen.
inline constexpr const char* kDefaultBrowser = "xdg-open";

// Where "Get CD Info from Internet" finds a disc's titles ("Title Service").
enum class TitleService : int {
  kAuto = 0,         // "auto": MusicBrainz, then CDDB when MusicBrainz has no match
  kMusicBrainz = 1,  // "musicbrainz"
  kCddb = 2,         // "cddb"
};
// The stored text of a service, and back; false for an unknown text.
const char* TitleServiceName(TitleService service);
bool ParseTitleService(const std::string& text, TitleService* service);

// How the singer hears the dry voice ("Monitoring"): through the sound card's own microphone
// path in the playback mix (hardware), mixed in by the engine (software), not at all (off), or
// software when the card has no such path (auto, the default).
enum class Monitoring { kAuto, kHardware, kSoftware, kOff };
const char* MonitoringName(Monitoring monitoring);  // "auto", "hardware", "software", "off"
// The mode of a stored name; an unknown name gives auto.
Monitoring MonitoringOfName(const std::string& name);

// Device block sizes the low-latency mode offers ("Block Frames"); 4096 is the standard block.
inline constexpr int kBlockFrameChoices[] = {256, 512, 1024, 4096};
inline constexpr int kStandardBlockFrames = 4096;
inline constexpr int kDefaultLowLatencyBlockFrames = 256;
// The allowed block size nearest to a value.
int NearestBlockFrames(int frames);

struct CddbServerEntry {
  std::string address;   // host name
  std::string location;  // e.g. "Carmel, IN USA"
};

struct Settings {
  std::string databasePath;           // "Database Path": CD information folder, ends in "/"
  std::string cddbHost;               // "CDDB Host": hello host name
  std::string cddbUser;               // "CDDB User": hello user name
  int cddbServer = 0;                 // "CDDB Server": index into servers, 0..serverCount
  int cdMode = 1;                     // "CD Mode" 0..3
  int repeat = 0;                     // "Repeat" 0..1
  int jitterBuffer = 0;               // "Jitter Buffer" 0..3
  int selectedDrive = 0;              // "Selected Drive" 0..8
  int firstCddb = 1;                  // "First cddb" 0..1
  int firstCd = 1;                    // "First CD" 0..1
  std::string lyricsHost;             // "Lyrics Add"
  float audioCdLevel = 7.0f;          // "Audio CD Level" 0..10
  float audioMicrophoneLevel = 7.0f;  // "Audio Microphone Level" 0..10
  int useFullScreen = 0;              // "Use Full Screen" 0..1
  int panelDisplay = 0;               // "Panel Display" 0 microphone, 1 lyrics
  int useSplashScreen = 1;            // "Use Splash Screen" 0..1
  std::string browser = "xdg-open";   // "Browser": the web browser's program, or "none"
  std::string textEditor;             // "Text Editor": "" = first desktop editor, else built-in
  std::string mixerProgram;           // "Mixer Program": "" = the desktop's volume control
  TitleService titleService = TitleService::kAuto;      // "Title Service"
  std::string musicBrainzUrl = kDefaultMusicBrainzUrl;  // "MusicBrainz URL"
  std::string cddbClientName = kDefaultCddbClientName;  // "CDDB Client Name"
  // "Lyrics Service": "lrclib" or "site" (the lyrics site at "Lyrics Add").
  std::string lyricsService = kLyricsServiceLrclib;
  std::string lyricsUrl = kDefaultLyricsUrl;        // "Lyrics URL": LRCLIB's address
  Monitoring monitoring = Monitoring::kAuto;        // "Monitoring"
  int lowLatency = 0;                               // "Low Latency" 0..1
  int blockFrames = kDefaultLowLatencyBlockFrames;  // "Block Frames" 256, 512, 1024, 4096
  int internetDeadline = 120;  // "Internet Deadline": seconds one exchange lasts at most

  CddbServerEntry servers[kMaxCddbServers];
  int serverCount = 0;
  int serverCountAtLoad = 0;   // entries present in the store when it was loaded
  std::string cddbServerHost;  // address of the chosen server

  std::string computerName;  // for the log
  std::string userName;
};

extern Settings settings;

// Loads every value (first run: sets the defaults, creates the CD information folder and saves
// at once). A store that cannot be read never stops start-up: defaults load and a trace line
// says why. Returns 0.
int LoadSettings();
void SaveSettings();
void SetFirstRunDefaults();
// Hello identity from $EMAIL: the whole address as user, the part after "@" as host.
void ReadMailIdentity();
// The built-in CDDB server list.
void SetDefaultServerList();
// Frames of one device block: "Block Frames" with "Low Latency" on, else 4096.
int ConfiguredBlockFrames();
// Host of the chosen server; the first server when the index points past the list.
std::string ChosenServerHost();
// "site" when the value names the lyrics site, else "lrclib" (the default for anything else).
std::string LyricsServiceName(const std::string& value);
// The first-run CD information folder: $XDG_DATA_HOME/sorn-karaoke/CD Data/.
std::string DefaultDatabasePath();
