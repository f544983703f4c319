#include "app/preferences_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <algorithm>
#include <functional>
#include <iterator>

#include "app/cdplayer_panel.h"
#include "app/commands.h"
#include "cd/aspi_drives.h"
#include "cd/player.h"
#include "cdinfo/info_file.h"
#include "diagnostics/diagnostics.h"
#include "resources/templates/templates.h"
#include "settings/settings.h"
#include "widgets/framework.h"
#include "widgets/template_loader.h"

namespace {

constexpr int kIdDrives = 1160;
constexpr int kIdQuality = 1294;
constexpr int kIdServers = 1299;
constexpr int kIdFolder = 2141;
constexpr int kIdBrowser = 2142;
constexpr int kIdBrowseFolder = 2143;
constexpr int kIdBrowseBrowser = 2144;
constexpr int kIdSplash = 1300;
constexpr int kIdOk = 1301;
constexpr int kMaxJitter = 3;
constexpr int kPathChars = 260;

int readerWaitMs = kReaderWaitMs;

// Every way out of the dialog applies it; a refused apply keeps it open.
class PreferencesDialog : public QDialog {
 public:
  using QDialog::QDialog;
  std::function<bool()> apply;

  void done(int) override {
    if (apply && !apply()) return;
    QDialog::done(1);
  }
};

// The template's top-level dialog is built as a PreferencesDialog.
class PreferencesLoader : public GkTemplateLoader {
 public:
  QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
    if (className == QLatin1String("QDialog") && !dialog) {
      dialog = new PreferencesDialog(parent);
      dialog->setObjectName(name);
      return dialog;
    }
    return GkTemplateLoader::createWidget(className, parent, name);
  }
  PreferencesDialog* dialog = nullptr;
};

// The controls, and the values the dialog works with until it applies them.
struct Form {
  QWidget* window = nullptr;  // the main window
  QComboBox* drives = nullptr;
  QSlider* quality = nullptr;
  QComboBox* servers = nullptr;
  QLineEdit* folder = nullptr;
  QLineEdit* browser = nullptr;
  QCheckBox* splash = nullptr;
  QComboBox* titleService = nullptr;
  QComboBox* lyricsService = nullptr;
  QLineEdit* lyricsUrl = nullptr;
  QLineEdit* lyricsSite = nullptr;
  QComboBox* monitoring = nullptr;
  QCheckBox* lowLatency = nullptr;
  QComboBox* blockFrames = nullptr;
  QLineEdit* textEditor = nullptr;
  QLineEdit* mixerProgram = nullptr;
  int initialDrive = 0;
  int chosenDrive = 0;
  bool folderChangedByBrowse = false;
};

template <class T>
T* Control(QWidget* dialog, int id) {
  return qobject_cast<T*>(FindPreferencesControl(dialog, id));
}

bool FindControls(QWidget* dialog, Form* f) {
  f->drives = Control<QComboBox>(dialog, kIdDrives);
  f->quality = Control<QSlider>(dialog, kIdQuality);
  f->servers = Control<QComboBox>(dialog, kIdServers);
  f->folder = Control<QLineEdit>(dialog, kIdFolder);
  f->browser = Control<QLineEdit>(dialog, kIdBrowser);
  f->splash = Control<QCheckBox>(dialog, kIdSplash);
  f->titleService = dialog->findChild<QComboBox*>("titleService");
  f->lyricsService = dialog->findChild<QComboBox*>("lyricsService");
  f->lyricsUrl = dialog->findChild<QLineEdit*>("lyricsUrl");
  f->lyricsSite = dialog->findChild<QLineEdit*>("lyricsSite");
  f->monitoring = dialog->findChild<QComboBox*>("monitoring");
  f->lowLatency = dialog->findChild<QCheckBox*>("lowLatency");
  f->blockFrames = dialog->findChild<QComboBox*>("blockFrames");
  f->textEditor = dialog->findChild<QLineEdit*>("textEditor");
  f->mixerProgram = dialog->findChild<QLineEdit*>("mixerProgram");
  return f->drives && f->quality && f->servers && f->folder && f->browser && f->splash &&
         f->titleService && f->lyricsService && f->lyricsUrl && f->lyricsSite && f->monitoring &&
         f->lowLatency && f->blockFrames && f->textEditor && f->mixerProgram &&
         FindPreferencesControl(dialog, kIdOk) && FindPreferencesControl(dialog, kIdBrowseFolder) &&
         FindPreferencesControl(dialog, kIdBrowseBrowser);
}

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

std::string Typed(QLineEdit* edit) {
  return edit->text().left(kPathChars).trimmed().toStdString();
}

void Fill(Form* f) {
  f->quality->setValue(kMaxJitter - std::clamp(settings.jitterBuffer, 0, kMaxJitter));
  f->splash->setChecked(settings.useSplashScreen != 0);
  for (int i = 0; i < cdDrives.driveCount; ++i)
    f->drives->addItem(Text(cdDrives.drives[i].description));
  f->drives->setCurrentIndex(settings.selectedDrive < cdDrives.driveCount ? settings.selectedDrive
                                                                          : -1);
  f->initialDrive = f->chosenDrive = settings.selectedDrive;
  for (int i = 0; i < settings.serverCount; ++i) {
    const CddbServerEntry& s = settings.servers[i];
    f->servers->addItem(Text(s.address + "    " + s.location));
  }
  // An index past the list (after a shortened server list) means the first server.
  f->servers->setCurrentIndex(settings.cddbServer < settings.serverCount ? settings.cddbServer : 0);
  f->folder->setText(Text(settings.databasePath));
  f->browser->setText(Text(settings.browser));

  f->titleService->setCurrentIndex(static_cast<int>(settings.titleService));
  f->lyricsService->setCurrentIndex(settings.lyricsService == kLyricsServiceSite ? 1 : 0);
  f->lyricsUrl->setText(Text(settings.lyricsUrl));
  f->lyricsSite->setText(Text(settings.lyricsHost));
  f->monitoring->setCurrentIndex(static_cast<int>(settings.monitoring));
  f->lowLatency->setChecked(settings.lowLatency != 0);
  const int* choice = std::find(std::begin(kBlockFrameChoices), std::end(kBlockFrameChoices),
                                NearestBlockFrames(settings.blockFrames));
  f->blockFrames->setCurrentIndex(static_cast<int>(choice - std::begin(kBlockFrameChoices)));
  f->textEditor->setText(Text(settings.textEditor));
  f->mixerProgram->setText(Text(settings.mixerProgram));
}

// The player leaves the old drive: a playing disc stops and its reader is given a bounded
// while to end (one that never does keeps the player from starting another, and is traced);
// the new drive is taken over without a disc, so the next tick scans it.
void ChangeCdDrive(QWidget* window, int drive) {
  settings.selectedDrive = drive;
  if (player.cdState.load() == CD_PLAY) {
    StopVoicePlayback(CdPlayerPanel(), true);
    StopVoiceRecording(CdPlayerPanel(), true);
    player.readerIdle.store(0);
    CdStop(window);
    if (!WaitForReaderToEnd(readerWaitMs))
      Trace(
          "PreferencesDialogProc: the reader did not stop within %d ms; the drive changes "
          "without it\n",
          readerWaitMs);
  }
  player.currentTrack.store(0);
  UseSelectedDrive(drive);
  player.cdState.store(CD_NOCD);
}

void ApplyServices(const Form& f) {
  settings.titleService =
      static_cast<TitleService>(std::clamp(f.titleService->currentIndex(), 0, 2));
  settings.lyricsService =
      f.lyricsService->currentIndex() == 1 ? kLyricsServiceSite : kLyricsServiceLrclib;
  const std::string url = Typed(f.lyricsUrl), site = Typed(f.lyricsSite);
  settings.lyricsUrl = url.empty() ? kDefaultLyricsUrl : url;
  settings.lyricsHost = site.empty() ? kDefaultLyricsHost : site;
  settings.monitoring = static_cast<Monitoring>(std::clamp(f.monitoring->currentIndex(), 0, 3));
  settings.lowLatency = f.lowLatency->isChecked() ? 1 : 0;
  const int block = std::clamp(f.blockFrames->currentIndex(), 0,
                               static_cast<int>(std::size(kBlockFrameChoices)) - 1);
  settings.blockFrames = kBlockFrameChoices[block];
  settings.textEditor = Typed(f.textEditor);
  settings.mixerProgram = Typed(f.mixerProgram);
}

// False keeps the dialog open (the folder does not exist).
bool Apply(Form* f) {
  if (f->chosenDrive != f->initialDrive) {
    ChangeCdDrive(f->window, f->chosenDrive);
    f->initialDrive = f->chosenDrive;
  }
  const std::string browser = Typed(f->browser);
  settings.browser = browser.empty() ? "none" : browser;
  std::string folder = Typed(f->folder);
  if (!folder.empty()) {
    if (folder.back() != '/') folder += '/';
    if (!QFileInfo(Text(folder)).isDir()) {
      Trace("Path for cddb files doesn't exist!\n");
      return false;
    }
  }
  const bool folderChanged = folder != settings.databasePath;
  settings.databasePath = folder;
  f->folder->setText(Text(folder));
  ApplyServices(*f);
  // The disc's information file is read again from the folder chosen.
  if (f->folderChangedByBrowse || folderChanged) {
    const int state = player.cdState.load();
    if (state != CD_NOCD && state != CD_CDROM_IN) LoadCdInfoFile(f->window);
    f->folderChangedByBrowse = false;
  }
  SaveSettings();
  return true;
}

void Connect(PreferencesDialog* dialog, Form* f) {
  QObject::connect(f->quality, &QSlider::valueChanged, dialog, [](int position) {
    settings.jitterBuffer = kMaxJitter - std::min(position, kMaxJitter);
  });
  QObject::connect(f->drives, &QComboBox::currentIndexChanged, dialog, [f](int index) {
    if (index >= 0) f->chosenDrive = index;
  });
  QObject::connect(f->servers, &QComboBox::currentIndexChanged, dialog, [](int index) {
    if (index < 0) return;
    settings.cddbServer = index;
    settings.cddbServerHost = ChosenServerHost();
  });
  QObject::connect(f->splash, &QCheckBox::toggled, dialog,
                   [](bool on) { settings.useSplashScreen = on ? 1 : 0; });
  auto* browseFolder = Control<QPushButton>(dialog, kIdBrowseFolder);
  QObject::connect(browseFolder, &QPushButton::clicked, dialog, [dialog, f] {
    const QString start = f->folder->text().isEmpty() ? QStringLiteral("/") : f->folder->text();
    const QString chosen =
        QFileDialog::getExistingDirectory(dialog, "Select a folder for your CD information", start);
    if (!chosen.isEmpty()) f->folder->setText(chosen);
    f->folderChangedByBrowse = true;
  });
  auto* browseBrowser = Control<QPushButton>(dialog, kIdBrowseBrowser);
  QObject::connect(browseBrowser, &QPushButton::clicked, dialog, [dialog, f] {
    const QString chosen = QFileDialog::getOpenFileName(
        dialog, "Select your Internet browser program:", QStringLiteral("/usr/bin"));
    if (!chosen.isEmpty()) f->browser->setText(chosen);
  });
  QObject::connect(Control<QPushButton>(dialog, kIdOk), &QPushButton::clicked, dialog,
                   &QDialog::accept);
  dialog->apply = [f] { return Apply(f); };
}

}  // namespace

QWidget* FindPreferencesControl(QWidget* dialog, int id) {
  if (!dialog) return nullptr;
  for (QWidget* w : dialog->findChildren<QWidget*>()) {
    if (GkGetControlId(w) == id) return w;
  }
  return nullptr;
}

void SetDriveChangeReaderWait(int milliseconds) {
  readerWaitMs = milliseconds > 0 ? milliseconds : kReaderWaitMs;
}

int RunPreferencesDialog(QWidget* owner) {
  InitTemplateResources();
  PreferencesLoader loader;
  GkLoadTemplate(&loader, kPreferencesTemplate, owner);
  PreferencesDialog* dialog = loader.dialog;
  Form form;
  form.window = owner;
  if (!dialog || !FindControls(dialog, &form)) {
    Trace("RunPreferencesDialog: the template '%s' is not complete\n", kPreferencesTemplate);
    delete dialog;
    return 0;
  }
  Fill(&form);
  Connect(dialog, &form);
  dialog->exec();
  delete dialog;
  return 1;
}
