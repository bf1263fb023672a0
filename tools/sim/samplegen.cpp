#include "samplegen.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "common/bytes.h"
#include "common/shorttext.h"
#include "common/texts.h"
#include "data/process.h"  // kWaveSamples
#include "materials/materialsblock.h"
#include "objects/objectsblock.h"

// No fused multiply-add: the same operations must round the same way everywhere. GCC
// does not contract in the strict ISO mode this project builds in; clang needs telling.
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#endif

namespace zarn::sim {
namespace {

// --- Random numbers: xoshiro256** seeded through splitmix64 -------------------------

class Rng {
 public:
  explicit Rng(uint64_t seed) {
    for (auto& word : s_) word = SplitMix(seed);
  }

  uint64_t Next() {
    const uint64_t result = Rotl(s_[1] * 5, 7) * 9;
    const uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = Rotl(s_[3], 45);
    return result;
  }

  // Uniform in [0, 1), 53 bits.
  double Unit() { return double(Next() >> 11) * 0x1.0p-53; }
  double Uniform(double lo, double hi) { return lo + (hi - lo) * Unit(); }
  // Uniform integer in [lo, hi] (hi - lo far below 2^32: the bias is negligible).
  int Int(int lo, int hi) { return lo + int((Next() >> 32) * uint64_t(hi - lo + 1) >> 32); }
  bool Chance(double p) { return Unit() < p; }
  // Roughly normal with mean 0 and deviation 1 (sum of four uniforms).
  double Gauss() {
    double s = -2.0;  // one draw per statement: the order of the draws is fixed
    for (int i = 0; i < 4; ++i) s += Unit();
    return s * 1.7320508075688772;  // the sum's deviation is 1/sqrt(3)
  }
  // Index drawn with the given integer weights.
  template <size_t N>
  int Weighted(const std::array<int, N>& weights) {
    int total = 0;
    for (int w : weights) total += w;
    int r = Int(0, total - 1);
    for (size_t i = 0; i < N; ++i) {
      if (r < weights[i]) return int(i);
      r -= weights[i];
    }
    return int(N - 1);
  }

 private:
  static uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  static uint64_t SplitMix(uint64_t& x) {
    uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::array<uint64_t, 4> s_{};
};

double Clamp(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }
int RoundToInt(double v) { return int(std::floor(v + 0.5)); }

// --- Calendar -------------------------------------------------------------------------

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }
int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// The instrument's clock while the user works through the day: series a few minutes
// apart during working hours, now and then a few days later. It never runs past the
// end of 2026 and never goes back.
struct Clock {
  int year, month, day, hour, minute, second;

  bool AtEnd() const { return year == 2026 && month == 12 && day == 31; }
  void AddDays(int n) {
    for (int i = 0; i < n && !AtEnd(); ++i) {
      if (++day > DaysInMonth(year, month)) {
        day = 1;
        if (++month > 12) {
          month = 1;
          ++year;
        }
      }
    }
  }
  // A later working day, starting between 8 and 12 o'clock.
  void NextSession(int days, int startMinute) {
    if (AtEnd()) return AddMinutes(1);
    AddDays(days);
    hour = 8 + startMinute / 60;
    minute = startMinute % 60;
  }
  void AddMinutes(int n) {
    int total = hour * 60 + minute + n;
    if (total >= 19 * 60) {  // the working day is over: go on the next morning
      if (AtEnd()) {
        total = std::min(total, 23 * 60 + 59);
      } else {
        AddDays(1);
        total = 8 * 60 + total % 60;
      }
    }
    hour = total / 60;
    minute = total % 60;
  }
};

// --- What the instrument measures -----------------------------------------------------

// Strength range in MPa of the materials of each editor group.
struct StrengthRange {
  double lo, hi;
};
constexpr std::array<StrengthRange, kMaterialGroups> kGroupStrength = {{
    {10.0, 60.0},  // heavy concrete
    {5.0, 35.0},   // light concrete
    {5.0, 30.0},   // brick
    {1.0, 15.0},   // mortar, screed, plaster
    {2.0, 50.0},   // the user's own materials
}};

struct BlowPlan {
  double strength;  // MPa
  bool kept;        // bit of blowMask
  int direction;
};

// One blow's waveform and the figures derived from it.
struct Waveform {
  int8_t firstSample = 0;
  std::array<int8_t, kWaveSamples - 1> deltas{};
  int stepMode = 0;
  double impactAmplitude = 0;  // V
  double recoilAmplitude = 0;  // V
  double impactDuration = 0;   // µs
  double recoilDuration = 0;   // µs
  double impactEnergy = 0;     // V·ms
  double recoilEnergy = 0;     // V·ms
};

// Half a sine period on u in [0, 1] from the rational approximation
// 16u(1-u) / (5 - 4u(1-u)), within 0.2 % of the sine and needing no library call.
double HalfWave(double u) {
  if (u <= 0.0 || u >= 1.0) return 0.0;
  const double p = u * (1.0 - u);
  return 16.0 * p / (5.0 - 4.0 * p);
}

// An impact of `hardness` (0 soft .. 1 hard) sampled every `stepMs` milliseconds.
// Raw sample units are arbitrary: the program scales the largest running value to
// the impact amplitude. The baseline before the recoil never dips below zero, so the
// first negative swing the chart can trim at is the recoil.
Waveform MakeWaveform(Rng& rng, double hardness, double stepMs) {
  Waveform w;
  w.impactAmplitude = Clamp(0.5 + 3.2 * hardness + 0.25 * rng.Gauss(), 0.5, 4.0);
  double impactUs = Clamp(200.0 - 150.0 * hardness + 12.0 * rng.Gauss(), 40.0, 220.0);
  const double recoilRatio = Clamp(0.25 + 0.4 * hardness + 0.05 * rng.Gauss(), 0.15, 0.8);
  double recoilUs = impactUs * rng.Uniform(1.4, 2.2);
  const int preTrigger = rng.Int(8, 30);

  // A blow whose impact and recoil do not fit the window at the normal spacing is
  // recorded with the doubled spacing; now and then the instrument doubles it anyway.
  const double baseUs = stepMs * 1000.0;
  const double ringUs = recoilUs * 1.2;
  const bool tooLong = preTrigger + (impactUs + recoilUs + ringUs) / baseUs > 480.0;
  w.stepMode = (tooLong || rng.Chance(0.08)) ? 1 : 0;
  const double spacingUs = w.stepMode == 1 ? 2.0 * baseUs : baseUs;

  int impactN = std::max(4, RoundToInt(impactUs / spacingUs));
  int recoilN = std::max(6, RoundToInt(recoilUs / spacingUs));
  const int room = kWaveSamples - preTrigger - 20;
  if (impactN + recoilN > room) {  // still too long: shorten both in proportion
    impactN = std::max(4, impactN * room / (impactN + recoilN));
    recoilN = std::max(6, room - impactN);
  }
  const int ringN = std::max(4, RoundToInt(recoilN * 0.6));

  // Target curve in raw units.
  const double peak = rng.Uniform(96.0, 120.0);
  std::array<double, kWaveSamples> target{};
  const int impactStart = preTrigger;
  const int recoilStart = impactStart + impactN;
  const int ringStart = recoilStart + recoilN;
  for (int k = 0; k < kWaveSamples; ++k) {
    double v = 0.0;
    if (k >= impactStart && k < recoilStart) {
      v = peak * HalfWave((k - impactStart + 0.5) / impactN);
    } else if (k >= recoilStart && k < ringStart) {
      v = -peak * recoilRatio * HalfWave((k - recoilStart + 0.5) / recoilN);
    } else if (k >= ringStart) {
      const int lobe = (k - ringStart) / ringN;
      if (lobe < 3) {
        const double amp = peak * recoilRatio * (lobe == 0 ? 0.22 : lobe == 1 ? -0.08 : 0.03);
        v = amp * HalfWave((k - ringStart - lobe * ringN + 0.5) / ringN);
      }
    }
    // Sensor noise: never below the baseline before the recoil.
    const int noise = rng.Int(0, 3) == 0 ? (k < recoilStart ? rng.Int(0, 1) : rng.Int(-1, 1)) : 0;
    target[size_t(k)] = v + noise;
  }

  // Store as differences of signed bytes; a step that a byte cannot hold carries over.
  int running = std::clamp(RoundToInt(target[0]), 0, 127);
  w.firstSample = int8_t(running);
  std::array<int, kWaveSamples> samples{};
  samples[0] = running;
  for (int k = 1; k < kWaveSamples; ++k) {
    const int d = std::clamp(RoundToInt(target[size_t(k)]) - running, -128, 127);
    w.deltas[size_t(k - 1)] = int8_t(d);
    running += d;
    samples[size_t(k)] = running;
  }

  // Figures derived from what is stored, as the program will draw it.
  int maxV = samples[0], minV = samples[0];
  for (int v : samples) {
    maxV = std::max(maxV, v);
    minV = std::min(minV, v);
  }
  const double scale = w.impactAmplitude / maxV;  // maxV > 0: the pulse peaks near `peak`
  w.recoilAmplitude = -minV * scale;
  const double spacingMs = spacingUs / 1000.0;
  for (int k = impactStart; k < recoilStart; ++k) w.impactEnergy += samples[size_t(k)] * scale;
  for (int k = recoilStart; k < ringStart; ++k) w.recoilEnergy -= samples[size_t(k)] * scale;
  w.impactEnergy *= spacingMs;
  w.recoilEnergy *= spacingMs;
  w.impactDuration = impactN * spacingUs;
  w.recoilDuration = recoilN * spacingUs;
  return w;
}

// Coefficient of variation and range of the kept blows, in tenths of a percent.
struct SeriesFigures {
  double mean = 0;
  uint16_t variation = 0;
  uint16_t range = 0;
};
SeriesFigures Figures(const std::vector<BlowPlan>& blows) {
  SeriesFigures f;
  int n = 0;
  double sum = 0, lo = 0, hi = 0;
  for (const BlowPlan& b : blows) {
    if (!b.kept) continue;
    lo = n == 0 ? b.strength : std::min(lo, b.strength);
    hi = n == 0 ? b.strength : std::max(hi, b.strength);
    sum += b.strength;
    ++n;
  }
  f.mean = sum / n;
  double squares = 0;
  for (const BlowPlan& b : blows) {
    if (!b.kept) continue;
    const double d = b.strength - f.mean;
    squares += d * d;
  }
  const double deviation = n > 1 ? std::sqrt(squares / (n - 1)) : 0.0;
  f.variation = uint16_t(std::min(65535, RoundToInt(deviation / f.mean * 1000.0)));
  f.range = uint16_t(std::min(65535, RoundToInt((hi - lo) / f.mean * 1000.0)));
  return f;
}

// The series of one measurement: its blows' strengths, masks and directions.
std::vector<BlowPlan> PlanBlows(Rng& rng, int count, double level) {
  std::vector<BlowPlan> blows(static_cast<size_t>(count));
  const double cv = rng.Uniform(0.03, 0.12);
  const int direction = rng.Weighted(std::array<int, 3>{15, 60, 25});  // up, side, down
  for (BlowPlan& b : blows) {
    double s = level * (1.0 + cv * rng.Gauss());
    b.kept = true;
    if (rng.Chance(0.07)) {  // a blow into a pore or a stone: the instrument drops it
      s = level * (rng.Chance(0.5) ? rng.Uniform(1.25, 1.5) : rng.Uniform(0.55, 0.8));
      b.kept = false;
    } else if (rng.Chance(0.01)) {
      b.kept = false;
    }
    b.strength = std::max(0.3, s);
    b.direction = rng.Chance(0.05) ? rng.Int(0, 2) : direction;
  }
  if (std::none_of(blows.begin(), blows.end(), [](const BlowPlan& b) { return b.kept; }))
    blows.front().kept = true;
  return blows;
}

// Blow counts as users leave them: mostly the full 10 or 15, otherwise anything.
int DrawBlowCount(Rng& rng) {
  switch (rng.Weighted(std::array<int, 4>{30, 25, 10, 35})) {
    case 0: return 15;
    case 1: return 10;
    case 2: return 5;
    default: return rng.Int(1, 15);
  }
}

// Start of each record in the DataImage, packed by used size; a record may run on
// into the next page, but only at offset 512 or later of a page may one begin, and
// each record read whole (8312 bytes) stays inside the image. Empty when they do not fit.
std::vector<uint32_t> Layout(const std::vector<int>& blowCounts) {
  std::vector<uint32_t> starts;
  starts.reserve(blowCounts.size());
  uint64_t pos = 512;
  for (int blows : blowCounts) {
    if (pos % kDataPageSize < 512) pos = pos - pos % kDataPageSize + 512;
    if (pos + kProcessRecordSize > kDataImageSize) return {};
    starts.push_back(uint32_t(pos));
    pos += UsedRecordSize(blows);
  }
  return starts;
}

void PutText(uint8_t* field, QStringView text) {
  std::fill(field, field + kShortTextCapacity, uint8_t(0));
  StringToShortText(field, text, kShortTextCapacity);
}

}  // namespace

void GenerateSample(DeviceImages& out, int processes, uint64_t seed) {
  processes = std::clamp(processes, 0, kMaxSampleProcesses);
  out.ParamBlock.fill(0);
  out.DataImage.fill(0);
  FillDefaultMaterials(out.MaterialsBlock.data(), kRussian);
  FillDefaultObjects(out.ObjectsBlock.data(), kRussian);

  Rng rng(seed);

  // Series lengths first; when they do not all fit, shorten them in proportion.
  std::vector<int> wanted(static_cast<size_t>(processes));
  for (int& n : wanted) n = DrawBlowCount(rng);
  std::vector<int> counts = wanted;
  std::vector<uint32_t> starts = Layout(counts);
  for (int sixteenths = 15; starts.size() != counts.size() && sixteenths >= 0; --sixteenths) {
    for (size_t i = 0; i < counts.size(); ++i) counts[i] = std::max(1, (wanted[i] * sixteenths + 8) / 16);
    starts = Layout(counts);
  }

  Clock clock{rng.Int(2012, 2020), rng.Int(1, 12), 1, rng.Int(8, 11), rng.Int(0, 59), 0};
  clock.day = rng.Int(1, DaysInMonth(clock.year, clock.month));
  uint32_t number = uint32_t(rng.Int(1, 300));
  int material = 0, object = 1, language = kRussian;
  float timeStep = 0.001f;

  for (int i = 0; i < processes; ++i) {
    // A new working day now and then: other material, object, maybe other settings.
    const bool newSession = i == 0 || rng.Chance(0.06);
    if (newSession) {
      if (i > 0) {
        const int days = rng.Int(1, 14);
        clock.NextSession(days, rng.Int(0, 239));
      }
      language = rng.Chance(0.7) ? kRussian : kEnglish;
      timeStep = rng.Chance(0.8) ? 0.001f : 0.002f;  // ms between samples
    } else {
      clock.AddMinutes(rng.Int(1, 20));
    }
    clock.second = rng.Int(0, 59);
    if (newSession || rng.Chance(0.25)) {
      const int group = rng.Weighted(std::array<int, 5>{38, 17, 20, 20, 5});
      material = MaterialIndex(group, rng.Int(0, 5));
    }
    if (newSession || rng.Chance(0.3)) object = rng.Int(1, kObjectCount - 1);
    number += uint32_t(rng.Chance(0.9) ? 1 : rng.Int(2, 4));

    const StrengthRange sr = kGroupStrength[size_t(MaterialGroup(material))];
    const double level = rng.Uniform(sr.lo, sr.hi);
    const int blowCount = counts[size_t(i)];
    const std::vector<BlowPlan> blows = PlanBlows(rng, blowCount, level);
    const SeriesFigures figures = Figures(blows);
    const MaterialRecord coefficients = DefaultMaterialRecord(material, language);

    // Directory entry.
    const uint32_t start = starts[size_t(i)];
    uint8_t* entry = out.ParamBlock.data() + size_t(i) * kDirectoryEntrySize;
    PutU16(entry, uint16_t(start % kDataPageSize));
    entry[2] = uint8_t(start / kDataPageSize);
    entry[3] = uint8_t(blowCount);  // any value in 1..33 marks the entry valid

    // Header.
    uint8_t* rec = out.DataImage.data() + start;
    PutU16(rec + 6, uint16_t(blowCount));
    uint32_t mask = 0;
    for (int b = 0; b < blowCount; ++b) {
      if (blows[size_t(b)].kept) mask |= 1u << b;
    }
    PutU32(rec + 8, mask);
    PutText(rec + 12, coefficients.name);
    PutText(rec + 32, language == kEnglish ? kDefaultObjectNames[size_t(object)].en
                                           : kDefaultObjectNames[size_t(object)].ru);
    PutF32(rec + 52, coefficients.a2);
    PutF32(rec + 56, coefficients.a1);
    PutF32(rec + 60, coefficients.a0);
    PutF32(rec + 64, coefficients.Kf);
    PutU32(rec + 68, number);
    rec[72] = uint8_t(clock.second);
    rec[73] = uint8_t(clock.minute);
    rec[74] = uint8_t(clock.hour);
    rec[75] = uint8_t(clock.day);
    rec[76] = uint8_t(clock.month);
    rec[77] = uint8_t(clock.year - 2000);
    PutU16(rec + 78, figures.variation);
    PutU16(rec + 80, figures.range);
    PutF32(rec + 84, float(figures.mean));
    PutF32(rec + 88, timeStep);

    // Blows.
    const double top = kGroupStrength[0].hi;
    for (int b = 0; b < blowCount; ++b) {
      const BlowPlan& plan = blows[size_t(b)];
      const Waveform w = MakeWaveform(rng, Clamp(plan.strength / top, 0.0, 1.0), timeStep);
      uint8_t* blow = rec + kProcessHeaderSize + size_t(b) * kBlowRecordSize;
      PutF32(blow + 0, float(w.impactAmplitude));
      PutF32(blow + 4, float(w.recoilAmplitude));
      PutF32(blow + 8, float(w.impactDuration));
      PutF32(blow + 12, float(w.recoilDuration));
      PutF32(blow + 16, float(w.impactEnergy));
      PutF32(blow + 20, float(w.recoilEnergy));
      PutF32(blow + 24, float(rng.Int(1, 10)) * timeStep);  // the trigger's delay
      PutF32(blow + 28, float(plan.strength));
      blow[32] = uint8_t(int8_t(plan.direction));
      blow[34] = uint8_t(w.stepMode);
      blow[35] = uint8_t(w.firstSample);
      for (size_t k = 0; k < w.deltas.size(); ++k) blow[36 + k] = uint8_t(w.deltas[k]);
    }
  }
}

}  // namespace zarn::sim
