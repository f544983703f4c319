// Conventions every signal processor of the DSP library follows.
//
// Samples are 32-bit floats in 16-bit PCM scale (full scale about +-32768), one array per
// channel, never interleaved. The engine hands processors sub-blocks of at most
// kSubBlockFrames frames. Coefficients and filter states are doubles; only output samples are
// rounded to float.
//
// A processor X is a plain record with its parameters, a `modified` flag, a
// `samplingFrequency` (kSamplingFrequencyNotSet until set), derived values written only by
// UpdateX and running state cleared by ResetX. Its operations are DefaultX, SetX_<param>,
// UpdateX, ResetX, InitX (modified, Update, Reset) and ComputeX(in, out, length, record); in
// and out may be the same array. Records own their memory: nothing here allocates.
//
// Threads: UpdateX and ResetX run on the thread that runs ComputeX, or while it is stopped.
// The window thread hands parameter changes to the audio thread through atomic requests of
// the record's owner (see audio/sound_block.h) rather than writing a record in use.
#pragma once

inline constexpr double kSamplingFrequencyNotSet = -1.0;
inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 6.283185307179586;

// Frames per sub-block of the engine; every working buffer holds at least this many samples.
inline constexpr int kSubBlockFrames = 256;
