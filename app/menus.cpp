#include "app/menus.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <vector>

#include "cdinfo/lookup_worker.h"
#include "cdinfo/lyrics_fetch.h"
#include "widgets/menu_popup.h"

const int kTrackCommandIds[kTrackCommandCount + 1] = {
    800,   40101, 40102, 40103, 40104, 40105, 40106, 40107, 40108, 40109, 40110, 40111, 40112,
    40113, 40114, 40115, 40116, 40117, 40118, 40119, 40130, 40131, 40132, 40133, 40134, 40135,
    40136, 40137, 40138, 40139, 40140, 40141, 40142, 40143, 40144, 40145, 40146, 40147, 40148,
    40149, 40150, 40151, 40152, 40153, 40154, 40155, 40156, 40157, 40158, 40159, -1};

int TrackCommandId(int track) {
  return track >= 0 && track < kTrackCommandCount ? kTrackCommandIds[track] : -1;
}

int TrackOfCommand(int commandId) {
  for (int i = 0; i < kTrackCommandCount; ++i) {
    if (kTrackCommandIds[i] == commandId) return i;
  }
  return -1;
}

namespace {

// One entry of a menu resource: a command, a separator (id 0, no label), or a submenu
// (id 0 with a label, its entries following up to the matching kEnd).
struct MenuEntry {
  int id;
  const char* label;
  bool checkable;
};
constexpr int kSeparator = 0;
constexpr int kSubmenu = -1;
constexpr int kEnd = -2;

const MenuEntry kOptions[] = {
    {kCmdSingleSongPlay, "&Single Song Play", true},
    {kCmdRepeat, "&Repeat", true},
    {kSeparator, nullptr, false},
    {kCmdEjectCd, "&Eject CD", false},
    {kSeparator, nullptr, false},
    {kCmdEditLyrics, "Edit &Lyrics For This Song", false},
    {kCmdEditCdInfo, "Edit &CD Information", false},
    {kSeparator, nullptr, false},
    {kCmdPreferences, "&Preferences ...", false},
    {kCmdLaunchMixer, "Launch &Audio Mixer", false},
    {kSeparator, nullptr, false},
    {kCmdExit, "E&xit", false},
};

const MenuEntry kInternet[] = {
    {kCmdGetCdInfo, "&Get CD Info from Internet", false},
    {kCmdGetLyrics, kGetLyricsCommandText, false},
    {kCmdGetTrackLyrics, "Get Lyrics for &This Song from Internet", false},
    {kCmdCddbWebSite, "Visit the &CDDB Web Site", false},
    {kSeparator, nullptr, false},
    {kCmdUpdateServerList, "&Update CDDB Server List", false},
};

const MenuEntry kHelp[] = {
    {kCmdHelpTopics, "&Help Topics", false},
    {kSeparator, nullptr, false},
    {kCmdAbout, "About Sorn Karaoke ...", false},
};

const MenuEntry kDebug[] = {
    {kSubmenu, "Set Font", false},
    {kCmdFontLyrics, "Lyrics", false},
    {kCmdFontTrack, "CD Track", false},
    {kCmdFontAlbum, "CD AlbumName+Artist", false},
    {kCmdFontPrefix, "CD Prefix: AlbumName+Artist", false},
    {kEnd, nullptr, false},
    {kCmdCopySongToWav, "Copy &Song to .wav Fille", false},
    {kCmdRecordFileSelect, "&Record File Name Select ...", false},
    {kCmdRecordToFile, "Record to File", false},
    {kSeparator, nullptr, false},
    {kCmdDspParameters, "&DSP Parameters ...", false},
    {kCmdDirectSoundCaps, "&Direct Sound Device Capabilities ...", false},
    {kSubmenu, "3D Object ...", false},
    {kCmdObjectTWave, "TWave", false},
    {kCmdObjectSphere, "Sphere", false},
    {kCmdObjectPyramid, "Pyramid", false},
    {kCmdObjectText, "Text", false},
    {kEnd, nullptr, false},
    {kSubmenu, "Lyrics Panel Download state", false},
    {kCmdLyricsState1, "Idle", false},
    {kCmdLyricsState2, "Connecting", false},
    {kCmdLyricsState3, "Downloading", false},
    {kCmdLyricsState4, "Done", false},
    {kEnd, nullptr, false},
    {kSeparator, nullptr, false},
    {kCmdLaunchMmsys, "&Adjust Audio Hardware Properties ...", false},
    {kCmdCdPlayer, "CD Player ...", false},
    {kCmdDeviceManager, "Device Manager..", false},
    {kCmdSoundRecorder, "Sound Recorder ...", false},
    {kCmdProcessViewer, "Process Viewer ...", false},
    {kCmdResetCycleCounter, "Reset Cycle Counter", false},
    {kSeparator, nullptr, false},
    {kCmdFullScreen, "Full Screen Mode", false},
};

template <size_t N>
QMenu* Build(const QString& title, const MenuEntry (&entries)[N]) {
  std::vector<QMenu*> stack{new QMenu(title)};
  for (const MenuEntry& e : entries) {
    QMenu* menu = stack.back();
    if (e.id == kSeparator) {
      menu->addSeparator();
    } else if (e.id == kSubmenu) {
      stack.push_back(menu->addMenu(QString::fromUtf8(e.label)));
    } else if (e.id == kEnd) {
      stack.pop_back();
    } else {
      QAction* action = menu->addAction(QString::fromUtf8(e.label));
      GkSetActionCommand(action, e.id);
      action->setCheckable(e.checkable);
    }
  }
  return stack.front();
}

std::vector<QPointer<QMenu>>& CommandMenus() {
  static std::vector<QPointer<QMenu>> menus;
  return menus;
}

QAction* FindCommand(QMenu* menu, int commandId) {
  for (QAction* action : menu->actions()) {
    if (action->menu()) {
      if (QAction* found = FindCommand(action->menu(), commandId)) return found;
    } else if (!action->isSeparator() && GkActionCommand(action) == commandId) {
      return action;
    }
  }
  return nullptr;
}

}  // namespace

QString MainSubmenuLabel(MainSubmenu which) {
  switch (which) {
    case kSubmenuOptions:
      return "&Options";
    case kSubmenuInternet:
      return "&Internet";
    case kSubmenuHelp:
      return "&Help";
    default:
      return "&Debug";
  }
}

QMenu* LoadMainSubmenu(MainSubmenu which) {
  const QString label = MainSubmenuLabel(which);
  switch (which) {
    case kSubmenuOptions:
      return Build(label, kOptions);
    case kSubmenuInternet: {
      // The lyrics commands are greyed out while a lookup holds the Internet connection.
      QMenu* menu = Build(label, kInternet);
      QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] {
        const bool idle = !LookupWorkerBusy();
        for (int id : {kCmdGetLyrics, kCmdGetTrackLyrics}) {
          if (QAction* action = FindCommand(menu, id)) action->setEnabled(idle);
        }
      });
      return menu;
    }
    case kSubmenuHelp:
      return Build(label, kHelp);
    default:
      return Build(label, kDebug);
  }
}

void RegisterCommandMenu(QMenu* menu) {
  if (menu) CommandMenus().emplace_back(menu);
}

void UnregisterCommandMenu(QMenu* menu) {
  auto& menus = CommandMenus();
  std::erase_if(menus, [menu](const QPointer<QMenu>& m) { return !m || m == menu; });
}

void CheckMenuCommand(int commandId, bool checked) {
  for (const QPointer<QMenu>& menu : CommandMenus()) {
    if (!menu) continue;
    if (QAction* action = FindCommand(menu, commandId)) action->setChecked(checked);
  }
}

bool MenuCommandChecked(int commandId) {
  for (const QPointer<QMenu>& menu : CommandMenus()) {
    if (!menu) continue;
    if (QAction* action = FindCommand(menu, commandId)) return action->isChecked();
  }
  return false;
}
