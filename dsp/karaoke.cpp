#include "dsp/karaoke.h"

#include <cmath>

void StereoBalanceGains(float balance, float gains[2]) {
  const double angle = (static_cast<double>(balance) + 1.0) * 0.7853982f;
  gains[0] = static_cast<float>(std::cos(angle));
  gains[1] = static_cast<float>(std::sin(angle));
}
