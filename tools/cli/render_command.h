// sorn-karaoke-cli render: plays one track of a disc through the real reader thread, ring,
// streaming thread and processing block on the simulated sound card, as fast as the reader
// delivers, and writes what the speakers get into a WAV file.
//
//   render DISC --track N [--karaoke [on|off]] [--mic FILE.wav] [--preset P] [--variation V]
//          [--record TAKE.wav] [--playback TAKE.wav] --out OUT.wav
//
// --mic is the simulated card's live microphone; --record records it through the voice
// recording path into TAKE.wav; --playback plays a recorded take back through the voice
// playback path; without --preset the voice effects are bypassed. The output is the engine's
// start-up silence (the output blocks queued when the card opens, 16,384 frames with the
// standard blocks), then the track, and nothing more; it is put in place only when the render
// succeeds. Progress goes to err; a bad argument, an unusable file or an output that is an
// input gives one line and exit status 2; a failed read or write gives exit status 1.
#pragma once

#include <string>
#include <vector>

int CommandRender(const std::vector<std::string>& args, std::string* out, std::string* err);

// The music source of a render: waits until the reader is ahead of the consumer (two slots
// ready, or the whole range read, or the stream stopped), then plays the ring as the player
// does. An offline render never turns a slow reader into underruns.
void WriteCdDataForRender(float* const channels[2], int bytes);
