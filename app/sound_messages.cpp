#include "app/sound_messages.h"

#include "app/main_window.h"
#include "app/processor_log.h"
#include "audio/sound_init.h"
#include "diagnostics/diagnostics.h"
#include "platform/process/launcher.h"

namespace {

constexpr const char* kInputFailedText =
    "Sound input initialization failed:\n\nYour sound card is not able to input sound.\nThis "
    "often occurs when another sound application is running.\n\nPlease quit your other sound "
    "applications.\n\nContinuing with sound output only\"\n";
constexpr const char* kNoSoundText =
    "Error:\n Uh oh. I couldn't deal with your sound card. Running without sound.  Sorry.";
constexpr const char* kNoFullDuplexText =
    "Sound input from the microphone will not work:\n\nYour sound card is not able to operate "
    "the microphone\nand the SornKaraoke CD Player simultaneously.  Simultaneous\nsound input and "
    "output is referred to as \"Full-Duplex Mode\"\n\nPlease enable \"Full-Duplex Mode\" on your "
    "sound card";
constexpr const char* kThreadFailedText =
    "Sound process initialization failed:\n\nYour machine may not have enough resources "
    "available.\n\nConsider quitting SornKaraoke and restarting your machine\n";
constexpr const char* kHardwareDialogText =
    "Sound input from the microphone will not work:\n\nYour sound card is currently not able to "
    "operate the microphone\nand the SornKaraoke CD Player simultaneously.  Simultaneous\nsound "
    "input and output is referred to as Full-Duplex Mode\n\nWould you like to Exit SornKaraoke "
    "and use the Device Manager\n to enable Full-Duplex Mode on your sound card?\n \nIf you click "
    "Yes, SornKaraoke will exit and launch the Device Manager.\nThen, you open the category "
    "Sound, Video and Game Controllers, and click\nto open the sound card items until you find "
    "the Full-Duplex check box.\n\nIf you click No, SornKaraoke will operate the CD and voice "
    "removal but.\nwill not offer voice processing from the microphone.";
constexpr const char* kNoDeviceManagerText = "Hey !  WindowsNT has no DeviceManager";

}  // namespace

void ReportInitSoundResult(void* window, int result) {
  switch (result) {
    case kInitSound_InputFailed:
      ShowMessageBox(window, kSoundInputProblemCaption, kInputFailedText,
                     kMbOk | kMbIconHand | kMbSystemModal);
      break;
    case kInitSound_NoDevices:
    case kInitSound_MixerFailed:
      WriteToLogFile("kInitSound_SomethingFailed\n");
      ShowMessageBox(window, "Sorn Karaoke", kNoSoundText, kMbOk | kMbIconHand);
      break;
    case kInitSound_NoFullDuplex:
      if (IsWindowsNT()) {
        WriteToLogFile("IsWindowsNT\n");
        ShowMessageBox(window, kSoundInputProblemCaption, kNoFullDuplexText,
                       kMbOk | kMbIconHand | kMbSystemModal);
      } else {
        SoundHardwareDialog(window);
      }
      break;
    case kInitSound_ThreadFailed:
      ShowMessageBox(window, "Sorn Karaoke:  Sound Process Problem", kThreadFailedText,
                     kMbOk | kMbIconHand | kMbSystemModal);
      break;
    default:
      break;
  }
}

void SoundHardwareDialog(void* window) {
  const int answer = ShowMessageBox(window, "Sorn Karaoke:  Sound Hardware Problem",
                                    kHardwareDialogText, kMbYesNo | kMbIconQuestion);
  if (answer != kIdYes) return;
  PostQuitMessage(0);
  OpenDeviceManager(window);
}

void OpenDeviceManager(void* window) {
  if (IsWindowsNT()) {
    WarningBox(window, kNoDeviceManagerText);
  } else {
    LaunchWindowsApplication(window, "CONTROL.EXE SYSDM.CPL,,1");
  }
}
