// What the user is told about the sound engine's start-up result, and the sound hardware
// dialog that offers the device manager.
#pragma once

// Shows the box (or writes the log line) for an InitSound result; 0, 2 and unknown results
// show nothing.
void ReportInitSoundResult(void* window, int result);
// The modal "Sound Hardware Problem" dialog. Yes ends the program and starts the device
// manager; No, cancel and close only end the dialog.
void SoundHardwareDialog(void* window);
// The device manager where the platform has one; on the NT line a box says there is none.
void OpenDeviceManager(void* window);

inline constexpr const char* kSoundInputProblemCaption = "Sorn Karaoke:  Sound Input Problem";
