#include "dsp/karaoke.h"

#include <algorithm>
#include <cmath>

#include "diagnostics/diagnostics.h"
#include "dsp/kernels.h"

namespace {

inline constexpr double kDefaultCrossover = 310.0;
inline constexpr int kDefaultCrossoverOrder = 4;

float GainFromDB(float dB) {
  return static_cast<float>(std::pow(10.0, static_cast<double>(dB) * 0.05));
}

}  // namespace

void DefaultKaraoke(Karaoke* karaoke) {
  karaoke->bassReplaceDB = 0.0f;
  karaoke->voiceReduce = 1.0f;
  for (int ch = 0; ch < 2; ++ch) {
    IIR2* low = &karaoke->lowBand[ch];
    IIR2* high = &karaoke->highBand[ch];
    DefaultIIR2(low);
    low->order = kDefaultCrossoverOrder;
    low->frequency = kDefaultCrossover;
    DefaultIIR2(high);
    high->mode = kIIR2HighPass;
    high->order = kDefaultCrossoverOrder;
    high->frequency = kDefaultCrossover;
  }
  karaoke->useButterworth = 0;
  karaoke->bassGain = GainFromDB(karaoke->bassReplaceDB);
  karaoke->bassBuffer[0] = karaoke->bassBuffer[1] = nullptr;
  karaoke->modified = 1;
  karaoke->samplingFrequency = kSamplingFrequencyNotSet;
}

void SetKaraoke_SamplingFrequency(Karaoke* karaoke, double samplingFrequency) {
  for (int ch = 0; ch < 2; ++ch) {
    SetIIR2_SamplingFrequency(&karaoke->lowBand[ch], samplingFrequency);
    SetIIR2_SamplingFrequency(&karaoke->highBand[ch], samplingFrequency);
  }
  karaoke->modified = samplingFrequency != karaoke->samplingFrequency;
  karaoke->samplingFrequency = samplingFrequency;
}

void SetKaraoke_UseButterworth(Karaoke* karaoke, int useButterworth) {
  karaoke->useButterworth = useButterworth;
  for (int ch = 0; ch < 2; ++ch) {
    SetIIR2_UseButterworth(&karaoke->lowBand[ch], useButterworth);
    SetIIR2_UseButterworth(&karaoke->highBand[ch], useButterworth);
    ResetIIR2(&karaoke->lowBand[ch]);
    ResetIIR2(&karaoke->highBand[ch]);
  }
}

void SetKaraoke_BassReplaceDB(Karaoke* karaoke, float dB) {
  karaoke->bassReplaceDB = dB;
  karaoke->bassGain = GainFromDB(dB);
}

void SetKaraoke_CrossoverFrequency(Karaoke* karaoke, double frequency) {
  const double Q = karaoke->lowBand[0].Q, gainDB = karaoke->lowBand[0].gainDB;
  for (int ch = 0; ch < 2; ++ch) {
    SetIIR2(&karaoke->lowBand[ch], frequency, Q, gainDB, kIIR2LowPass);
    SetIIR2(&karaoke->highBand[ch], frequency, Q, gainDB, kIIR2HighPass);
  }
  UpdateKaraoke(karaoke);
}

void SetKaraoke_CrossoverOrder(Karaoke* karaoke, int order) {
  order = std::clamp(order, 0, kIIR2MaxOrder);
  for (int ch = 0; ch < 2; ++ch) {
    SetIIR2_Order(&karaoke->lowBand[ch], order);
    SetIIR2_Order(&karaoke->highBand[ch], order);
    UpdateIIR2(&karaoke->lowBand[ch]);
    UpdateIIR2(&karaoke->highBand[ch]);
  }
}

void UpdateKaraoke(Karaoke* karaoke) {
  if (karaoke->samplingFrequency == kSamplingFrequencyNotSet)
    Trace("UpdateKaraoke: Hey.  samplingFrequency=%g not set !\n", karaoke->samplingFrequency);
  for (int ch = 0; ch < 2; ++ch) {
    karaoke->lowBand[ch].modified = 1;
    UpdateIIR2(&karaoke->lowBand[ch]);
    karaoke->highBand[ch].modified = 1;
    UpdateIIR2(&karaoke->highBand[ch]);
  }
  karaoke->bassGain = GainFromDB(karaoke->bassReplaceDB);
  karaoke->modified = 0;
}

void ResetKaraoke(Karaoke* karaoke) {
  for (int ch = 0; ch < 2; ++ch) {
    ResetIIR2(&karaoke->lowBand[ch]);
    ResetIIR2(&karaoke->highBand[ch]);
  }
}

void InitKaraoke(Karaoke* karaoke) {
  for (int ch = 0; ch < 2; ++ch) {
    InitIIR2(&karaoke->lowBand[ch]);
    InitIIR2(&karaoke->highBand[ch]);
  }
  karaoke->modified = 1;
  UpdateKaraoke(karaoke);
  ResetKaraoke(karaoke);
}

void ComputeKaraoke(float* const channels[2], int length, Karaoke* karaoke) {
  length = std::min(length, kSubBlockFrames);
  if (length <= 0) return;
  if (karaoke->lowBand[0].order != 0) {
    for (int ch = 0; ch < 2; ++ch) {
      if (karaoke->bassBuffer[ch])
        ComputeIIR2(channels[ch], karaoke->bassBuffer[ch], length, &karaoke->lowBand[ch]);
      ComputeIIR2(channels[ch], channels[ch], length, &karaoke->highBand[ch]);
    }
  }
  ComputeSubtract(channels[0], channels[1], channels[0], length);
}

void StereoBalanceGains(float balance, float gains[2]) {
  const double angle = (static_cast<double>(balance) + 1.0) * 0.7853982f;
  gains[0] = static_cast<float>(std::cos(angle));
  gains[1] = static_cast<float>(std::sin(angle));
}
