// Karaoke voice reducer. For now it holds the pan law that the processing block applies to
// the music; the reducer's record and stage join it here.
#pragma once

// Constant-power balance: angle = (balance + 1) * pi/4 (as the float 0.7853982);
// gains[0] (left) = cos(angle), gains[1] (right) = sin(angle). Balance -1 gives (1, 0), 0 gives
// (0.7071, 0.7071), +1 gives (0, 1).
void StereoBalanceGains(float balance, float gains[2]);
