// The karaoke stage of the processing block: voice reduction of the CD's music (crossover,
// difference signal, stereo generator, bass replace), run on every CD sub-block while
// karaoke is on.
//
// The voice reducer is not part of the engine yet. Until it is, the stage leaves the music
// stereo as read and reports mono-or-off operation, exactly as with karaoke off.
#pragma once

// Clears the reducer's and the stereo generator's memories (first CD block of a run).
void ResetKaraokeStage();

// Runs the stage in place on music[0..1] (length <= 256 frames) with scratch as a free array.
// *stereoWasMono is the calling thread's flag: set when the stage produced mono (or did not
// run), cleared after a stereo-generator block.
void RunKaraokeStage(float* const music[2], float* scratch, int length, int* stereoWasMono);
