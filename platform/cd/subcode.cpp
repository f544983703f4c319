#include "platform/cd/subcode.h"

#include <array>
#include <cstring>

namespace {

// ---- GF(64), x^6 + x + 1 ------------------------------------------------------------------

struct Field {
  std::array<uint8_t, 126> exp{};  // twice the period, so sums of logs need no reduction
  std::array<int, 64> log{};
  constexpr Field() {
    int x = 1;
    for (int i = 0; i < 63; ++i) {
      exp[i] = exp[i + 63] = static_cast<uint8_t>(x);
      log[x] = i;
      x <<= 1;
      if (x & 0x40) x ^= 0x43;
    }
    log[0] = -1;
  }
};
constexpr Field kField;

uint8_t Mul(uint8_t a, uint8_t b) {
  if (a == 0 || b == 0) return 0;
  return kField.exp[kField.log[a] + kField.log[b]];
}
uint8_t Div(uint8_t a, uint8_t b) {  // b != 0
  if (a == 0) return 0;
  return kField.exp[kField.log[a] + 63 - kField.log[b]];
}
uint8_t Pow(int power) {  // alpha^power, power >= 0
  return kField.exp[power % 63];
}

// Syndrome k of a code word of n symbols: sum of s[i] * alpha^(k * (n - 1 - i)).
uint8_t Syndrome(const uint8_t* s, int n, int k) {
  uint8_t sum = 0;
  for (int i = 0; i < n; ++i) sum ^= Mul(s[i] & kSymbolMask, Pow(k * (n - 1 - i)));
  return sum;
}

// The generator (x + 1)(x + a)(x + a^2)(x + a^3) of the P parity, highest power first
// without its leading 1.
constexpr int kParityP = 4;
std::array<uint8_t, kParityP> PGenerator() {
  std::array<uint8_t, kParityP + 1> g{1};  // g[0] is the highest power
  for (int k = 0; k < kParityP; ++k) {
    // g(x) *= (x + a^k)
    std::array<uint8_t, kParityP + 1> next{};
    for (int i = 0; i <= k && i < kParityP; ++i) {
      next[i] ^= g[i];                   // * x
      next[i + 1] ^= Mul(g[i], Pow(k));  // * a^k
    }
    g = next;
  }
  return {g[1], g[2], g[3], g[4]};
}
const std::array<uint8_t, kParityP> kGeneratorP = PGenerator();

// Symbol positions exchanged before the interleave (and back after the de-interleave).
int Swapped(int i) {
  switch (i) {
    case 1:
      return 18;
    case 18:
      return 1;
    case 2:
      return 5;
    case 5:
      return 2;
    case 3:
      return 23;
    case 23:
      return 3;
    default:
      return i;
  }
}

// Raw symbol position, from the start of pack n's raw pack, of symbol i of pack n.
size_t RawOffset(int i) {
  const int s = Swapped(i);
  return static_cast<size_t>(s + kPackBytes * (s % kInterleavePacks));
}

bool AllZero(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i] & kSymbolMask) return false;
  return true;
}

uint8_t Bcd(int value) {
  value = value < 0 ? 0 : value % 100;
  return static_cast<uint8_t>((value / 10) << 4 | value % 10);
}

uint16_t Crc16(const uint8_t* data, size_t n) {
  uint16_t crc = 0;
  for (size_t i = 0; i < n; ++i) {
    crc ^= static_cast<uint16_t>(data[i] << 8);
    for (int b = 0; b < 8; ++b)
      crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

}  // namespace

void SetPackParity(uint8_t pack[kPackBytes]) {
  for (int i = 0; i < kPackBytes; ++i) pack[i] &= kSymbolMask;
  // Q: s0 + s1 + s2 + s3 = 0 and s0 a^3 + s1 a^2 + s2 a + s3 = 0.
  const uint8_t a = Pow(1);
  const uint8_t t = Mul(pack[0], Pow(3) ^ 1) ^ Mul(pack[1], Pow(2) ^ 1);
  pack[2] = Div(t, a ^ 1);
  pack[3] = pack[0] ^ pack[1] ^ pack[2];
  // P: the remainder of the first 20 symbols (times x^4) divided by the generator.
  uint8_t r[kParityP] = {};
  for (int i = 0; i < kPackBytes - kParityP; ++i) {
    const uint8_t feedback = pack[i] ^ r[0];
    for (int k = 0; k < kParityP - 1; ++k) r[k] = r[k + 1] ^ Mul(feedback, kGeneratorP[k]);
    r[kParityP - 1] = Mul(feedback, kGeneratorP[kParityP - 1]);
  }
  std::memcpy(pack + kPackBytes - kParityP, r, kParityP);
}

PackParity CheckPackParity(uint8_t pack[kPackBytes]) {
  uint8_t s[kParityP];
  bool clean = true;
  for (int k = 0; k < kParityP; ++k) {
    s[k] = Syndrome(pack, kPackBytes, k);
    clean = clean && s[k] == 0;
  }
  PackParity result = PackParity::kGood;
  if (!clean) {
    // One wrong symbol e at locator X gives the syndromes e, eX, eX^2, eX^3.
    if (s[0] == 0 || s[1] == 0 || Mul(s[1], s[1]) != Mul(s[0], s[2]) ||
        Mul(s[2], s[2]) != Mul(s[1], s[3]))
      return PackParity::kBad;
    const int power = kField.log[Div(s[1], s[0])];
    const int position = kPackBytes - 1 - power;
    if (position < 0) return PackParity::kBad;
    pack[position] = (pack[position] & kSymbolMask) ^ s[0];
    result = PackParity::kCorrected;
  }
  if (Syndrome(pack, 4, 0) != 0 || Syndrome(pack, 4, 1) != 0) return PackParity::kBad;
  return result;
}

size_t DeinterleaveRw(const uint8_t* raw, size_t rawPacks, uint8_t* packs) {
  const size_t symbols = rawPacks * kPackBytes;
  for (size_t n = 0; n < rawPacks; ++n) {
    for (int i = 0; i < kPackBytes; ++i) {
      const size_t from = n * kPackBytes + RawOffset(i);
      packs[n * kPackBytes + i] = from < symbols ? raw[from] & kSymbolMask : 0;
    }
  }
  return rawPacks > kInterleavePacks - 1 ? rawPacks - (kInterleavePacks - 1) : 0;
}

void InterleaveRw(const uint8_t* packs, size_t packCount, const uint8_t* history, uint8_t* raw) {
  constexpr int kHistory = kInterleavePacks - 1;
  for (size_t m = 0; m < packCount; ++m) {
    for (int j = 0; j < kPackBytes; ++j) {
      // Raw symbol j of pack m is symbol Swapped(j) of the pack j % 8 packs earlier.
      const long source = static_cast<long>(m) - j % kInterleavePacks;
      const int symbol = Swapped(j);
      uint8_t value = 0;
      if (source >= 0)
        value = packs[static_cast<size_t>(source) * kPackBytes + symbol];
      else if (history)
        value = history[static_cast<size_t>(kHistory + source) * kPackBytes + symbol];
      uint8_t& out = raw[m * kPackBytes + j];
      out = static_cast<uint8_t>((out & ~kSymbolMask) | (value & kSymbolMask));
    }
  }
}

size_t RawToPackSectors(const uint8_t* raw, size_t sectorCount, uint8_t* packs,
                        ParityCounts* counts) {
  if (sectorCount < 3) return 0;
  const size_t out = sectorCount - 2;
  // De-interleave sector by sector so that packs needs room for the sectors delivered only.
  for (size_t sector = 0; sector < out; ++sector) {
    uint8_t window[3 * kSubcodeBytes];
    std::memcpy(window, raw + sector * kSubcodeBytes, sizeof window);
    uint8_t three[3 * kSubcodeBytes];
    DeinterleaveRw(window, 3 * kPacksPerSector, three);
    uint8_t* target = packs + sector * kSubcodeBytes;
    std::memcpy(target, three, kSubcodeBytes);
    for (int p = 0; p < kPacksPerSector; ++p) {
      uint8_t* pack = target + p * kPackBytes;
      if (AllZero(pack, kPackBytes)) continue;
      const PackParity parity = CheckPackParity(pack);
      if (parity == PackParity::kBad) std::memset(pack, 0, kPackBytes);
      if (counts) {
        if (parity == PackParity::kGood) ++counts->good;
        if (parity == PackParity::kCorrected) ++counts->corrected;
        if (parity == PackParity::kBad) ++counts->bad;
      }
    }
  }
  return out;
}

void PutQChannel(uint8_t raw[kSubcodeBytes], const uint8_t q[12]) {
  for (int bit = 0; bit < kSubcodeBytes; ++bit) {
    const bool on = (q[bit / 8] >> (7 - bit % 8)) & 1;
    raw[bit] = static_cast<uint8_t>((raw[bit] & ~0x40) | (on ? 0x40 : 0));
  }
}

void GetQChannel(const uint8_t raw[kSubcodeBytes], uint8_t q[12]) {
  std::memset(q, 0, 12);
  for (int bit = 0; bit < kSubcodeBytes; ++bit)
    if (raw[bit] & 0x40) q[bit / 8] |= static_cast<uint8_t>(0x80 >> (bit % 8));
}

void BuildPositionQ(int track, int index, int32_t trackFrames, int32_t absoluteFrames,
                    uint8_t q[12]) {
  const int32_t relative = trackFrames < 0 ? -trackFrames : trackFrames;
  q[0] = 0x01;  // audio, two channels, no pre-emphasis; mode 1
  q[1] = Bcd(track);
  q[2] = Bcd(index);
  q[3] = Bcd(relative / 4500);
  q[4] = Bcd(relative / 75 % 60);
  q[5] = Bcd(relative % 75);
  q[6] = 0;
  q[7] = Bcd(absoluteFrames / 4500);
  q[8] = Bcd(absoluteFrames / 75 % 60);
  q[9] = Bcd(absoluteFrames % 75);
  const uint16_t crc = static_cast<uint16_t>(~Crc16(q, 10));
  q[10] = static_cast<uint8_t>(crc >> 8);
  q[11] = static_cast<uint8_t>(crc);
}

bool QCrcValid(const uint8_t q[12]) {
  const uint16_t crc = static_cast<uint16_t>(~Crc16(q, 10));
  return q[10] == static_cast<uint8_t>(crc >> 8) && q[11] == static_cast<uint8_t>(crc);
}
