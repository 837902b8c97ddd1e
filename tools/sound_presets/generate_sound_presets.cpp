// Renders the nine built-in sounds into resources/Sounds and measures them.
//
//   tandrel_sound_presets generate <resources folder>   writes the files
//   tandrel_sound_presets measure <resources folder>    decodes them and prints their figures
//
// Every sound is synthesized here; nothing is sampled. The game cues and the chimes are additive
// and FM synthesis; the three piano excerpts are a small piano model (detuned strings of slightly
// inharmonic partials, each decaying at its own rate, with a short hammer noise) playing the
// openings of public-domain pieces: the Aria of Bach's Goldberg Variations, the first movement of
// Beethoven's "Moonlight" Sonata and Mozart's Rondo alla Turca. The output is deterministic.

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

using Buffer = std::vector<double>;

double midiHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

// A fixed-seed generator, so that every run renders the same noise.
struct Noise {
  uint32_t state = 0x1234567u;
  double next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / static_cast<double>(1u << 24) * 2.0 - 1.0;
  }
};

Buffer silence(double seconds) { return Buffer(static_cast<size_t>(std::lround(seconds * kRate)), 0.0); }

void mixInto(Buffer& out, const Buffer& part, double startSeconds, double gain = 1.0) {
  const size_t start = static_cast<size_t>(std::lround(startSeconds * kRate));
  for (size_t i = 0; i < part.size() && start + i < out.size(); ++i) {
    out[start + i] += part[i] * gain;
  }
}

// Attack in seconds, then exponential decay with the time constant `decay`.
double envelope(double t, double attack, double decay) {
  if (t < 0) return 0;
  const double rise = attack > 0 ? std::min(1.0, t / attack) : 1.0;
  return rise * std::exp(-t / decay);
}

// A bell: inharmonic partials of a struck bar or plate, the higher ones dying faster.
Buffer bell(double hz, double seconds, double decay, double brightness = 1.0) {
  struct Partial { double ratio, gain, decayScale; };
  const Partial partials[] = {{1.0, 1.0, 1.0},  {2.0, 0.45 * brightness, 0.6},
                              {2.76, 0.25 * brightness, 0.45}, {4.07, 0.12 * brightness, 0.3},
                              {5.4, 0.06 * brightness, 0.22}};
  Buffer out = silence(seconds);
  for (size_t i = 0; i < out.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    double v = 0;
    for (const Partial& p : partials) {
      v += p.gain * std::sin(2 * kPi * hz * p.ratio * t) * envelope(t, 0.004, decay * p.decayScale);
    }
    out[i] = v;
  }
  return out;
}

// Two-operator FM: a brass-like tone when the index follows the envelope.
Buffer fmTone(double hz, double seconds, double ratio, double index, double attack, double decay,
              double release = 0.05) {
  Buffer out = silence(seconds);
  for (size_t i = 0; i < out.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    double env = envelope(t, attack, decay);
    const double tail = seconds - t;
    if (tail < release) env *= std::max(0.0, tail / release);
    const double modulator = std::sin(2 * kPi * hz * ratio * t) * index * env;
    out[i] = env * std::sin(2 * kPi * hz * t + modulator);
  }
  return out;
}

// A band-limited-ish square wave (odd harmonics up to 8 kHz), the retro console voice.
Buffer squareTone(double hz, double seconds, double decay) {
  Buffer out = silence(seconds);
  for (size_t i = 0; i < out.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    double v = 0;
    for (int k = 1; k * hz < 8000; k += 2) v += std::sin(2 * kPi * hz * k * t) / k;
    double env = envelope(t, 0.002, decay);
    const double tail = seconds - t;
    if (tail < 0.01) env *= std::max(0.0, tail / 0.01);
    out[i] = v * env * 0.8;
  }
  return out;
}

// One piano note: three slightly detuned strings, partials n with stretch sqrt(1 + B n^2), each
// decaying faster the higher it is, plus a few milliseconds of hammer noise. `hold` is how long
// the key stays down; after it the damper stops the note within 0.12 s.
Buffer pianoNote(double note, double hold, double velocity, Noise& noise) {
  const double hz = midiHz(note);
  const double seconds = hold + 0.15;
  const double inharmonicity = 0.0004;
  const double baseDecay = 2.6 * std::pow(0.94, note - 60.0);
  const double detune[3] = {-0.0008, 0.0, 0.0009};
  Buffer out = silence(seconds);
  const int partialCount = std::max(2, std::min(14, static_cast<int>(7000.0 / hz)));
  for (size_t i = 0; i < out.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    double v = 0;
    for (int n = 1; n <= partialCount; ++n) {
      const double f = hz * n * std::sqrt(1 + inharmonicity * n * n);
      const double gain = std::pow(velocity, 0.5 + 0.15 * n) / (n * 0.9);
      const double env = envelope(t, 0.003, baseDecay / (1 + 0.55 * (n - 1)));
      double strings = 0;
      for (double d : detune) strings += std::sin(2 * kPi * f * (1 + d) * t + n * 0.7);
      v += gain * env * strings / 3.0;
    }
    if (t < 0.012) v += noise.next() * 0.05 * velocity * (1 - t / 0.012);
    if (t > hold) v *= std::max(0.0, 1 - (t - hold) / 0.12);
    out[i] = v;
  }
  return out;
}

struct PianoEvent {
  double start;  // seconds
  double note;   // MIDI note number
  double hold;   // seconds
  double velocity;
};

Buffer renderPiano(const std::vector<PianoEvent>& events, double seconds) {
  Noise noise;
  Buffer out = silence(seconds);
  for (const PianoEvent& e : events) {
    mixInto(out, pianoNote(e.note, e.hold, e.velocity, noise), e.start);
  }
  return out;
}

// A short room: a few feedback delays blended in, so the tails do not stop dead.
void addRoom(Buffer& out, double amount) {
  const int delays[] = {1117, 1491, 1901, 2311};
  Buffer wet(out.size(), 0.0);
  for (int d : delays) {
    Buffer line(out.size(), 0.0);
    for (size_t i = 0; i < out.size(); ++i) {
      line[i] = out[i] + (i >= static_cast<size_t>(d) ? line[i - d] * 0.45 : 0.0);
    }
    for (size_t i = 0; i < out.size(); ++i) wet[i] += line[i] * 0.25;
  }
  for (size_t i = 0; i < out.size(); ++i) out[i] = out[i] * (1 - amount) + wet[i] * amount;
}

// Scales to the given peak and fades the last `fade` seconds to silence.
void finish(Buffer& out, double peak, double fade) {
  const size_t fadeSamples = static_cast<size_t>(fade * kRate);
  for (size_t i = 0; i < fadeSamples && i < out.size(); ++i) {
    out[out.size() - 1 - i] *= static_cast<double>(i) / fadeSamples;
  }
  double maxAbs = 0;
  for (double v : out) maxAbs = std::max(maxAbs, std::abs(v));
  if (maxAbs > 0) {
    for (double& v : out) v *= peak / maxAbs;
  }
}

// ---- The nine sounds ----

// A three-second piano excerpt in a small room.
Buffer pianoExcerpt(const std::vector<PianoEvent>& events, double room, double peak, double fade) {
  Buffer out = renderPiano(events, 3.0);
  addRoom(out, room);
  finish(out, peak, fade);
  return out;
}

Buffer voxelConfirm() {
  Buffer out = silence(2.62);
  const double notes[] = {72, 76, 79, 84};  // C5 E5 G5 C6
  for (int i = 0; i < 4; ++i) mixInto(out, squareTone(midiHz(notes[i]), 0.16, 0.12), 0.07 * i, 0.5);
  mixInto(out, squareTone(midiHz(84), 2.2, 0.55), 0.3, 0.45);
  mixInto(out, squareTone(midiHz(79), 2.2, 0.5), 0.3, 0.22);
  mixInto(out, squareTone(midiHz(88), 1.6, 0.35), 0.42, 0.18);
  finish(out, 0.7, 0.25);
  return out;
}

Buffer epicQuest() {
  Buffer out = silence(2.84);
  struct Note { double start, note, length; };
  const Note fanfare[] = {{0.0, 67, 0.22}, {0.2, 72, 0.22}, {0.4, 76, 0.22}, {0.6, 79, 0.5}};
  for (const Note& n : fanfare) mixInto(out, fmTone(midiHz(n.note), n.length, 1.0, 2.2, 0.02, 0.4), n.start, 0.5);
  for (double note : {60.0, 67.0, 72.0, 76.0, 79.0}) {
    mixInto(out, fmTone(midiHz(note), 1.9, 1.0, 1.4, 0.08, 0.9, 0.5), 0.9, 0.22);
  }
  mixInto(out, bell(midiHz(91), 1.5, 0.6, 0.6), 0.92, 0.15);
  addRoom(out, 0.35);
  finish(out, 0.7, 0.3);
  return out;
}

Buffer arenaVictory() {
  Buffer out = silence(2.58);
  Noise noise;
  // The hit: a falling low thump with a burst of noise.
  Buffer hit = silence(0.5);
  for (size_t i = 0; i < hit.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double hz = 55 + 90 * std::exp(-t / 0.05);
    hit[i] = std::sin(2 * kPi * hz * t) * std::exp(-t / 0.12) + noise.next() * 0.4 * std::exp(-t / 0.03);
  }
  mixInto(out, hit, 0.0, 0.9);
  // Victory: a rising figure, then a held major chord.
  const double rise[] = {69, 73, 76};  // A4 C#5 E5
  for (int i = 0; i < 3; ++i) mixInto(out, fmTone(midiHz(rise[i]), 0.2, 1.0, 2.8, 0.01, 0.3), 0.32 + 0.13 * i, 0.45);
  for (double note : {57.0, 69.0, 73.0, 76.0, 81.0}) {
    mixInto(out, fmTone(midiHz(note), 1.6, 1.0, 2.0, 0.02, 0.7, 0.4), 0.74, 0.2);
  }
  addRoom(out, 0.3);
  finish(out, 0.72, 0.25);
  return out;
}

Buffer lumenAria() {
  // The opening of the Aria (G major, 3/4): the ground bass G F# E D under the first melody notes.
  const double beat = 0.5;
  std::vector<PianoEvent> events = {
      {0.0, 43, 3 * beat, 0.55},          {0.0, 79, 2 * beat, 0.7},  // G2 bass, G5
      {2 * beat, 79, 0.5 * beat, 0.6},    {2.5 * beat, 81, 0.5 * beat, 0.62},  // G5 A5
      {3 * beat, 42, 3 * beat, 0.52},     {3 * beat, 83, 1.5 * beat, 0.7},  // F#2, B5
      {4.5 * beat, 81, 0.5 * beat, 0.58}, {5 * beat, 79, beat, 0.62},  // A5 G5
      {3 * beat, 74, 3 * beat, 0.35},                                   // D5 inner voice
  };
  return pianoExcerpt(events, 0.25, 0.7, 0.35);
}

Buffer moonlightSonata() {
  // Adagio sostenuto, C# minor: octave C# in the bass and the rising triplet G# C# E, swelling.
  const double step = 0.3;
  std::vector<PianoEvent> events = {{0.0, 37, 2.9, 0.6}, {0.0, 49, 2.9, 0.55}};
  const double triplet[] = {56, 61, 64};  // G#3 C#4 E4
  for (int i = 0; i < 10; ++i) {
    const double velocity = 0.4 + 0.05 * i;
    events.push_back({i * step, triplet[i % 3], 3 * step, velocity});
  }
  events.push_back({2.4, 68, 0.55, 0.8});  // the melody's G#4 enters
  return pianoExcerpt(events, 0.25, 0.75, 0.3);
}

Buffer rondoAllaTurca() {
  // Allegretto, A minor: B A G# A | C (quarter); D C B C | E (quarter); F E D# E B A G# A B A G# A.
  const double sixteenth = 0.125;
  const double melody[] = {71, 69, 68, 69, 72, -1, 74, 72, 71, 72, 76, -1,
                           77, 76, 75, 76, 83, 81, 80, 81, 83, 81, 80, 81};
  std::vector<PianoEvent> events;
  double t = 0;
  for (size_t i = 0; i < std::size(melody); ++i) {
    if (melody[i] < 0) continue;
    const bool quarter = i + 1 < std::size(melody) && melody[i + 1] < 0;
    const double length = quarter ? 2 * sixteenth : sixteenth;
    events.push_back({t, melody[i], length * 0.95, 0.62});
    t += length;
  }
  // Left hand: A minor, then E major, in eighths.
  for (int i = 0; i < 12; ++i) {
    const double start = 0.5 + i * 2 * sixteenth;
    const bool dominant = i >= 4 && i < 8;
    const double bass = dominant ? 52 : 45;
    events.push_back({start, bass, 0.2, 0.4});
    for (double note : dominant ? std::vector<double>{56, 59} : std::vector<double>{60, 64}) {
      events.push_back({start, note, 0.2, 0.3});
    }
  }
  return pianoExcerpt(events, 0.18, 0.72, 0.2);
}

Buffer cabinChime() {
  Buffer out = silence(1.12);
  mixInto(out, bell(midiHz(79), 1.0, 0.45, 0.5), 0.0, 0.6);   // G5
  mixInto(out, bell(midiHz(76), 0.75, 0.4, 0.5), 0.34, 0.6);  // E5
  finish(out, 0.6, 0.15);
  return out;
}

Buffer seatbeltChime() {
  Buffer out = silence(1.22);
  mixInto(out, bell(midiHz(86), 1.2, 0.5, 0.35), 0.0, 0.7);  // D6, one soft bong
  mixInto(out, bell(midiHz(74), 1.2, 0.55, 0.2), 0.0, 0.35);  // with its lower octave
  finish(out, 0.55, 0.2);
  return out;
}

Buffer boardingPing() {
  Buffer out = silence(1.06);
  mixInto(out, fmTone(midiHz(88), 1.0, 3.5, 0.6, 0.003, 0.18, 0.3), 0.0, 0.7);  // E6
  mixInto(out, fmTone(midiHz(95), 0.8, 3.5, 0.4, 0.003, 0.14, 0.3), 0.09, 0.35);  // B6
  finish(out, 0.5, 0.2);
  return out;
}

struct Preset {
  const char* path;  // below the resources folder
  double seconds;
  std::function<Buffer()> render;
};

const std::vector<Preset>& presets() {
  static const std::vector<Preset> list = {
      {"Sounds/generated/voxel-confirm.wav", 2.62, voxelConfirm},
      {"Sounds/generated/epic-quest.wav", 2.84, epicQuest},
      {"Sounds/generated/arena-victory.wav", 2.58, arenaVictory},
      {"Sounds/classics/lumen-aria.ogg", 3.0, lumenAria},
      {"Sounds/classics/moonlight-sonata.ogg", 3.0, moonlightSonata},
      {"Sounds/classics/rondo-alla-turca.ogg", 3.0, rondoAllaTurca},
      {"Sounds/generated/cabin-chime.wav", 1.12, cabinChime},
      {"Sounds/generated/seatbelt-chime.wav", 1.22, seatbeltChime},
      {"Sounds/generated/boarding-ping.wav", 1.06, boardingPing},
  };
  return list;
}

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool writeSound(const std::string& file, const Buffer& samples) {
  SF_INFO info{};
  info.samplerate = kRate;
  info.channels = 1;
  const bool vorbis = endsWith(file, ".ogg");
  info.format = vorbis ? (SF_FORMAT_OGG | SF_FORMAT_VORBIS) : (SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
  if (!out) {
    std::fprintf(stderr, "%s: %s\n", file.c_str(), sf_strerror(nullptr));
    return false;
  }
  if (vorbis) {
    double quality = 0.5;
    sf_command(out, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
  }
  const sf_count_t written = sf_writef_double(out, samples.data(), static_cast<sf_count_t>(samples.size()));
  sf_close(out);
  return written == static_cast<sf_count_t>(samples.size());
}

// ---- Measuring ----

void fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const std::complex<double> w = std::polar(1.0, -2 * kPi / static_cast<double>(len));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> wn(1);
      for (size_t k = 0; k < len / 2; ++k) {
        const auto u = a[i + k];
        const auto v = a[i + k + len / 2] * wn;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
        wn *= w;
      }
    }
  }
}

double decibels(double amplitude) { return amplitude > 0 ? 20 * std::log10(amplitude) : -999; }

// Prints length, peak, RMS, the level of each tenth of the sound and the strongest spectral peaks
// (averaged over Hann-windowed frames of 8192 samples).
bool measure(const std::string& file) {
  SF_INFO info{};
  SNDFILE* in = sf_open(file.c_str(), SFM_READ, &info);
  if (!in) {
    std::printf("%s: cannot open (%s)\n", file.c_str(), sf_strerror(nullptr));
    return false;
  }
  Buffer frames(static_cast<size_t>(info.frames) * info.channels);
  const sf_count_t read = sf_readf_double(in, frames.data(), info.frames);
  sf_close(in);
  Buffer mono(static_cast<size_t>(read));
  for (size_t i = 0; i < mono.size(); ++i) {
    for (int c = 0; c < info.channels; ++c) mono[i] += frames[i * info.channels + c] / info.channels;
  }
  double peak = 0, sum = 0;
  for (double v : mono) {
    peak = std::max(peak, std::abs(v));
    sum += v * v;
  }
  const double rms = mono.empty() ? 0 : std::sqrt(sum / mono.size());
  std::printf("%s\n  %.3f s, %d Hz, %d channel(s); peak %.1f dBFS, RMS %.1f dBFS\n  levels by tenth (dBFS):",
              file.c_str(), static_cast<double>(read) / info.samplerate, info.samplerate, info.channels,
              decibels(peak), decibels(rms));
  for (int part = 0; part < 10; ++part) {
    const size_t from = mono.size() * part / 10, to = mono.size() * (part + 1) / 10;
    double s = 0;
    for (size_t i = from; i < to; ++i) s += mono[i] * mono[i];
    std::printf(" %.0f", decibels(to > from ? std::sqrt(s / (to - from)) : 0));
  }
  constexpr size_t kFrame = 8192;
  std::vector<double> spectrum(kFrame / 2, 0.0);
  for (size_t start = 0; start + kFrame <= mono.size(); start += kFrame / 2) {
    std::vector<std::complex<double>> a(kFrame);
    for (size_t i = 0; i < kFrame; ++i) {
      a[i] = mono[start + i] * (0.5 - 0.5 * std::cos(2 * kPi * i / (kFrame - 1)));
    }
    fft(a);
    for (size_t k = 0; k < kFrame / 2; ++k) spectrum[k] += std::abs(a[k]);
  }
  std::vector<size_t> peaks;
  for (size_t k = 2; k + 2 < spectrum.size(); ++k) {
    if (spectrum[k] > spectrum[k - 1] && spectrum[k] >= spectrum[k + 1] && spectrum[k] > spectrum[k - 2] &&
        spectrum[k] >= spectrum[k + 2]) {
      peaks.push_back(k);
    }
  }
  std::sort(peaks.begin(), peaks.end(), [&](size_t a, size_t b) { return spectrum[a] > spectrum[b]; });
  double energyBelow2k = 0, energy = 0;
  for (size_t k = 0; k < spectrum.size(); ++k) {
    const double e = spectrum[k] * spectrum[k];
    energy += e;
    if (k * static_cast<double>(info.samplerate) / kFrame < 2000) energyBelow2k += e;
  }
  std::printf("\n  strongest partials (Hz):");
  for (size_t i = 0; i < std::min<size_t>(6, peaks.size()); ++i) {
    std::printf(" %.0f", peaks[i] * static_cast<double>(info.samplerate) / kFrame);
  }
  std::printf("; %.0f%% of the energy below 2 kHz\n", energy > 0 ? 100 * energyBelow2k / energy : 0);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "generate") != 0 && std::strcmp(argv[1], "measure") != 0)) {
    std::fprintf(stderr, "usage: %s generate|measure <resources folder>\n", argv[0]);
    return 2;
  }
  const std::string root = argv[2];
  const bool generate = std::strcmp(argv[1], "generate") == 0;
  bool ok = true;
  for (const Preset& preset : presets()) {
    const std::string file = root + "/" + preset.path;
    if (generate) {
      Buffer samples = preset.render();
      samples.resize(static_cast<size_t>(std::lround(preset.seconds * kRate)), 0.0);
      if (!writeSound(file, samples)) ok = false;
    } else if (!measure(file)) {
      ok = false;
    }
  }
  return ok ? 0 : 1;
}
