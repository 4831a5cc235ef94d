// make_sounds: the game's sound effects (the hover engine's hum and the
// start-light beep) and its two music loops (title and race), synthesized
// from fixed note lists with fixed noise seeds and encoded as Ogg Vorbis, so
// every run writes the same bytes.
//
// The music is rendered twice in a row through the same effects and only the
// second pass is kept: its start already holds the ringing notes, echoes and
// reverb of its end, so the loop plays on without a seam.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <vorbis/vorbisenc.h>

#include "catalog.h"

namespace {

constexpr int RATE = 44100;
constexpr double PI = 3.14159265358979323846;
constexpr double TWO_PI = 2.0 * PI;

// ---------------------------------------------------------------------------
// Building blocks

// A small fixed random source, the same on every platform (the standard
// library's distributions are not).
class Noise {
 public:
  explicit Noise(uint32_t seed) : state(seed ? seed : 1) {}
  // Uniform in [-1, 1).
  double next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state / 2147483648.0 - 1.0;
  }
  // Uniform in [0, 1).
  double unit() { return 0.5 * (next() + 1.0); }

 private:
  uint32_t state;
};

double noteHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

// Smooths the step of a saw or square at its jump, so the oscillators stay
// free of aliasing in the range the music uses.
double blep(double t, double dt) {
  if (t < dt) {
    t /= dt;
    return t + t - t * t - 1.0;
  }
  if (t > 1.0 - dt) {
    t = (t - 1.0) / dt;
    return t * t + t + t + 1.0;
  }
  return 0.0;
}

struct Oscillator {
  double phase = 0.0;  // 0..1

  double saw(double inc) {
    const double v = 2.0 * phase - 1.0 - blep(phase, inc);
    advance(inc);
    return v;
  }
  double square(double inc) {
    double v = phase < 0.5 ? 1.0 : -1.0;
    v += blep(phase, inc);
    v -= blep(std::fmod(phase + 0.5, 1.0), inc);
    advance(inc);
    return v;
  }
  double sine(double inc) {
    const double v = std::sin(TWO_PI * phase);
    advance(inc);
    return v;
  }
  void advance(double inc) {
    phase += inc;
    phase -= std::floor(phase);
  }
};

// State-variable filter (trapezoidal form): stable while its cutoff moves.
class Filter {
 public:
  double low = 0.0, band = 0.0, high = 0.0;

  void set(double cutoff, double q) {
    cutoff = std::clamp(cutoff, 20.0, 0.45 * RATE);
    const double g = std::tan(PI * cutoff / RATE);
    k = 1.0 / q;
    a1 = 1.0 / (1.0 + g * (g + k));
    a2 = g * a1;
    a3 = g * a2;
  }
  void run(double x) {
    const double v3 = x - s2;
    const double v1 = a1 * s1 + a2 * v3;
    const double v2 = s2 + a2 * s1 + a3 * v3;
    s1 = 2.0 * v1 - s1;
    s2 = 2.0 * v2 - s2;
    low = v2;
    band = v1;
    high = x - k * v1 - v2;
  }

 private:
  double k = 1.0, a1 = 0.0, a2 = 0.0, a3 = 0.0, s1 = 0.0, s2 = 0.0;
};

// A raised-cosine attack, an exponential fall to the sustain level while the
// note is held, then an exponential release that a linear ramp brings to
// exactly zero, so a note never ends in a step. Times in seconds.
struct Envelope {
  double attack, decay, sustain, release;

  double held(double t) const {
    if (t < attack) {
      const double s = std::sin(0.5 * PI * t / attack);
      return s * s;
    }
    if (decay <= 0.0) return 1.0;
    return sustain + (1.0 - sustain) * std::exp(-(t - attack) / decay);
  }
  double at(double t, double gate) const {
    if (t < gate) return held(t);
    const double x = t - gate;
    if (x >= 5.0 * release) return 0.0;
    return held(gate) * std::exp(-x / release) * (1.0 - x / (5.0 * release));
  }
  double length(double gate) const { return gate + 5.0 * release; }
};

// ---------------------------------------------------------------------------
// Mixing

// The dry stereo mix and the two effect sends.
struct Mix {
  std::vector<float> left, right, reverb, echo;
  explicit Mix(size_t frames) : left(frames), right(frames), reverb(frames), echo(frames) {}
  size_t size() const { return left.size(); }
};

// Where a voice sits: its gains into the dry mix and the sends.
struct Place {
  double left, right, reverb, echo;
};

// pan -1 is left, 1 right; equal power in between.
Place place(double gain, double pan, double reverb, double echo) {
  const double angle = (pan + 1.0) * PI / 4.0;
  return {gain * std::cos(angle), gain * std::sin(angle), gain * reverb, gain * echo};
}

void put(Mix& mix, size_t i, double v, const Place& p) {
  mix.left[i] += static_cast<float>(v * p.left);
  mix.right[i] += static_cast<float>(v * p.right);
  mix.reverb[i] += static_cast<float>(v * p.reverb);
  mix.echo[i] += static_cast<float>(v * p.echo);
}

// Runs body(i, t) for the samples of a voice that starts at start and lasts
// seconds, stopping at the end of the mix.
template <class Body>
void voice(const Mix& mix, size_t start, double seconds, Body body) {
  const size_t frames = static_cast<size_t>(seconds * RATE);
  for (size_t i = 0; i < frames && start + i < mix.size(); ++i) body(start + i, double(i) / RATE);
}

// ---------------------------------------------------------------------------
// Instruments. Each renders one note; gate is how long the note is held, in
// seconds.

// Three detuned saws spread across the stereo field, each through its own
// low-pass whose cutoff drifts with the song's clock (drift seconds a cycle,
// a whole number of cycles per loop).
void pad(Mix& mix, size_t start, double gate, int note, double gain, const Envelope& env,
         double cutoff, double drift, double reverb, Noise& rnd) {
  const double cents[3] = {-9.0, 0.0, 8.0};
  const double pans[3] = {-0.75, 0.0, 0.75};
  for (int v = 0; v < 3; ++v) {
    Oscillator osc;
    osc.phase = rnd.unit();
    const double inc = noteHz(note + cents[v] / 100.0) / RATE;
    Filter lp;
    const Place p = place(gain / 3.0, pans[v], reverb, 0.0);
    voice(mix, start, env.length(gate), [&](size_t i, double t) {
      if ((i & 31) == 0) {
        const double clock = double(i) / RATE;
        lp.set(cutoff * (1.0 + 0.4 * std::sin(TWO_PI * clock / drift + v)), 0.8);
      }
      lp.run(osc.saw(inc));
      put(mix, i, lp.low * env.at(t, gate), p);
    });
  }
}

// A soft bell: a sine whose phase is bent by a sine at twice its frequency,
// the bend fading quickly, plus a quieter octave.
void bell(Mix& mix, size_t start, int note, const Place& p) {
  const double f = noteHz(note);
  const Envelope env{0.004, 0.7, 0.0, 0.3};
  const double ring = 2.4;
  voice(mix, start, ring, [&](size_t i, double t) {
    const double index = 1.4 * std::exp(-t / 0.2);
    const double fade = t > ring - 0.3 ? (ring - t) / 0.3 : 1.0;
    const double v = std::sin(TWO_PI * f * t + index * std::sin(TWO_PI * 2.0 * f * t)) +
                     0.25 * std::exp(-t / 0.25) * std::sin(TWO_PI * 2.0 * f * t);
    put(mix, i, v * env.held(t) * fade, p);
  });
}

// A breathy flute-like line: a sine with two weak overtones, a vibrato that
// grows in after the attack and a little filtered breath.
void flute(Mix& mix, size_t start, double gate, int note, const Place& p, Noise& rnd) {
  const double f = noteHz(note);
  const Envelope env{0.14, 0.0, 1.0, 0.25};
  Oscillator osc;
  Filter breath;
  breath.set(2.0 * f, 2.0);
  voice(mix, start, env.length(gate), [&](size_t i, double t) {
    const double depth = 0.004 * std::min(1.0, std::max(0.0, (t - 0.3) / 0.5));
    const double inc = f * (1.0 + depth * std::sin(TWO_PI * 5.0 * t)) / RATE;
    const double s = osc.phase;
    const double v = std::sin(TWO_PI * s) + 0.22 * std::sin(2.0 * TWO_PI * s) +
                     0.07 * std::sin(3.0 * TWO_PI * s);
    osc.advance(inc);
    breath.run(rnd.next());
    put(mix, i, (v + 0.15 * breath.band) * env.at(t, gate), p);
  });
}

// A warm, round bass: a sine with a quieter octave above it.
void softBass(Mix& mix, size_t start, double gate, int note, double gain) {
  const double f = noteHz(note);
  const Envelope env{0.25, 0.0, 1.0, 0.35};
  const Place p = place(gain, 0.0, 0.05, 0.0);
  Oscillator low, high;
  voice(mix, start, env.length(gate), [&](size_t i, double t) {
    const double v = low.sine(f / RATE) + 0.35 * high.sine(2.0 * f / RATE);
    put(mix, i, v * env.at(t, gate), p);
  });
}

// A driving synth bass: saw and square with a sine below, through a low-pass
// that snaps open at each note and closes again.
void synthBass(Mix& mix, size_t start, double gate, int note, double gain) {
  const double f = noteHz(note);
  const Envelope env{0.003, 0.25, 0.7, 0.03};
  const Place p = place(gain, 0.0, 0.02, 0.0);
  Oscillator saw, square, sub;
  Filter lp;
  voice(mix, start, env.length(gate), [&](size_t i, double t) {
    if (((i - start) & 15) == 0) lp.set(180.0 + 1700.0 * std::exp(-t / 0.07), 1.3);
    const double inc = f / RATE;
    lp.run(0.6 * saw.saw(inc) + 0.4 * square.square(inc * 1.003));
    put(mix, i, (lp.low + 0.7 * sub.sine(inc)) * env.at(t, gate), p);
  });
}

// A short plucked square for fast arpeggios.
void pluck(Mix& mix, size_t start, int note, const Place& p) {
  const double f = noteHz(note);
  const Envelope env{0.002, 0.09, 0.0, 0.02};
  const double gate = 0.3;
  Oscillator osc;
  Filter lp;
  voice(mix, start, env.length(gate), [&](size_t i, double t) {
    if (((i - start) & 15) == 0) lp.set(500.0 + 2600.0 * std::exp(-t / 0.05), 1.0);
    lp.run(osc.square(f / RATE));
    put(mix, i, lp.low * env.at(t, gate), p);
  });
}

// The race lead: two detuned saws and a square an octave down through a
// resonant low-pass, with a delayed vibrato.
void lead(Mix& mix, size_t start, double gate, int note, const Place& p) {
  const double f = noteHz(note);
  const Envelope env{0.008, 0.3, 0.75, 0.08};
  Oscillator a, b, c;
  Filter lp;
  voice(mix, start, env.length(gate), [&](size_t i, double t) {
    const double depth = 0.005 * std::min(1.0, std::max(0.0, (t - 0.25) / 0.3));
    const double inc = f * (1.0 + depth * std::sin(TWO_PI * 5.5 * t)) / RATE;
    if (((i - start) & 15) == 0) lp.set(1400.0 + 2200.0 * std::exp(-t / 0.15), 1.6);
    lp.run(a.saw(inc * 1.004) + b.saw(inc * 0.996) + 0.5 * c.square(inc * 0.5));
    put(mix, i, 0.5 * lp.low * env.at(t, gate), p);
  });
}

// Drums: a sine swept down for the kick, filtered noise for the rest.
void kick(Mix& mix, size_t start, double gain) {
  const Place p = place(gain, 0.0, 0.03, 0.0);
  const double length = 0.45;
  double phase = 0.0;
  voice(mix, start, length, [&](size_t i, double t) {
    const double f = 46.0 + 120.0 * std::exp(-t / 0.03);
    phase += f / RATE;
    const double amp = std::exp(-t / 0.22) * (1.0 - t / length);
    put(mix, i, std::sin(TWO_PI * phase) * amp, p);
  });
}

void snare(Mix& mix, size_t start, double gain, Noise& rnd) {
  const Place p = place(gain, 0.05, 0.18, 0.0);
  const double length = 0.32;
  Filter body;
  body.set(1900.0, 0.8);
  Oscillator tone;
  voice(mix, start, length, [&](size_t i, double t) {
    body.run(rnd.next());
    const double fade = 1.0 - t / length;
    const double attack = std::min(1.0, t / 0.001);
    const double v = (body.band + 0.35 * body.high) * std::exp(-t / 0.08) +
                     0.5 * tone.sine((180.0 + 40.0 * std::exp(-t / 0.02)) / RATE) *
                         std::exp(-t / 0.05);
    put(mix, i, v * fade * attack, p);
  });
}

// Closed or open hi-hat (decay in seconds), or a crash with a long decay.
void cymbal(Mix& mix, size_t start, double gain, double decay, double cutoff, double pan,
            Noise& rnd) {
  const Place p = place(gain, pan, 0.12, 0.0);
  const double length = 6.0 * decay;
  Filter hp;
  hp.set(cutoff, 0.7);
  voice(mix, start, length, [&](size_t i, double t) {
    hp.run(rnd.next());
    const double attack = std::min(1.0, t / 0.0008);
    put(mix, i, hp.high * std::exp(-t / decay) * (1.0 - t / length) * attack, p);
  });
}

// ---------------------------------------------------------------------------
// Effects and the master chain

// A stereo room: eight damped feedback combs into four all-passes per side,
// the right side's delays slightly longer for width.
class Reverb {
 public:
  Reverb(double room, double damp) : room(room), damp(damp) {}

  void process(const std::vector<float>& in, std::vector<float>& left, std::vector<float>& right) {
    side(in, left, 0);
    side(in, right, 23);
  }

 private:
  double room, damp;

  void side(const std::vector<float>& in, std::vector<float>& out, int spread) {
    static const int combs[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    static const int passes[4] = {556, 441, 341, 225};
    std::vector<std::vector<double>> comb, pass;
    std::vector<double> store(8, 0.0);
    for (int c : combs) comb.emplace_back(c + spread, 0.0);
    for (int a : passes) pass.emplace_back(a + spread, 0.0);
    std::vector<size_t> ci(8, 0), ai(4, 0);
    for (size_t n = 0; n < in.size(); ++n) {
      const double x = 0.015 * in[n];
      double sum = 0.0;
      for (int c = 0; c < 8; ++c) {
        double& cell = comb[c][ci[c]];
        const double y = cell;
        store[c] = y * (1.0 - damp) + store[c] * damp;
        cell = x + store[c] * room;
        if (++ci[c] == comb[c].size()) ci[c] = 0;
        sum += y;
      }
      for (int a = 0; a < 4; ++a) {
        double& cell = pass[a][ai[a]];
        const double y = cell;
        cell = sum + y * 0.5;
        sum = y - sum;
        if (++ai[a] == pass[a].size()) ai[a] = 0;
      }
      out[n] = static_cast<float>(sum);
    }
  }
};

// Echoes that bounce between left and right, duller with each repeat.
void pingPong(const std::vector<float>& in, size_t delay, double feedback,
              std::vector<float>& left, std::vector<float>& right) {
  std::vector<double> l(delay, 0.0), r(delay, 0.0);
  double toneL = 0.0, toneR = 0.0;
  size_t at = 0;
  for (size_t n = 0; n < in.size(); ++n) {
    const double outL = l[at], outR = r[at];
    toneL += 0.45 * (outL - toneL);
    toneR += 0.45 * (outR - toneR);
    l[at] = in[n] + feedback * toneR;
    r[at] = feedback * toneL;
    if (++at == delay) at = 0;
    left[n] = static_cast<float>(outL);
    right[n] = static_cast<float>(outR);
  }
}

struct Stereo {
  std::vector<float> left, right;
};

struct Master {
  double reverbRoom = 0.8, reverbDamp = 0.4, reverbLevel = 1.0;
  size_t echoDelay = RATE / 4;  // frames
  double echoFeedback = 0.4, echoLevel = 0.3;
  double rmsDb = -18.0;    // the level the compressor works around
  double ceilingDb = -1.5;  // the highest peak let through
};

double fromDb(double db) { return std::pow(10.0, db / 20.0); }

double rmsOf(const Stereo& s, size_t from, size_t to) {
  double sum = 0.0;
  for (size_t i = from; i < to; ++i) sum += double(s.left[i]) * s.left[i] + double(s.right[i]) * s.right[i];
  return std::sqrt(sum / (2.0 * double(to - from)));
}

// Gentle compression: a stereo-linked RMS follower, 2:1 above a threshold
// 4 dB over the target level.
void compress(Stereo& s, double target) {
  const double threshold = target * std::pow(10.0, 4.0 / 20.0);
  const double attack = 1.0 - std::exp(-1.0 / (0.015 * RATE));
  const double release = 1.0 - std::exp(-1.0 / (0.25 * RATE));
  double power = target * target;
  for (size_t i = 0; i < s.left.size(); ++i) {
    const double x = 0.5 * (double(s.left[i]) * s.left[i] + double(s.right[i]) * s.right[i]);
    power += (x > power ? attack : release) * (x - power);
    const double level = std::sqrt(power);
    if (level > threshold) {
      const double gain = std::sqrt(threshold / level);  // 2:1
      s.left[i] = static_cast<float>(s.left[i] * gain);
      s.right[i] = static_cast<float>(s.right[i] * gain);
    }
  }
}

// Look-ahead peak limiter: the gain each sample needs, its minimum over the
// next few milliseconds, averaged over the same window so the gain glides
// down before a peak instead of jumping, then released slowly.
void limit(Stereo& s, double ceiling) {
  const size_t n = s.left.size();
  const size_t window = 128;
  std::vector<double> need(n);
  for (size_t i = 0; i < n; ++i) {
    const double peak = std::max(std::fabs(s.left[i]), std::fabs(s.right[i]));
    need[i] = peak > ceiling ? ceiling / peak : 1.0;
  }
  // ahead[i]: minimum of need over [i, i + window).
  std::vector<double> ahead(n);
  std::deque<size_t> order;
  for (size_t j = n; j-- > 0;) {
    while (!order.empty() && need[order.back()] >= need[j]) order.pop_back();
    order.push_back(j);
    while (order.front() >= j + window) order.pop_front();
    ahead[j] = need[order.front()];
  }
  const double release = 1.0 - std::exp(-1.0 / (0.08 * RATE));
  double sum = 0.0, gain = 1.0;
  for (size_t i = 0; i < n; ++i) {
    sum += ahead[i];
    if (i >= window) sum -= ahead[i - window];
    const double smooth = i >= window ? sum / window : std::min(1.0, sum / double(i + 1));
    gain = std::min(smooth, gain + release * (1.0 - gain));
    s.left[i] = static_cast<float>(s.left[i] * gain);
    s.right[i] = static_cast<float>(s.right[i] * gain);
  }
}

// Adds the effects to the dry mix, evens the level out and keeps the second
// pass of the loop.
Stereo master(Mix& mix, size_t loop, const Master& m) {
  const size_t n = mix.size();
  Stereo s{std::move(mix.left), std::move(mix.right)};
  std::vector<float> l(n), r(n);
  pingPong(mix.echo, m.echoDelay, m.echoFeedback, l, r);
  for (size_t i = 0; i < n; ++i) {
    s.left[i] += static_cast<float>(m.echoLevel * l[i]);
    s.right[i] += static_cast<float>(m.echoLevel * r[i]);
    mix.reverb[i] += static_cast<float>(0.3 * (l[i] + r[i]));  // echoes fill the room too
  }
  Reverb(m.reverbRoom, m.reverbDamp).process(mix.reverb, l, r);
  for (size_t i = 0; i < n; ++i) {
    s.left[i] += static_cast<float>(m.reverbLevel * l[i]);
    s.right[i] += static_cast<float>(m.reverbLevel * r[i]);
  }

  // The kick's sweep leaves a little offset; a 20 Hz high-pass takes it out.
  const double pole = 1.0 - TWO_PI * 20.0 / RATE;
  for (std::vector<float>* channel : {&s.left, &s.right}) {
    double in = 0.0, out = 0.0;
    for (float& v : *channel) {
      out = v - in + pole * out;
      in = v;
      v = static_cast<float>(out);
    }
  }

  // Bring the loop to the target level, compress, then raise the quieter
  // result back before the limiter catches the peaks.
  const double target = fromDb(m.rmsDb);
  double scale = target / rmsOf(s, loop, n);
  for (size_t i = 0; i < n; ++i) {
    s.left[i] = static_cast<float>(s.left[i] * scale);
    s.right[i] = static_cast<float>(s.right[i] * scale);
  }
  compress(s, target);
  scale = target / rmsOf(s, loop, n);
  for (size_t i = 0; i < n; ++i) {
    s.left[i] = static_cast<float>(s.left[i] * scale);
    s.right[i] = static_cast<float>(s.right[i] * scale);
  }
  limit(s, fromDb(m.ceilingDb));

  Stereo out;
  out.left.assign(s.left.begin() + loop, s.left.end());
  out.right.assign(s.right.begin() + loop, s.right.end());
  return out;
}

// ---------------------------------------------------------------------------
// Songs

struct Note {
  int pitch;     // MIDI note number; REST for a pause
  double beats;  // length
};
constexpr int REST = -1;

struct Chord {
  int root;                // MIDI note of the bass
  std::vector<int> tones;  // the voicing, lowest first
};

// Calls play(beat, note) for each note of a line that starts at the given beat.
template <class Play>
void line(double beat, const std::vector<Note>& notes, Play play) {
  for (const Note& n : notes) {
    if (n.pitch != REST) play(beat, n);
    beat += n.beats;
  }
}

// Title: slow and calm, 75 beats a minute, eight bars in A minor. A pad
// holds each chord, a bell arpeggio runs in eighths through a ping-pong echo
// and a flute sings the tune over a round bass.
Stereo titleMusic() {
  const size_t beat = RATE * 60 / 75;  // 35280 frames
  const size_t loop = 8 * 4 * beat;    // 25.6 s
  Mix mix(2 * loop);

  // Bar 8 holds E7sus4 for two beats, then E7, leading back to A minor.
  const std::vector<Chord> chords = {
      {45, {57, 60, 64, 71}}, {41, {53, 57, 60, 64}}, {48, {55, 60, 64, 71}},
      {43, {55, 59, 62, 64}}, {45, {55, 60, 64, 69}}, {41, {53, 57, 60, 67}},
      {38, {53, 57, 60, 64}}, {40, {52, 57, 59, 62}}, {40, {52, 56, 59, 62}}};
  const std::vector<Note> tune = {
      {76, 2}, {74, 1}, {72, 1},      // A minor
      {72, 3}, {69, 1},               // F
      {67, 2}, {76, 2},               // C
      {74, 4},                        // G
      {76, 1.5}, {79, 0.5}, {81, 2},  // A minor
      {79, 1}, {77, 1}, {76, 2},      // F
      {77, 2}, {76, 1}, {74, 1},      // D minor
      {71, 2}, {68, 2}};              // E

  const Envelope padEnv{1.1, 0.0, 1.0, 0.6};
  const double secondsPerBeat = 60.0 / 75.0;
  for (size_t pass = 0; pass < 2; ++pass) {
    // Both passes draw the same noise and phases, so the tails that reach
    // into the second pass are those its own end would have.
    Noise rnd(0x7a1e5eed);
    const size_t origin = pass * loop;
    auto at = [&](double beats) { return origin + static_cast<size_t>(beats * beat + 0.5); };
    for (int bar = 0; bar < 8; ++bar) {
      // The last bar's two halves are chords of their own.
      const int halves = bar == 7 ? 2 : 1;
      for (int h = 0; h < halves; ++h) {
        const Chord& c = chords[bar + h];
        const double from = bar * 4.0 + h * 4.0 / halves;
        const double length = 4.0 / halves;
        for (int tone : c.tones)
          pad(mix, at(from), length * secondsPerBeat, tone, 0.13, padEnv, 1600.0, 6.4, 0.45, rnd);
        // Eight eighths up and back through the chord, an octave higher.
        const int steps[8] = {0, 1, 2, 3, 4, 3, 2, 1};
        for (int e = 0; e < 8 / halves; ++e) {
          const int index = steps[(e + h * 4) % 8];
          const int tone = index < 4 ? c.tones[index] + 12 : c.tones[0] + 24;
          const double pan = (e % 2 ? 0.35 : -0.35);
          const double accent = e % 4 == 0 ? 1.0 : 0.75;
          bell(mix, at(from + 0.5 * e), tone, place(0.17 * accent, pan, 0.5, 0.5));
        }
      }
      softBass(mix, at(bar * 4.0), 3.6 * secondsPerBeat, chords[bar].root, 0.26);
    }
    line(0.0, tune, [&](double b, const Note& n) {
      flute(mix, at(b), n.beats * secondsPerBeat * 0.97, n.pitch, place(0.16, 0.1, 0.4, 0.25),
            rnd);
    });
  }
  Master m;
  m.reverbRoom = 0.86;
  m.reverbDamp = 0.35;
  m.echoDelay = beat * 3 / 4;
  m.echoFeedback = 0.45;
  m.echoLevel = 0.35;
  m.rmsDb = -20.0;
  return master(mix, loop, m);
}

// Race: driving, 140 beats a minute, sixteen bars in E minor. Four on the
// floor with snare, hats and fills; an eighth-note bass; a sixteenth-note
// pluck arpeggio over a quiet pad; the lead comes in at bar five.
Stereo raceMusic() {
  const size_t beat = RATE * 60 / 140;  // 18900 frames
  const size_t loop = 16 * 4 * beat;    // 27.43 s
  Mix mix(2 * loop);

  const Chord em{40, {64, 67, 71}}, c{36, {64, 67, 72}}, g{43, {62, 67, 71}},
      d{38, {62, 66, 69}}, b{35, {63, 66, 71}}, bm{35, {62, 66, 71}}, b7{35, {63, 66, 69, 71}};
  const std::vector<Chord> chords = {em, c, g, d, em, c, d, b, c, d, bm, em, c, d, b7, b7};
  const std::vector<Note> tune = {
      {71, 0.5}, {76, 0.5}, {79, 1}, {78, 0.5}, {76, 0.5}, {74, 0.5}, {76, 0.5},  // Em
      {79, 1.5}, {76, 0.5}, {72, 1}, {76, 1},                                      // C
      {78, 1.5}, {81, 0.5}, {74, 1}, {78, 1},                                      // D
      {75, 2}, {78, 1}, {83, 1},                                                   // B
      {76, 1}, {79, 1}, {84, 1.5}, {83, 0.5},                                      // C
      {81, 1.5}, {78, 0.5}, {74, 1}, {81, 1},                                      // D
      {83, 2}, {81, 0.5}, {78, 0.5}, {74, 1},                                      // Bm
      {76, 3}, {79, 0.5}, {81, 0.5},                                               // Em
      {83, 1.5}, {79, 0.5}, {76, 1}, {79, 1},                                      // C
      {81, 1.5}, {78, 0.5}, {74, 1}, {78, 1},                                      // D
      {75, 1}, {78, 1}, {81, 1}, {83, 1},                                          // B7
      {83, 3}, {REST, 1}};                                                         // B7

  const double secondsPerBeat = 60.0 / 140.0;
  const Envelope padEnv{0.35, 0.0, 1.0, 0.3};
  const int bassSteps[8] = {0, 0, 12, 0, 0, 12, 0, 7};
  const int arpSteps[8] = {0, 1, 2, 1, 3, 2, 1, 2};
  for (size_t pass = 0; pass < 2; ++pass) {
    Noise rnd(0x0dd5eed5);  // the same for both passes, as in the title
    const size_t origin = pass * loop;
    auto at = [&](double beats) { return origin + static_cast<size_t>(beats * beat + 0.5); };
    for (int bar = 0; bar < 16; ++bar) {
      const Chord& ch = chords[bar];
      const double from = bar * 4.0;
      const bool fill = bar % 8 == 7;
      for (int tone : ch.tones)
        pad(mix, at(from), 4.0 * secondsPerBeat, tone - 12, 0.07, padEnv, 1800.0,
            8 * 4 * secondsPerBeat, 0.35, rnd);
      for (int e = 0; e < 8; ++e) {
        const int step = fill && e >= 6 ? (e == 6 ? 10 : 12) : bassSteps[e];
        synthBass(mix, at(from + 0.5 * e), 0.42 * secondsPerBeat, ch.root + step,
                  e % 2 ? 0.22 : 0.27);
      }
      for (int s = 0; s < 16; ++s) {
        const int index = arpSteps[s % 8];
        const int tone = index < 3 ? ch.tones[index] + 12 : ch.tones[0] + 24;
        const double pan = 0.5 * std::sin(TWO_PI * (bar * 16 + s) / 32.0);
        pluck(mix, at(from + 0.25 * s), tone, place(s % 4 == 0 ? 0.085 : 0.06, pan, 0.25, 0.3));
      }

      // Drums, in sixteenths.
      const std::string kicks = bar % 4 == 3 ? "x...x...x...x.x." : "x...x...x...x...";
      const std::string snares = fill ? "....x.......xxxx" : "....x.......x...";
      for (int s = 0; s < 16; ++s) {
        const size_t t = at(from + 0.25 * s);
        if (kicks[s] == 'x') kick(mix, t, 0.9);
        if (snares[s] == 'x') snare(mix, t, fill && s > 12 ? 0.3 + 0.06 * (s - 12) : 0.42, rnd);
        if (bar % 2 == 1 && s == 14) {
          cymbal(mix, t, 0.11, 0.09, 7000.0, 0.3, rnd);  // open hat
        } else if (!(fill && s >= 12)) {
          const double level = s % 4 == 2 ? 0.14 : (s % 2 ? 0.05 : 0.08);
          cymbal(mix, t, level, 0.018, 8000.0, 0.3, rnd);
        }
      }
      if (bar % 8 == 0) cymbal(mix, at(from), 0.16, 0.45, 4500.0, -0.35, rnd);  // crash
    }
    line(16.0, tune, [&](double b, const Note& n) {
      lead(mix, at(b), n.beats * secondsPerBeat * 0.9, n.pitch, place(0.2, 0.0, 0.2, 0.3));
    });
  }
  Master m;
  m.reverbRoom = 0.72;
  m.reverbLevel = 0.8;
  m.echoDelay = beat * 3 / 4;
  m.echoFeedback = 0.35;
  m.rmsDb = -16.0;
  return master(mix, loop, m);
}

// ---------------------------------------------------------------------------
// Effects

// The hover engine at full speed: a 140 Hz hum and its overtones, a twin
// series half a hertz higher that makes it beat slowly, a sub-octave, a faint
// turbine whine and a band of breath, all throbbing at 6 Hz. Two seconds long;
// every frequency is a multiple of 0.5 Hz, so each partial runs a whole
// number of periods and the loop has no seam. Nothing above 4 kHz, so the
// game can raise its pitch by a third without harsh aliases.
std::vector<float> engineHum() {
  const size_t n = 2 * RATE;
  std::vector<double> hum(n, 0.0);
  Noise rnd(0x0e46e5);
  auto partial = [&](double hz, double amp) {
    const double phase = PI * rnd.next();
    for (size_t i = 0; i < n; ++i) hum[i] += amp * std::sin(TWO_PI * hz * i / RATE + phase);
  };
  const double f0 = 140.0;
  for (int h = 1; h * f0 <= 3400.0; ++h) {
    const double hz = h * f0;
    const double formant = 1.0 + 1.6 * std::exp(-std::pow((hz - 700.0) / 300.0, 2.0));
    const double amp = formant / std::pow(h, 1.35);
    partial(hz, amp);
    partial(h * (f0 + 0.5), 0.5 * amp);
  }
  partial(f0 / 2.0, 0.55);
  partial(1917.5, 0.035);
  partial(1920.0, 0.03);

  // Breath: noise through a band-pass, run round the loop three times and
  // kept from the last round, so its end flows into its start.
  std::vector<double> noise(n);
  for (double& v : noise) v = rnd.next();
  Filter band;
  band.set(900.0, 0.7);
  std::vector<double> breath(n);
  for (int round = 0; round < 3; ++round)
    for (size_t i = 0; i < n; ++i) {
      band.run(noise[i]);
      breath[i] = band.band;
    }

  std::vector<float> out(n);
  double peak = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / RATE;
    const double throb = 1.0 + 0.07 * std::sin(TWO_PI * 6.0 * t);
    const double swell = 1.0 + 0.3 * std::sin(TWO_PI * 0.5 * t);
    hum[i] = (hum[i] + 0.45 * breath[i] * swell) * throb;
    peak = std::max(peak, std::fabs(hum[i]));
  }
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<float>(0.7 * hum[i] / peak);
  return out;
}

// The start-light beep: a quarter second of 880 Hz with two weak overtones,
// a 6 ms raised-cosine attack and a 70 ms release that ends at zero.
std::vector<float> beep() {
  const size_t n = RATE / 4;
  const double attack = 0.006, release = 0.07, length = double(n) / RATE;
  std::vector<float> out(n);
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / RATE;
    double env = std::exp(-t / 0.5);
    if (t < attack) env *= std::pow(std::sin(0.5 * PI * t / attack), 2.0);
    if (t > length - release) env *= std::pow(std::sin(0.5 * PI * (length - t) / release), 2.0);
    const double w = TWO_PI * 880.0 * t;
    const double v = std::sin(w) + 0.18 * std::sin(2.0 * w) + 0.06 * std::sin(3.0 * w);
    out[i] = static_cast<float>(0.5 * env * v);
  }
  return out;
}

// ---------------------------------------------------------------------------
// Ogg Vorbis output

void writePage(FILE* file, const ogg_page& page, const std::string& path) {
  if (std::fwrite(page.header, 1, page.header_len, file) != size_t(page.header_len) ||
      std::fwrite(page.body, 1, page.body_len, file) != size_t(page.body_len))
    throw "Could not write " + path;
}

// The comment header with a fixed vendor text and no comments, so the files
// do not change with the encoder library's version string.
std::vector<unsigned char> commentHeader() {
  const std::string vendor = "Glimro sound maker";
  std::vector<unsigned char> bytes = {3, 'v', 'o', 'r', 'b', 'i', 's'};
  auto word = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(v >> (8 * i)));
  };
  word(static_cast<uint32_t>(vendor.size()));
  bytes.insert(bytes.end(), vendor.begin(), vendor.end());
  word(0);
  bytes.push_back(1);  // framing bit
  return bytes;
}

// Encodes the channels (one or two, equally long) at the given VBR quality.
// The stream's serial number comes from the file name, so it is fixed.
void writeOgg(const std::string& path, const std::vector<const std::vector<float>*>& channels,
              float quality) {
  uint32_t serial = 2166136261u;
  for (char ch : path.substr(path.rfind('/') + 1)) serial = (serial ^ uint8_t(ch)) * 16777619u;

  vorbis_info info;
  vorbis_info_init(&info);
  if (vorbis_encode_init_vbr(&info, long(channels.size()), RATE, quality) != 0) {
    vorbis_info_clear(&info);
    throw "Could not set up the Ogg Vorbis encoder for " + path;
  }
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  vorbis_dsp_state dsp;
  vorbis_analysis_init(&dsp, &info);
  vorbis_block block;
  vorbis_block_init(&dsp, &block);
  ogg_stream_state stream;
  ogg_stream_init(&stream, int(serial & 0x7fffffff));
  auto cleanUp = [&] {
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
  };

  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    cleanUp();
    throw "Could not create " + path;
  }
  try {
    ogg_packet id, comments, codebooks;
    vorbis_analysis_headerout(&dsp, &comment, &id, &comments, &codebooks);
    std::vector<unsigned char> fixed = commentHeader();
    comments.packet = fixed.data();
    comments.bytes = long(fixed.size());
    ogg_stream_packetin(&stream, &id);
    ogg_stream_packetin(&stream, &comments);
    ogg_stream_packetin(&stream, &codebooks);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page)) writePage(file, page, path);

    auto drain = [&] {
      while (vorbis_analysis_blockout(&dsp, &block) == 1) {
        vorbis_analysis(&block, nullptr);
        vorbis_bitrate_addblock(&block);
        ogg_packet packet;
        while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
          ogg_stream_packetin(&stream, &packet);
          while (ogg_stream_pageout(&stream, &page)) writePage(file, page, path);
        }
      }
    };
    const size_t frames = channels[0]->size();
    for (size_t at = 0; at < frames; at += 1024) {
      const size_t count = std::min<size_t>(1024, frames - at);
      float** buffer = vorbis_analysis_buffer(&dsp, int(count));
      for (size_t c = 0; c < channels.size(); ++c)
        std::copy_n(channels[c]->begin() + at, count, buffer[c]);
      vorbis_analysis_wrote(&dsp, int(count));
      drain();
    }
    vorbis_analysis_wrote(&dsp, 0);
    drain();
    while (ogg_stream_flush(&stream, &page)) writePage(file, page, path);
  } catch (...) {
    std::fclose(file);
    cleanUp();
    throw;
  }
  cleanUp();
  if (std::fclose(file) != 0) throw "Could not write " + path;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_sounds <resources folder>\n", stderr);
    return 2;
  }
  try {
    const std::string out = argv[1];
    glimro_tools::makeDirs(out + "/sounds");

    const std::vector<float> hum = engineHum();
    writeOgg(out + "/sounds/engine.ogg", {&hum}, 0.4f);
    const std::vector<float> tone = beep();
    writeOgg(out + "/sounds/beep.ogg", {&tone}, 0.4f);
    const Stereo title = titleMusic();
    writeOgg(out + "/sounds/title.ogg", {&title.left, &title.right}, 0.3f);
    const Stereo race = raceMusic();
    writeOgg(out + "/sounds/ingame.ogg", {&race.left, &race.right}, 0.3f);

    std::vector<std::unique_ptr<korvu::xml::Node>> entries;
    entries.push_back(glimro_tools::element(
        "ogg", {{"name", "engine"}, {"filename", "resources/sounds/engine.ogg"}, {"loop", "true"}}));
    entries.push_back(glimro_tools::element(
        "ogg", {{"name", "beep"}, {"filename", "resources/sounds/beep.ogg"}, {"loop", "false"}}));
    glimro_tools::addToCatalog(out + "/sounds.xml", "sounds", std::move(entries));
  } catch (const std::string& message) {
    std::fprintf(stderr, "make_sounds: %s\n", message.c_str());
    return 1;
  }
  return 0;
}
