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
// seconds. The mix is one turn of a loop: a note that rings past its end
// goes on at its start, where the loop's next turn would play it.
template <class Body>
void voice(const Mix& mix, size_t start, double seconds, Body body) {
  const size_t frames = static_cast<size_t>(seconds * RATE);
  const size_t n = mix.size();
  for (size_t i = 0; i < frames; ++i) body((start + i) % n, double(i) / RATE);
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
// the bend fading quickly, plus a quieter octave and a brief glassy partial.
void bell(Mix& mix, size_t start, int note, const Place& p) {
  const double f = noteHz(note);
  const Envelope env{0.004, 0.7, 0.0, 0.3};
  const double ring = 2.4;
  voice(mix, start, ring, [&](size_t i, double t) {
    const double index = 1.4 * std::exp(-t / 0.2);
    const double fade = t > ring - 0.3 ? (ring - t) / 0.3 : 1.0;
    const double v = std::sin(TWO_PI * f * t + index * std::sin(TWO_PI * 2.0 * f * t)) +
                     0.25 * std::exp(-t / 0.25) * std::sin(TWO_PI * 2.0 * f * t) +
                     0.12 * std::exp(-t / 0.06) * std::sin(TWO_PI * 5.4 * f * t);
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
// that snaps open at each note and closes again; open is how far.
void synthBass(Mix& mix, size_t start, double gate, int note, double gain, double open = 1.0) {
  const double f = noteHz(note);
  const Envelope env{0.003, 0.25, 0.7, 0.03};
  const Place p = place(gain, 0.0, 0.02, 0.0);
  Oscillator saw, square, sub;
  Filter lp;
  size_t step = 0;
  voice(mix, start, env.length(gate), [&](size_t i, double t) {
    if ((step++ & 15) == 0) lp.set(220.0 + 2200.0 * open * std::exp(-t / 0.07), 1.3);
    const double inc = f / RATE;
    lp.run(0.6 * saw.saw(inc) + 0.4 * square.square(inc * 1.003));
    put(mix, i, (lp.low + 0.6 * sub.sine(inc)) * env.at(t, gate), p);
  });
}

// A short plucked square for fast arpeggios; bright scales how far its
// filter opens.
void pluck(Mix& mix, size_t start, int note, const Place& p, double bright = 1.0) {
  const double f = noteHz(note);
  const Envelope env{0.002, 0.09, 0.0, 0.02};
  const double gate = 0.3;
  Oscillator osc;
  Filter lp;
  size_t step = 0;
  voice(mix, start, env.length(gate), [&](size_t i, double t) {
    if ((step++ & 15) == 0) lp.set(500.0 + 4200.0 * bright * std::exp(-t / 0.05), 1.0);
    lp.run(osc.square(f / RATE));
    put(mix, i, lp.low * env.at(t, gate), p);
  });
}

// The race lead: two detuned saws and a square an octave down through a
// resonant low-pass, with a delayed vibrato. The soaring tone adds a third
// saw an octave up, opens the filter further and swells in.
void lead(Mix& mix, size_t start, double gate, int note, const Place& p, bool soaring = false) {
  const double f = noteHz(note);
  const Envelope env = soaring ? Envelope{0.06, 0.6, 0.8, 0.25} : Envelope{0.008, 0.3, 0.75, 0.08};
  const double base = soaring ? 2600.0 : 2000.0, sweep = soaring ? 3000.0 : 3400.0;
  Oscillator a, b, c, d;
  Filter lp;
  size_t step = 0;
  voice(mix, start, env.length(gate), [&](size_t i, double t) {
    const double depth = (soaring ? 0.007 : 0.005) * std::clamp((t - 0.25) / 0.3, 0.0, 1.0);
    const double inc = f * (1.0 + depth * std::sin(TWO_PI * 5.5 * t)) / RATE;
    if ((step++ & 15) == 0) lp.set(base + sweep * std::exp(-t / 0.15), 1.5);
    double v = a.saw(inc * 1.004) + b.saw(inc * 0.996) + 0.5 * c.square(inc * 0.5);
    if (soaring) v += 0.35 * d.saw(inc * 2.002);
    lp.run(v);
    put(mix, i, 0.5 * lp.low * env.at(t, gate), p);
  });
}

// An electric piano: a sine bent by a sine of its own frequency, the bend
// fading as the note rings, with a bright tine at fourteen times the
// frequency in the first moments.
void keys(Mix& mix, size_t start, double gate, int note, const Place& p) {
  const double f = noteHz(note);
  const Envelope env{0.002, 0.9, 0.3, 0.3};
  voice(mix, start, env.length(gate), [&](size_t i, double t) {
    const double w = TWO_PI * f * t;
    const double index = 0.35 + 1.3 * std::exp(-t / 0.25);
    const double tine = 0.8 * std::exp(-t / 0.025) * std::sin(14.0 * w);
    const double v = std::sin(w + index * std::sin(w) + tine);
    put(mix, i, v * env.at(t, gate), p);
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
    // Twice round the loop: the second round starts with the first's tail.
    for (size_t k = 0; k < 2 * in.size(); ++k) {
      const size_t n = k % in.size();
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
  for (size_t k = 0; k < 2 * in.size(); ++k) {  // twice round the loop, as the room
    const size_t n = k % in.size();
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
  double shelfHz = 2500.0, shelfDb = 0.0;  // the lift of the highs
  double rmsDb = -14.0;     // the level the compressor works around
  double ceilingDb = -1.5;  // the highest peak let through
};

double fromDb(double db) { return std::pow(10.0, db / 20.0); }

double rmsOf(const Stereo& s) {
  double sum = 0.0;
  for (size_t i = 0; i < s.left.size(); ++i)
    sum += double(s.left[i]) * s.left[i] + double(s.right[i]) * s.right[i];
  return std::sqrt(sum / (2.0 * double(s.left.size())));
}

void scale(Stereo& s, double gain) {
  for (size_t i = 0; i < s.left.size(); ++i) {
    s.left[i] = static_cast<float>(s.left[i] * gain);
    s.right[i] = static_cast<float>(s.right[i] * gain);
  }
}

// A one-pole low-pass at hz, run twice round the loop so that its state at
// the start is the one the end leaves; mix says how much of its input (dry)
// and its output (low) to keep.
void onePole(std::vector<float>& x, double hz, double dry, double low) {
  const double a = 1.0 - std::exp(-TWO_PI * hz / RATE);
  double state = 0.0;
  for (int round = 0; round < 2; ++round)
    for (float& v : x) {
      state += a * (v - state);
      if (round == 1) v = static_cast<float>(dry * v + low * state);
    }
}

// Gentle compression: a stereo-linked RMS follower, 2:1 above a threshold
// 4 dB over the target level. The follower goes round the loop once before
// it acts, so it meets the start as the end left it.
void compress(Stereo& s, double target) {
  const double threshold = target * std::pow(10.0, 4.0 / 20.0);
  const double attack = 1.0 - std::exp(-1.0 / (0.015 * RATE));
  const double release = 1.0 - std::exp(-1.0 / (0.25 * RATE));
  double power = target * target;
  for (int round = 0; round < 2; ++round)
    for (size_t i = 0; i < s.left.size(); ++i) {
      const double x = 0.5 * (double(s.left[i]) * s.left[i] + double(s.right[i]) * s.right[i]);
      power += (x > power ? attack : release) * (x - power);
      const double level = std::sqrt(power);
      if (round == 1 && level > threshold) {
        const double gain = std::sqrt(threshold / level);  // 2:1
        s.left[i] = static_cast<float>(s.left[i] * gain);
        s.right[i] = static_cast<float>(s.right[i] * gain);
      }
    }
}

// Look-ahead peak limiter: the gain each sample needs, its minimum over the
// next few milliseconds, averaged over the same window so the gain glides
// down before a peak instead of jumping, then released slowly. The windows
// wrap round the loop, and the release runs round once before it acts.
void limit(Stereo& s, double ceiling) {
  const size_t n = s.left.size();
  const size_t window = 128;
  std::vector<double> need(n);
  for (size_t i = 0; i < n; ++i) {
    const double peak = std::max(std::fabs(s.left[i]), std::fabs(s.right[i]));
    need[i] = peak > ceiling ? ceiling / peak : 1.0;
  }
  // ahead[i]: minimum of need over [i, i + window), round the loop.
  std::vector<double> ahead(n);
  std::deque<size_t> order;
  for (size_t j = n + window; j-- > 0;) {
    while (!order.empty() && need[order.back() % n] >= need[j % n]) order.pop_back();
    order.push_back(j);
    while (order.front() >= j + window) order.pop_front();
    if (j < n) ahead[j] = need[order.front() % n];
  }
  const double release = 1.0 - std::exp(-1.0 / (0.08 * RATE));
  double sum = 0.0, gain = 1.0;
  for (size_t i = n - window; i < n; ++i) sum += ahead[i];
  for (int round = 0; round < 2; ++round)
    for (size_t i = 0; i < n; ++i) {
      sum += ahead[i] - ahead[(i + n - window) % n];
      gain = std::min(sum / window, gain + release * (1.0 - gain));
      if (round == 1) {
        s.left[i] = static_cast<float>(s.left[i] * gain);
        s.right[i] = static_cast<float>(s.right[i] * gain);
      }
    }
}

// Adds the effects to the dry mix, lifts the highs and evens the level out.
// Every stage treats the mix as a loop, so its end flows into its start.
Stereo master(Mix& mix, const Master& m) {
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

  // The kick's sweep leaves a little offset: take out what lies under 20 Hz.
  // Then a shelf: the highs above shelfHz raised by shelfDb.
  const double lift = fromDb(m.shelfDb);
  for (std::vector<float>* channel : {&s.left, &s.right}) {
    onePole(*channel, 20.0, 1.0, -1.0);
    onePole(*channel, m.shelfHz, lift, 1.0 - lift);
  }

  // Bring the loop to the target level, compress, then raise the quieter
  // result back before the limiter catches the peaks.
  const double target = fromDb(m.rmsDb);
  scale(s, target / rmsOf(s));
  compress(s, target);
  scale(s, target / rmsOf(s));
  limit(s, fromDb(m.ceilingDb));
  return s;
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

// One bar of a song: its chord, or two chords of two beats each.
struct Bar {
  Chord chord, second{0, {}};  // second: root 0 when the chord holds the whole bar
  Bar(const Chord& whole) : chord(whole) {}
  Bar(const Chord& first, const Chord& then) : chord(first), second(then) {}
  const Chord& at(double beat) const { return second.root && beat >= 2.0 ? second : chord; }
};

// A stretch of a song with one arrangement: the bars and the tune over them.
struct Section {
  char part;
  std::vector<Bar> bars;
  std::vector<Note> tune;
};

// A song's clock: the frames of a beat, a beat's place in the loop.
struct Clock {
  double frames;  // a beat
  size_t at(double beats) const { return static_cast<size_t>(beats * frames + 0.5); }
  double seconds(double beats) const { return beats * frames / RATE; }
};

size_t barsOf(const std::vector<Section>& song) {
  size_t bars = 0;
  for (const Section& s : song) bars += s.bars.size();
  return bars;
}

// Drums from a row of sixteenths: 'x' strikes, '.' rests.
bool hit(const char* row, int step) { return row[step] == 'x'; }

// Title: calm, 88 beats a minute in A minor, sixty bars (2 min 44 s).
//   intro   4 bars  pad and a slow bell arpeggio; the bass comes in
//   A      16 bars  the flute's tune over bell eighths; a shaker, then a
//                   light beat in the second half
//   B      16 bars  the relative major: a higher, longer tune over electric
//                   piano, a full soft beat with brushes
//   break   8 bars  no beat: the pad, and the bell alone recalls the tune
//   return 16 bars  the tune again, the bell doubling it an octave up; its
//                   last chord, E, leads back into the intro's A minor.
Stereo titleMusic() {
  const Chord am{45, {57, 60, 64, 71}}, am7{45, {55, 60, 64, 69}}, f{41, {53, 57, 60, 64}},
      f9{41, {53, 57, 60, 67}}, c{48, {55, 60, 64, 71}}, g{43, {55, 59, 62, 64}},
      dm{38, {53, 57, 60, 64}}, esus{40, {52, 57, 59, 62}}, e7{40, {52, 56, 59, 62}},
      em{40, {55, 59, 62, 64}}, g7{43, {53, 59, 62, 65}}, e{40, {52, 56, 59, 64}};
  const std::vector<Bar> verse = {{am}, {f}, {c}, {g}, {am7}, {f9}, {dm}, {esus, e7}};
  std::vector<Bar> twice = verse;
  twice.insert(twice.end(), verse.begin(), verse.end());
  const std::vector<Note> tuneA = {
      {76, 2}, {74, 1}, {72, 1}, {72, 3}, {69, 1}, {67, 2}, {76, 2}, {74, 4},
      {76, 1.5}, {79, 0.5}, {81, 2}, {79, 1}, {77, 1}, {76, 2}, {77, 2}, {76, 1}, {74, 1},
      {71, 2}, {68, 2},
      // The answer: the same start, then up to the high C and down home.
      {76, 2}, {74, 1}, {72, 1}, {72, 3}, {69, 1}, {67, 2}, {76, 2}, {74, 4},
      {76, 1}, {72, 1}, {76, 1}, {81, 1}, {84, 2}, {81, 1}, {77, 1}, {77, 1.5}, {76, 0.5},
      {74, 1}, {72, 1}, {71, 3}, {REST, 1}};
  const std::vector<Note> tuneB = {
      {81, 3}, {79, 0.5}, {77, 0.5}, {79, 2}, {74, 1}, {71, 1}, {76, 3}, {79, 1},
      {72, 1.5}, {71, 0.5}, {69, 2}, {74, 1}, {77, 1}, {81, 2}, {79, 1.5}, {76, 0.5}, {71, 2},
      {72, 1}, {77, 1}, {81, 1}, {84, 1}, {83, 3}, {REST, 1},
      {84, 2}, {81, 1}, {77, 1}, {79, 2}, {83, 1}, {86, 1}, {88, 2}, {86, 1}, {83, 1},
      {84, 3}, {81, 1}, {81, 1.5}, {77, 0.5}, {74, 2}, {79, 1}, {77, 1}, {74, 1}, {71, 1},
      {76, 2}, {81, 2}, {80, 2}, {83, 2}};
  const std::vector<Note> tuneBreak = {{81, 2}, {77, 2}, {79, 4}, {77, 2}, {74, 2}, {76, 4},
                                       {72, 2}, {77, 2}, {76, 4}, {74, 2}, {71, 2}, {68, 2},
                                       {71, 2}};
  const std::vector<Section> song = {
      {'I', {{am}, {f}, {c}, {g}}, {}},
      {'A', twice, tuneA},
      {'B', {{f}, {g}, {em}, {am}, {dm}, {em}, {f}, {g}, {f}, {g}, {em}, {am}, {dm}, {g7},
             {esus}, {e}}, tuneB},
      {'D', {{f}, {c}, {dm}, {am}, {f}, {c}, {g}, {e7}}, tuneBreak},
      {'R', twice, tuneA}};

  const Clock clock{RATE * 60.0 / 88.0};
  const size_t bars = barsOf(song);
  Mix mix(clock.at(4.0 * bars));
  const double drift = clock.seconds(4.0 * bars) / 15.0;  // the pads' filters: 15 sweeps a loop
  Noise rnd(0x7a1e5eed);
  size_t bar = 0;
  for (const Section& section : song) {
    const char part = section.part;
    const double first = 4.0 * bar;
    for (size_t b = 0; b < section.bars.size(); ++b, ++bar) {
      const double from = 4.0 * bar;
      const Bar& chords = section.bars[b];
      const bool beat = part == 'B' || part == 'R' || (part == 'A' && b >= 8);
      const bool full = part == 'B' || part == 'R';

      // Pad: each chord held; darker and fuller in the break, opening in the intro.
      const double padCutoff = part == 'I' ? 800.0 + 250.0 * b : part == 'D' ? 1200.0 : 2400.0;
      const double padGain = part == 'D' ? 0.16 : 0.12;
      const Envelope padEnv{part == 'I' && b == 0 ? 2.0 : 1.0, 0.0, 1.0, 0.6};
      for (int h = 0; h < (chords.second.root ? 2 : 1); ++h) {
        const Chord& ch = chords.at(2.0 * h);
        const double length = chords.second.root ? 2.0 : 4.0;
        for (int tone : ch.tones)
          pad(mix, clock.at(from + 2.0 * h), clock.seconds(length), tone, padGain, padEnv,
              padCutoff, drift, 0.45, rnd);
      }

      // Bells: up and back through the chord in eighths; in the intro and
      // the break only in quarters, leaving room.
      const int steps[8] = {0, 1, 2, 3, 4, 3, 2, 1};
      const bool sparse = part == 'I' || part == 'D';
      const double bellGain = part == 'B' ? 0.1 : 0.15;
      if (!(part == 'D' && b < 4))
        for (int e = 0; e < 8; e += sparse ? 2 : 1) {
          const Chord& ch = chords.at(0.5 * e);
          const int index = steps[e];
          const int tone = index < 4 ? ch.tones[index] + 12 : ch.tones[0] + 24;
          const double accent = e % 4 == 0 ? 1.0 : 0.75;
          bell(mix, clock.at(from + 0.5 * e), tone,
               place(bellGain * accent, e % 2 ? 0.4 : -0.4, 0.5, 0.5));
        }

      // Electric piano in the B part and the return: the chord's upper
      // tones on a lilting dotted rhythm.
      if (full)
        for (double at : {0.0, 1.5, 3.0}) {
          const Chord& ch = chords.at(at);
          for (size_t k = 1; k < ch.tones.size(); ++k)
            keys(mix, clock.at(from + at), clock.seconds(at == 3.0 ? 0.8 : 1.2), ch.tones[k] + 12,
                 place(0.06, -0.3 + 0.3 * double(k - 1), 0.35, 0.2));
        }

      // Bass: the root, held; it enters in the intro's third bar and rests
      // through the first half of the break.
      if (!(part == 'I' && b < 2) && !(part == 'D' && b < 4)) {
        softBass(mix, clock.at(from), clock.seconds(chords.second.root ? 1.8 : 3.6),
                 chords.chord.root, 0.17);
        if (chords.second.root)
          softBass(mix, clock.at(from + 2.0), clock.seconds(1.8), chords.second.root, 0.17);
        else if (beat)
          softBass(mix, clock.at(from + 3.5), clock.seconds(0.45), chords.chord.root + 12, 0.09);
      }

      // Drums, in sixteenths: a shaker through the A part and the second
      // half of the break, a kick and brushed snare where the beat plays.
      const bool shaker = part == 'A' || part == 'B' || part == 'R' || (part == 'D' && b >= 4);
      for (int s = 0; s < 16; ++s) {
        const size_t t = clock.at(from + 0.25 * s);
        if (shaker && (full || s % 2 == 0)) {
          const double level = s % 4 == 2 ? 0.13 : s % 2 ? 0.06 : 0.09;
          cymbal(mix, t, level, 0.035, 7500.0, 0.45, rnd);
        }
        if (beat && hit(full ? "x.....x...x....." : "x.......x.......", s))
          kick(mix, t, full ? 0.45 : 0.38);
        if (full && hit("....x.......x...", s)) snare(mix, t, 0.2, rnd);
        if (full && b % 2 == 1 && s == 14) cymbal(mix, t, 0.07, 0.12, 6000.0, -0.3, rnd);
      }
      if ((part == 'B' || part == 'R') && b % 8 == 0)
        cymbal(mix, clock.at(from), 0.09, 0.7, 4000.0, -0.4, rnd);  // a soft crash
    }

    // The tune: the flute sings it; the break leaves it to the bell, and in
    // the return the bell doubles it an octave up.
    line(first, section.tune, [&](double at, const Note& n) {
      if (part == 'D') {
        bell(mix, clock.at(at), n.pitch, place(0.2, 0.15, 0.6, 0.5));
        return;
      }
      flute(mix, clock.at(at), clock.seconds(n.beats * 0.97), n.pitch,
            place(0.17, 0.1, 0.4, 0.25), rnd);
      if (part == 'R') bell(mix, clock.at(at), n.pitch + 12, place(0.06, -0.2, 0.5, 0.4));
    });
  }
  Master m;
  m.reverbRoom = 0.86;
  m.reverbDamp = 0.3;
  m.echoDelay = clock.at(0.75);
  m.echoFeedback = 0.45;
  m.echoLevel = 0.35;
  m.shelfHz = 2000.0;
  m.shelfDb = 8.0;
  m.rmsDb = -14.5;
  return master(mix, m);
}

// Race: driving, 140 beats a minute in E minor, eighty bars (2 min 17 s).
//   intro   8 bars  kick and hats, the arpeggio opening; the snare and the
//                   full bass in its second half
//   A      16 bars  the lead's tune over four on the floor
//   B      16 bars  a soaring, brighter lead in long notes; off-beat open
//                   hats and ghost notes on the snare
//   break   8 bars  the beat drops out; pad, bell and a held bass, then
//                   the kick returns and a snare roll builds
//   return 16 bars  the tune again, a pluck doubling it an octave up
//   C      16 bars  a new riff in eighths, a harder kick pattern; its last
//                   chord, B7, leads back into the intro's E minor.
Stereo raceMusic() {
  const Chord em{40, {64, 67, 71}}, c{36, {64, 67, 72}}, g{43, {62, 67, 71}},
      d{38, {62, 66, 69}}, b{35, {63, 66, 71}}, bm{35, {62, 66, 71}}, b7{35, {63, 66, 69, 71}},
      am{33, {64, 69, 72}};
  const std::vector<Bar> verse = {{em}, {c}, {g}, {d}, {em}, {c}, {d}, {b},
                                  {c}, {d}, {bm}, {em}, {c}, {d}, {b7}, {b7}};
  const std::vector<Note> tuneA = {
      {76, 1.5}, {79, 0.5}, {83, 2}, {84, 1.5}, {83, 0.5}, {79, 2},                // Em C
      {79, 1}, {81, 1}, {83, 1}, {86, 1}, {81, 3}, {78, 1},                         // G D
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
  const std::vector<Note> tuneB = {
      {84, 3}, {83, 1}, {81, 2}, {78, 2}, {83, 3}, {86, 1}, {88, 2}, {86, 1}, {83, 1},
      {84, 2}, {81, 2}, {78, 1}, {81, 1}, {86, 2}, {83, 3}, {79, 1}, {81, 2}, {78, 2},
      {79, 1}, {84, 1}, {88, 2}, {86, 2}, {81, 2}, {83, 1.5}, {86, 0.5}, {88, 2},
      {91, 2}, {88, 2}, {84, 2}, {88, 1}, {84, 1}, {87, 2}, {81, 1}, {78, 1},
      {79, 1}, {78, 1}, {76, 2}, {76, 2}, {REST, 2}};
  const std::vector<Note> tuneBreak = {{76, 2}, {72, 2}, {71, 4}, {72, 2}, {76, 2}, {74, 4},
                                       {81, 2}, {76, 2}, {79, 4}, {79, 2}, {76, 2},
                                       {75, 2}, {78, 2}};
  const std::vector<Note> riff = {
      {79, 0.5}, {83, 0.5}, {86, 0.5}, {83, 0.5}, {79, 0.5}, {83, 0.5}, {86, 1},    // G
      {81, 0.5}, {78, 0.5}, {81, 0.5}, {86, 0.5}, {85, 0.5}, {86, 0.5}, {81, 1},    // D
      {83, 0.5}, {79, 0.5}, {76, 0.5}, {79, 0.5}, {83, 0.5}, {88, 0.5}, {86, 0.5},
      {83, 0.5},                                                                    // Em
      {84, 2}, {79, 1}, {76, 1},                                                    // C
      {79, 0.5}, {83, 0.5}, {86, 0.5}, {83, 0.5}, {79, 0.5}, {83, 0.5}, {86, 1},    // G
      {86, 0.5}, {90, 0.5}, {88, 0.5}, {86, 0.5}, {81, 1}, {78, 1},                 // D
      {79, 0.5}, {84, 0.5}, {88, 0.5}, {84, 0.5}, {79, 1}, {84, 1},                 // C
      {87, 1.5}, {83, 0.5}, {81, 1}, {78, 1}};                                      // B7
  std::vector<Note> riffs = riff;
  riffs.insert(riffs.end(), riff.begin(), riff.begin() + 25);  // G D Em C again
  riffs.insert(riffs.end(), {{81, 1}, {84, 1}, {88, 1}, {84, 1}, {84, 1.5}, {83, 0.5}, {79, 2},
                             {78, 1}, {81, 1}, {83, 1}, {87, 1}, {83, 3}, {REST, 1}});
  const std::vector<Section> song = {
      {'I', {{em}, {c}, {g}, {d}, {em}, {c}, {g}, {d}}, {}},
      {'A', verse, tuneA},
      {'B', {{c}, {d}, {bm}, {em}, {am}, {d}, {g}, {b7}, {c}, {d}, {em}, {c}, {am}, {b7}, {em},
             {em}}, tuneB},
      {'D', {{am}, {em}, {c}, {d}, {am}, {em}, {c}, {b7}}, tuneBreak},
      {'R', verse, tuneA},
      {'C', {{g}, {d}, {em}, {c}, {g}, {d}, {c}, {b7}, {g}, {d}, {em}, {c}, {am}, {c}, {b7},
             {b7}}, riffs}};

  const Clock clock{RATE * 60.0 / 140.0};
  const size_t bars = barsOf(song);
  Mix mix(clock.at(4.0 * bars));
  const double drift = clock.seconds(32.0);  // eight bars a sweep: ten a loop
  Noise rnd(0x0dd5eed5);
  const int arpSteps[8] = {0, 1, 2, 1, 3, 2, 1, 2};
  size_t bar = 0;
  for (const Section& section : song) {
    const char part = section.part;
    const double first = 4.0 * bar;
    for (size_t k = 0; k < section.bars.size(); ++k, ++bar) {
      const Chord& ch = section.bars[k].chord;
      const double from = 4.0 * bar;
      const bool fill = k % 8 == 7 && part != 'D';
      const bool quiet = part == 'D' && k < 4;  // the break's first half

      for (int tone : ch.tones)
        pad(mix, clock.at(from), clock.seconds(4.0), tone - 12, part == 'D' ? 0.12 : 0.07,
            Envelope{0.35, 0.0, 1.0, 0.3}, part == 'D' ? 1200.0 : 1800.0, drift, 0.35, rnd);

      // Bass: eighths, octaves in the B part; held notes in the break, and
      // closed down through the intro's first half.
      if (part == 'D') {
        synthBass(mix, clock.at(from), clock.seconds(3.8), ch.root, 0.22, 0.3);
      } else {
        static const int steps[3][8] = {
            {0, 0, 12, 0, 0, 12, 0, 7}, {0, 12, 0, 12, 0, 12, 7, 12}, {0, 0, 0, 12, 0, 0, 7, 12}};
        const int* step = steps[part == 'B' ? 1 : part == 'C' ? 2 : 0];
        for (int e = 0; e < 8; ++e) {
          const int note = fill && e >= 6 ? (e == 6 ? 10 : 12) : step[e];
          synthBass(mix, clock.at(from + 0.5 * e), clock.seconds(0.42), ch.root + note,
                    e % 2 ? 0.17 : 0.2, part == 'I' && k < 4 ? 0.25 + 0.15 * k : 1.0);
        }
      }

      // The pluck arpeggio in sixteenths; it opens through the intro and
      // again through the break.
      const double bright = part == 'I' ? 0.2 + 0.1 * k : part == 'D' ? 0.3 + 0.09 * k : 1.0;
      for (int s = 0; s < 16; ++s) {
        const int index = arpSteps[s % 8];
        const int tone = index < 3 ? ch.tones[index] + 12 : ch.tones[0] + 24;
        const double pan = 0.6 * std::sin(TWO_PI * double(bar * 16 + s) / 32.0);
        pluck(mix, clock.at(from + 0.25 * s), tone,
              place(s % 4 == 0 ? 0.08 : 0.06, pan, 0.25, 0.3), bright);
      }

      // Drums, in sixteenths.
      const bool snares = !(part == 'I' && k < 4) && part != 'D';
      const char* kicks = part == 'C' ? (k % 2 ? "x...x...x...x.x." : "x...x..x..x.x...")
                                      : k % 4 == 3 ? "x...x...x...x.x." : "x...x...x...x...";
      const char* snareRow = fill ? "....x.......xxxx"
                                  : part == 'B' ? "....x..x....x..x" : "....x.......x...";
      for (int s = 0; s < 16; ++s) {
        const size_t t = clock.at(from + 0.25 * s);
        if (part == 'D') {
          if (k >= 4 && s % 4 == 0) kick(mix, t, 0.8);
          if (k == 6 && s % 2 == 0) snare(mix, t, 0.12 + 0.01 * s, rnd);
          if (k == 7) snare(mix, t, 0.2 + 0.015 * s, rnd);
          if (s % 2 == 0) cymbal(mix, t, s % 4 ? 0.1 : 0.06, 0.02, 8000.0, 0.3, rnd);
          continue;
        }
        if (hit(kicks, s)) kick(mix, t, 0.8);
        if (snares && hit(snareRow, s)) {
          const bool ghost = part == 'B' && (s == 7 || s == 15);
          snare(mix, t, ghost ? 0.12 : fill && s > 12 ? 0.3 + 0.06 * (s - 12) : 0.42, rnd);
        }
        if (fill && s >= 12) continue;
        if (part == 'B' && s % 4 == 2) {
          cymbal(mix, t, 0.15, 0.08, 7000.0, 0.3, rnd);  // open hats off the beat
        } else if (part != 'B' && k % 2 == 1 && s == 14) {
          cymbal(mix, t, 0.16, 0.09, 7000.0, 0.3, rnd);
        } else {
          const double level = s % 4 == 2 ? 0.2 : s % 2 ? 0.09 : 0.12;
          cymbal(mix, t, level, 0.018, 8000.0, 0.3, rnd);
        }
      }
      if (!quiet && part != 'D' && k % 8 == 0)
        cymbal(mix, clock.at(from), 0.17, 0.45, 4500.0, -0.35, rnd);  // crash
    }

    line(first, section.tune, [&](double at, const Note& n) {
      if (part == 'D') {
        bell(mix, clock.at(at), n.pitch, place(0.22, -0.15, 0.5, 0.5));
        return;
      }
      lead(mix, clock.at(at), clock.seconds(n.beats * (part == 'B' ? 0.97 : 0.9)), n.pitch,
           place(0.2, 0.0, 0.2, 0.3), part == 'B');
      if (part == 'R') pluck(mix, clock.at(at), n.pitch + 12, place(0.07, 0.3, 0.3, 0.4));
    });
  }
  Master m;
  m.reverbRoom = 0.72;
  m.reverbLevel = 0.8;
  m.echoDelay = clock.at(0.75);
  m.echoFeedback = 0.35;
  m.shelfHz = 2000.0;
  m.shelfDb = 7.0;
  m.rmsDb = -13.5;
  return master(mix, m);
}

// ---------------------------------------------------------------------------
// Effects

// The hover engine at full speed: a turbine. The race plays it from a tenth
// of its pitch at a crawl to a third above it flat out, so its voice lies
// in the kilohertz range: blade tones near 1.9 and 2.8 kHz with sidebands a
// shaft turn (95 Hz) apart, and the roar of air through two bands of noise,
// fluttering at 30 Hz. At a tenth of the pitch that becomes a rumble of
// 100 to 500 Hz that chugs three times a second; flat out a whine near
// 2.5 and 3.7 kHz. A low-pass keeps everything under about 5 kHz, so the
// whine never turns into a shriek, and a quiet shaft hum gives it body.
// Three seconds long; every frequency is a whole number of hertz, so each
// partial runs whole periods round the loop, and the noise is filtered
// round the loop until its end flows into its start.
std::vector<float> engineHum() {
  const size_t n = 3 * RATE;
  std::vector<double> sound(n, 0.0);
  Noise rnd(0x0e46e5);
  // A partial whose frequency sways by sway Hz, wobble times a second.
  auto partial = [&](double hz, double amp, double wobble = 1.0, double sway = 0.0) {
    const double phase = PI * rnd.next();
    for (size_t i = 0; i < n; ++i) {
      const double t = double(i) / RATE;
      sound[i] += amp * std::sin(TWO_PI * hz * t + phase + sway / wobble * std::sin(TWO_PI * wobble * t));
    }
  };
  const double shaft = 95.0;
  for (int h = 1; h <= 6; ++h) partial(h * shaft, 0.16 / std::pow(h, 1.1));
  partial(20 * shaft, 0.2, 3.0, 5.0);  // the fan's blades
  partial(19 * shaft, 0.07);
  partial(21 * shaft, 0.07);
  partial(40 * shaft, 0.05, 3.0, 10.0);
  partial(29 * shaft, 0.1, 2.0, 7.0);  // the compressor's
  partial(28 * shaft, 0.035);
  partial(30 * shaft, 0.035);

  // Noise filtered into two bands, round the loop three times; the last
  // round is kept.
  std::vector<double> noise(n);
  for (double& v : noise) v = rnd.next();
  Filter low, high;
  low.set(1400.0, 0.6);
  high.set(3200.0, 1.0);
  std::vector<double> roar(n);
  for (int round = 0; round < 3; ++round)
    for (size_t i = 0; i < n; ++i) {
      low.run(noise[i]);
      high.run(noise[i]);
      roar[i] = 0.55 * low.band + 0.3 * high.band;
    }
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / RATE;
    const double flutter = 1.0 + 0.3 * std::sin(TWO_PI * 30.0 * t);
    const double swell = 1.0 + 0.1 * std::sin(TWO_PI * t / 3.0);
    sound[i] = (sound[i] + roar[i] * flutter) * swell;
  }

  // The low-pass, also round the loop, then the level: about the music's.
  Filter top;
  top.set(5000.0, 0.6);
  std::vector<float> out(n);
  double sum = 0.0;
  for (int round = 0; round < 2; ++round)
    for (size_t i = 0; i < n; ++i) {
      top.run(sound[i]);
      out[i] = static_cast<float>(top.low);
      if (round == 1) sum += top.low * top.low;
    }
  const double gain = fromDb(-15.0) / std::sqrt(sum / n);
  for (float& v : out) v = static_cast<float>(v * gain);
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
