// Audio start-up and shutdown: InitSound allocates the engine buffers, opens the mixer and sets
// it up for karaoke, opens the wave devices, picks the streaming thread from what opened, and
// reports one result code; CloseSound takes it all down again.
#pragma once

enum InitSoundResult : int {
  kInitSound_Ok = 0,            // input and output open, full-duplex thread running
  kInitSound_InputFailed = 1,   // output-only thread running
  kInitSound_NoDevices = 3,     // neither device opened: no sound
  kInitSound_NoFullDuplex = 4,  // input given up for the output: output-only thread
  kInitSound_MixerFailed = 5,   // no mixer: no device opened, no sound
  kInitSound_ThreadFailed = 6,  // no streaming thread: no sound
};

inline constexpr int kSubBlockDivisor = 16;  // block divisor, recorded and printed only

// Brings the engine up once. Without an installed audio backend it chooses one from the
// configuration first. A second call while running returns 0 and does nothing.
int InitSound(void* mainWindow, void* instance, int blockDivisor);
// Stops the streaming thread (bounded wait), closes the devices, restores and closes the
// mixer, frees the engine buffers. InitSound may run again afterwards.
void CloseSound();

// CloseSound first stops the CD reader thread (clears its run flag, waits up to 3000 ms): the
// CD side installs how.
using CdReaderStop = void (*)();
void SetCloseSoundReaderStop(CdReaderStop stop);
