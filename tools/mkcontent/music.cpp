// The soundtrack: a 218-second piece in A minor (the last part in B minor)
// whose sections change where the pictures change. Twelve channels: four of
// drums, bass, three of pads, arpeggio, lead, echo/counter-line, and one that
// carries the song-wide commands. Each section opens with a sync mark (W)
// numbered from 1, so players and checks can see where it begins.
#include "tools/mkcontent/music.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string>

#include "tools/mkcontent/music_score.h"
#include "tools/mkcontent/music_synth.h"
#include "tools/s3mwriter/s3mwriter.h"

namespace {

using music::Score;

// Channels.
enum : int {
  chKick, chSnare, chHat, chPerc, chBass, chPad1, chPad2, chPad3, chArp, chLead, chEcho, chControl,
  channelCount
};

// Instruments, numbered as they are added.
enum : int {
  iKick = 1, iSnare, iClosedHat, iOpenHat, iClap, iCrash, iTom, iBass, iPad, iLead, iPluck, iBell,
  iSub, iNoise, iSquare
};

// Section starts in seconds, as the pictures change; the song ends at 218.
constexpr std::array<double, 15> sectionSeconds = {0,  15,  20,  45,  67,  78,  90, 95,
                                                   98, 106, 116, 123, 133, 160, 218};

int N(const char* name) { return music::NoteNumber(name); }

struct Chord {
  int bass;                // root, octave 2 or 3
  std::array<int, 3> pad;  // close voicing round A-4
  std::array<int, 4> arp;  // rising broken chord
  bool minor;
};

Chord Transposed(Chord c, int semitones) {
  c.bass += semitones;
  for (int& n : c.pad) n += semitones;
  for (int& n : c.arp) n += semitones;
  return c;
}

const Chord Am{N("A-2"), {N("E-4"), N("A-4"), N("C-5")}, {N("A-4"), N("C-5"), N("E-5"), N("A-5")}, true};
const Chord F{N("F-2"), {N("F-4"), N("A-4"), N("C-5")}, {N("F-4"), N("A-4"), N("C-5"), N("F-5")}, false};
const Chord C{N("C-3"), {N("E-4"), N("G-4"), N("C-5")}, {N("G-4"), N("C-5"), N("E-5"), N("G-5")}, false};
const Chord G{N("G-2"), {N("D-4"), N("G-4"), N("B-4")}, {N("G-4"), N("B-4"), N("D-5"), N("G-5")}, false};
const Chord Dm{N("D-3"), {N("D-4"), N("F-4"), N("A-4")}, {N("A-4"), N("D-5"), N("F-5"), N("A-5")}, true};
const Chord E{N("E-2"), {N("E-4"), N("G#4"), N("B-4")}, {N("G#4"), N("B-4"), N("E-5"), N("G#5")}, false};
const Chord Bb{N("A#2"), {N("D-4"), N("F-4"), N("A#4")}, {N("F-4"), N("A#4"), N("D-5"), N("F-5")}, false};

// One melody tone: start row, note, length in rows, manner.
enum Manner : int { plain = 0, vibrato = 1, glide = 2, fade = 4 };
struct Tone {
  int row;
  int note;
  int length;
  int manner;
};

using Phrase = std::vector<Tone>;

// Main theme, first and second half (over Am F C G each).
Phrase ThemeA() {
  return {{0, N("A-5"), 4, plain},    {4, N("C-6"), 4, plain},   {8, N("E-6"), 6, vibrato},
          {14, N("D-6"), 2, plain},   {16, N("C-6"), 4, plain},  {20, N("A-5"), 4, plain},
          {24, N("C-6"), 4, plain},   {28, N("F-6"), 4, glide},  {32, N("E-6"), 6, vibrato},
          {38, N("D-6"), 2, plain},   {40, N("C-6"), 4, plain},  {44, N("G-5"), 4, plain},
          {48, N("B-5"), 8, vibrato}, {56, N("D-6"), 4, glide},  {60, N("E-6"), 4, plain}};
}
Phrase ThemeA2() {
  return {{0, N("E-6"), 4, plain},    {4, N("A-6"), 4, glide},   {8, N("G-6"), 6, vibrato},
          {14, N("E-6"), 2, plain},   {16, N("F-6"), 6, vibrato}, {22, N("E-6"), 2, plain},
          {24, N("C-6"), 4, plain},   {28, N("A-5"), 4, plain},  {32, N("G-5"), 4, plain},
          {36, N("C-6"), 4, plain},   {40, N("E-6"), 4, plain},  {44, N("G-6"), 4, plain},
          {48, N("D-6"), 6, vibrato}, {54, N("B-5"), 2, plain},  {56, N("G-5"), 8, fade}};
}
// Wide, slow line for the mountains (over Dm Am F G).
Phrase ThemeB() {
  return {{0, N("A-5"), 12, vibrato}, {12, N("G-5"), 4, plain}, {16, N("E-5"), 16, vibrato},
          {32, N("F-5"), 8, vibrato}, {40, N("E-5"), 4, plain}, {44, N("C-5"), 4, plain},
          {48, N("D-5"), 16, fade}};
}
Phrase ThemeB2() {
  return {{0, N("F-5"), 8, plain},   {8, N("A-5"), 8, glide},    {16, N("C-6"), 12, vibrato},
          {28, N("B-5"), 4, plain},  {32, N("A-5"), 16, vibrato}, {48, N("B-5"), 8, plain},
          {56, N("D-6"), 8, glide}};
}

class Composer {
public:
  explicit Composer(s3m::Song& song) : song_(song), s_(song, chControl, 1, 128) {}

  bool Compose();

private:
  // --- drums -------------------------------------------------------------
  void Hit(int row, int volume = 56) {
    s_.Note(row, chPerc, N("C-4"), iCrash, volume);
    s_.Note(row, chKick, N("C-4"), iKick, 62);
  }

  // Four to the floor with off-beat hats, swung ghost hats and a ghost snare.
  void FourFloor(int row0, int bars, bool busy) {
    for (int b = 0; b < bars; ++b) {
      const int r = row0 + 16 * b;
      for (int beat = 0; beat < 4; ++beat) s_.Note(r + 4 * beat, chKick, N("C-4"), iKick, 60);
      s_.Note(r + 4, chSnare, N("C-4"), iSnare, 50);
      s_.Note(r + 12, chSnare, N("C-4"), iClap, 54);
      if (busy) {
        // Ghost snare: started late in the sample, so only its tail sounds.
        s_.Note(r + 15, chSnare, N("C-4"), iSnare, 26);
        s_.Effect(r + 15, chSnare, 'O', 0x06);
      }
      for (int i = 0; i < 8; ++i) {
        const int hr = r + 2 * i;
        if (i % 2 == 1) {
          s_.Note(hr, chHat, N("C-4"), iClosedHat, 40);
          s_.Effect(hr, chHat, 'X', i % 4 == 1 ? 0x30 : 0x50);
        } else if (busy) {
          s_.Note(hr + 1, chHat, N("C-4"), iClosedHat, 18);
          s_.Effect(hr + 1, chHat, 'S', 0xD2);  // a little late: swing
        }
      }
      if (b % 2 == 1) {
        s_.Note(r + 14, chPerc, N("C-4"), iOpenHat, 30);
        s_.Effect(r + 15, chPerc, 'S', 0xC3);  // choke it before the next bar
      }
    }
  }

  void HalfTime(int row0, int bars) {
    for (int b = 0; b < bars; ++b) {
      const int r = row0 + 16 * b;
      s_.Note(r, chKick, N("C-4"), iKick, 58);
      s_.Note(r + 10, chKick, N("C-4"), iKick, 44);
      s_.Note(r + 8, chSnare, N("C-4"), iSnare, 48);
      for (int i = 0; i < 4; ++i) {
        s_.Note(r + 4 * i + 2, chHat, N("C-4"), iClosedHat, 30);
      }
    }
  }

  // A half-bar fill: toms falling, a snare roll getting louder.
  void Fill(int row0) {
    const char* toms[] = {"G-4", "E-4", "C-4", "A-3"};
    for (int i = 0; i < 4; ++i) s_.Note(row0 + 2 * i, chPerc, N(toms[i]), iTom, 50);
    s_.Note(row0, chSnare, N("C-4"), iSnare, 24);
    for (int i = 0; i < 8; ++i) s_.Effect(row0 + i, chSnare, 'Q', 0x92);
    s_.Note(row0 + 6, chKick, N("C-4"), iKick, 56);
  }

  // A snare roll over `rows` rows, retriggered ever faster and louder.
  void Roll(int row0, int rows, int volume) {
    s_.Note(row0, chSnare, N("C-4"), iSnare, volume);
    for (int i = 0; i < rows; ++i) s_.Effect(row0 + i, chSnare, 'Q', i < rows / 2 ? 0xA3 : 0xA2);
  }

  // Rising noise sweep over `rows` rows on the percussion channel.
  void Riser(int row0, int rows) {
    s_.Note(row0, chPerc, N("C-3"), iNoise, 4);
    for (int i = 1; i < rows; ++i) {
      s_.Effect(row0 + i, chPerc, i % 2 == 0 ? 'F' : 'D', i % 2 == 0 ? 0x06 : 0x10);
    }
  }

  // --- bass ----------------------------------------------------------------
  // Octave-jumping eighths; the high ones cut short.
  void BassBar(int row, int root, int rows = 16) {
    for (int i = 0; i < rows; i += 2) {
      const bool high = (i / 2) % 2 == 1;
      s_.Note(row + i, chBass, root + (high ? 12 : 0), iBass, high ? 38 : 54);
      if (high) s_.Effect(row + i, chBass, 'S', 0xC4);
    }
  }

  void BassHeld(int row, int root, int volume = 50) { s_.Note(row, chBass, root, iBass, volume); }

  // --- harmony ---------------------------------------------------------------
  void PadChord(int row, const Chord& c, int volume) {
    s_.Note(row, chPad1, c.pad[0], iPad, volume);
    s_.Note(row, chPad2, c.pad[1], iPad, volume);
    s_.Note(row, chPad3, c.pad[2], iPad, volume);
  }

  // Fine volume slide on every pad channel for `rows` rows (up when step > 0).
  void PadSwell(int row0, int rows, int step) {
    for (int i = 0; i < rows; ++i) {
      for (int ch : {chPad1, chPad2, chPad3}) {
        if (s_.HasEffect(row0 + i, ch)) continue;
        s_.Effect(row0 + i, ch, 'D', step > 0 ? (step << 4) | 0x0F : 0xF0 | -step);
      }
    }
  }

  // Sixteenth-note broken chord on the pluck, panned side to side.
  void Arp(int row0, const Chord& c, int rows, int volume) {
    static const int shape[] = {0, 1, 2, 3, 2, 1, 2, 0};
    for (int i = 0; i < rows; ++i) {
      s_.Note(row0 + i, chArp, c.arp[shape[i % 8]], iPluck, i % 4 == 0 ? volume : volume * 3 / 4);
      s_.Effect(row0 + i, chArp, 'S', 0x80 | (i % 2 == 0 ? 0x04 : 0x0B));
    }
  }

  // Tracker arpeggio on a square: one note per beat, the chord from J.
  void ChipArp(int row0, int channel, const Chord& c, int rows, int step, int volume) {
    const int info = c.minor ? 0x37 : 0x47;
    for (int i = 0; i < rows; ++i) {
      if (i % step == 0) s_.Note(row0 + i, channel, c.arp[0], iSquare, volume);
      s_.Effect(row0 + i, channel, 'J', info);
    }
  }

  // --- melody ------------------------------------------------------------------
  void Melody(int row0, int channel, int instrument, int volume, const Phrase& phrase,
              int transpose = 0, int echoChannel = -1, int echoVolume = 0, int limit = 1 << 20) {
    for (std::size_t k = 0; k < phrase.size(); ++k) {
      const Tone& t = phrase[k];
      if (t.row >= limit) break;
      const int row = row0 + t.row;
      const int note = t.note + transpose;
      s_.Note(row, channel, note, instrument, volume);
      if ((t.manner & glide) != 0 && k > 0) s_.Effect(row, channel, 'G', 0x05);
      const int length = std::min(t.length, limit - t.row);
      for (int i = 2; i < length; ++i) {
        if ((t.manner & vibrato) != 0) s_.Effect(row + i, channel, 'H', 0x51);
        if ((t.manner & fade) != 0) s_.Effect(row + i, channel, 'K', 0xF2);  // fine, -2 a row
      }
      const bool joined = k + 1 < phrase.size() && phrase[k + 1].row == t.row + t.length;
      if (!joined && t.row + length < limit && row + length < s_.Rows()) s_.Cut(row + length, channel);
      if (echoChannel >= 0 && row + 3 < s_.Rows()) {
        s_.Note(row + 3, echoChannel, note, instrument, echoVolume);
        if ((t.manner & glide) != 0 && k > 0) s_.Effect(row + 3, echoChannel, 'G', 0x05);
      }
    }
  }

  // --- sections --------------------------------------------------------------------
  void Intro();
  void Logo();
  void Groove(int row0, const std::vector<Chord>& chords, int transpose, bool busy);
  void MainOne();
  void Mountains();
  void MainTwo();
  void Hut();
  void MainThree();
  void PlanetOne();
  void PlanetTwo();
  void PlanetThree();
  void MainFour();
  void StoneCircle();
  void MainFive();
  void Finale();

  void Open(int section, int rows) {
    s_.Begin(rows);
    s_.Sync(0, section + 1);
  }
  void Close(int section) { s_.End(sectionSeconds[static_cast<std::size_t>(section) + 1]); }

  s3m::Song& song_;
  Score s_;
};

// 0-15 s: eight bars at 128 beats per minute. Pads swell in, a bell line
// over a sub drone, a plucked arpeggio, and a sweep into the logo.
void Composer::Intro() {
  Open(0, 128);
  s_.Speed(0, 6);
  s_.Tempo(0, 128);
  const Chord chords[] = {Am, Am, F, F, C, C, G, E};
  for (int b = 0; b < 8; ++b) {
    const int r = 16 * b;
    if (b % 2 == 0 || b == 7) PadChord(r, chords[b], b == 0 ? 4 : 26);
    const int root = chords[b].bass;
    s_.Note(r, chBass, root < N("C-3") ? root : root - 12, iSub, b < 2 ? 30 : 42);
  }
  PadSwell(1, 30, 1);  // from 4 up to about 34 over the first two bars
  const Phrase bells = {{16, N("E-6"), 8, vibrato}, {24, N("C-6"), 8, plain},
                        {32, N("A-5"), 12, vibrato}, {44, N("C-6"), 4, plain},
                        {48, N("G-5"), 16, fade},    {64, N("E-6"), 8, vibrato},
                        {72, N("G-6"), 8, plain},    {80, N("E-6"), 16, vibrato},
                        {96, N("D-6"), 8, plain},    {104, N("B-5"), 8, plain},
                        {112, N("G#5"), 16, fade}};
  Melody(0, chLead, iBell, 40, bells, 0, chEcho, 16);
  for (int b = 4; b < 8; ++b) Arp(16 * b, chords[b], 16, 20 + 2 * b);
  // Heartbeat from bar 3, then the first hats.
  for (int b = 2; b < 8; ++b) {
    s_.Note(16 * b, chKick, N("C-4"), iKick, 24 + 4 * b);
    if (b >= 4) s_.Note(16 * b + 8, chKick, N("C-4"), iKick, 20 + 3 * b);
  }
  for (int i = 0; i < 16; ++i) {
    s_.Note(96 + 2 * i, chHat, N("C-4"), iClosedHat, 12 + i);
  }
  Riser(112, 16);
  Roll(120, 8, 16);
  Close(0);
}

// 15-20 s: the logo. A hit, a two-bar riff played twice by a pattern loop,
// then a half-bar fill.
void Composer::Logo() {
  Open(1, 24);
  s_.Tempo(0, 120);
  Hit(0, 60);
  s_.Loop(0, 15, 1);
  PadChord(0, Am, 30);
  for (int i = 0; i < 16; i += 4) {
    if (i > 0) s_.Note(i, chKick, N("C-4"), iKick, 58);
    s_.Note(i + 2, chHat, N("C-4"), iClosedHat, 36);
  }
  s_.Note(4, chSnare, N("C-4"), iClap, 48);
  s_.Note(12, chSnare, N("C-4"), iClap, 52);
  // Brass-like stabs from the lead, an octave apart on lead and echo.
  const int stabs[][2] = {{0, N("A-5")}, {3, N("A-5")}, {6, N("C-6")}, {9, N("B-5")}, {12, N("G-5")}};
  for (const auto& st : stabs) {
    s_.Note(st[0], chLead, st[1], iLead, 46);
    s_.Note(st[0], chEcho, st[1] - 12, iLead, 30);
    s_.Effect(st[0] + 2, chLead, 'S', 0xC1);
    s_.Effect(st[0] + 2, chEcho, 'S', 0xC1);
  }
  BassBar(0, Am.bass);
  // Rows 16-23: half a bar over E with the fill and a sagging bass.
  BassHeld(16, E.bass, 50);
  s_.Effect(20, chBass, 'E', 0x04);
  s_.Effect(22, chBass, 'E', 0x08);
  PadChord(16, E, 28);
  Fill(16);
  Close(1);
}

// Full groove over a chord per bar; bars beyond the chords continue the cycle.
void Composer::Groove(int row0, const std::vector<Chord>& chords, int transpose, bool busy) {
  const int bars = static_cast<int>(chords.size());
  FourFloor(row0, bars, busy);
  for (int b = 0; b < bars; ++b) {
    const Chord c = Transposed(chords[static_cast<std::size_t>(b)], transpose);
    const int r = row0 + 16 * b;
    BassBar(r, c.bass);
    PadChord(r, c, 22);
    Arp(r, c, 16, 26);
  }
}

// 20-45 s: the main theme arrives. 12 bars and a half-bar fill.
void Composer::MainOne() {
  Open(2, 200);
  Hit(0);
  Groove(0, {Am, F, C, G, Am, F, C, G, Am, F, C, G}, 0, false);
  Melody(64, chLead, iLead, 42, ThemeA(), 0, chEcho, 16);
  Melody(128, chLead, iLead, 42, ThemeA2(), 0, chEcho, 16);
  Fill(192);
  BassHeld(192, G.bass);
  Close(2);
}

// 45-67 s: mountains. Half-time drums, the slow theme, bells answering.
void Composer::Mountains() {
  Open(3, 176);
  Hit(0, 50);
  const std::vector<Chord> chords = {Dm, Am, F, G, Dm, Am, F, G, F, G, E};
  HalfTime(0, 11);
  for (std::size_t b = 0; b < chords.size(); ++b) {
    const int r = 16 * static_cast<int>(b);
    PadChord(r, chords[b], 26);
    BassHeld(r, chords[b].bass, 48);
    s_.Effect(r + 8, chBass, 'S', 0xC0 | 0x01);  // breathe at the half bar
    BassHeld(r + 10, chords[b].bass, 36);
  }
  Melody(0, chLead, iLead, 40, ThemeB());
  Melody(64, chLead, iLead, 40, ThemeB2());
  // Bells answer on the off-bars.
  for (int b = 0; b < 11; b += 2) {
    const Chord& c = chords[static_cast<std::size_t>(b)];
    s_.Note(16 * b + 6, chEcho, c.arp[3] + 12, iBell, 30);
    s_.Note(16 * b + 10, chEcho, c.arp[2] + 12, iBell, 24);
  }
  // Last three bars: arpeggio and a rising bass glide into the groove.
  Arp(128, F, 16, 22);
  Arp(144, G, 16, 26);
  Arp(160, E, 16, 30);
  s_.Note(128, chLead, N("C-6"), iLead, 40);
  for (int i = 2; i < 16; ++i) s_.Effect(128 + i, chLead, 'H', 0x61);
  s_.Note(144, chLead, N("D-6"), iLead, 40);
  s_.Effect(144, chLead, 'G', 0x04);
  s_.Note(160, chLead, N("E-6"), iLead, 42);
  s_.Effect(160, chLead, 'G', 0x04);
  for (int i = 2; i < 16; ++i) s_.Effect(160 + i, chLead, 'L', 0x01);
  Roll(168, 8, 20);
  Close(3);
}

// 67-78 s: main theme again with a chip arpeggio; 5 bars and a half.
void Composer::MainTwo() {
  Open(4, 88);
  Hit(0);
  Groove(0, {Am, F, C, G, Am}, 0, true);
  // The echo channel plays a tracker arpeggio under the theme this time.
  ChipArp(0, chEcho, Am, 16, 4, 18);
  ChipArp(16, chEcho, F, 16, 4, 18);
  ChipArp(32, chEcho, C, 16, 4, 18);
  ChipArp(48, chEcho, G, 16, 4, 18);
  Melody(0, chLead, iLead, 42, ThemeA());
  // Bass dives out of the section under a roll.
  BassHeld(80, Am.bass + 12, 48);
  s_.Effect(82, chBass, 'E', 0x04);
  s_.Effect(84, chBass, 'E', 0x08);
  s_.Effect(86, chBass, 'E', 0x0C);
  Roll(80, 8, 20);
  Close(4);
}

// 78-90 s: the hut. Quiet: rim of hats, a plucked tune with a delayed echo.
void Composer::Hut() {
  Open(5, 96);
  const Chord chords[] = {F, C, Dm, Am, F, G};
  for (int b = 0; b < 6; ++b) {
    const int r = 16 * b;
    PadChord(r, chords[b], b == 0 ? 10 : 20);
    BassHeld(r, chords[b].bass, 40);
    for (int i = 0; i < 8; ++i) s_.Note(r + 2 * i, chHat, N("C-4"), iClosedHat, i % 2 == 0 ? 14 : 22);
    s_.Note(r + 8, chSnare, N("C-4"), iSnare, 20);
    s_.Effect(r + 8, chSnare, 'O', 0x03);
  }
  PadSwell(1, 14, 1);
  const Phrase tune = {{0, N("C-6"), 2, plain},  {2, N("A-5"), 2, plain},  {4, N("F-5"), 4, plain},
                       {8, N("G-5"), 2, plain},  {10, N("A-5"), 6, plain}, {16, N("G-5"), 2, plain},
                       {18, N("E-5"), 2, plain}, {20, N("C-5"), 4, plain}, {24, N("D-5"), 2, plain},
                       {26, N("E-5"), 6, plain}, {32, N("F-5"), 2, plain}, {34, N("A-5"), 2, plain},
                       {36, N("D-6"), 4, plain}, {40, N("C-6"), 2, plain}, {42, N("A-5"), 6, plain},
                       {48, N("E-5"), 4, plain}, {52, N("A-5"), 4, plain}, {56, N("C-6"), 8, plain},
                       {64, N("A-5"), 4, plain}, {68, N("C-6"), 4, plain}, {72, N("F-6"), 8, plain},
                       {80, N("D-6"), 4, plain}, {84, N("B-5"), 4, plain}, {88, N("G-5"), 8, plain}};
  for (const Tone& t : tune) {
    s_.Note(t.row, chArp, t.note, iPluck, 40);
    // The echo: the same note three and a half rows later, half as loud.
    if (t.row + 3 < 96) {
      s_.Note(t.row + 3, chEcho, t.note, iPluck, 18);
      s_.Effect(t.row + 3, chEcho, 'S', 0xD3);
    }
  }
  s_.Note(88, chKick, N("C-4"), iKick, 40);
  Roll(88, 8, 14);
  Close(5);
}

// 90-95 s: a short burst of the groove, two bars and a half.
void Composer::MainThree() {
  Open(6, 40);
  Hit(0);
  Groove(0, {Am, F}, 0, true);
  Melody(0, chLead, iLead, 42, ThemeA2(), 0, chEcho, 16, 32);
  BassHeld(32, G.bass, 50);
  s_.Note(32, chLead, N("B-5"), iLead, 42);
  for (int i = 2; i < 8; ++i) s_.Effect(32 + i, chLead, 'K', 0xF3);
  PadChord(32, G, 24);
  Roll(32, 8, 24);
  Close(6);
}

// 95-98 s: into space. Everything stops on one held hit (a pattern delay),
// then a sweep and bells.
void Composer::PlanetOne() {
  Open(7, 17);
  Hit(0, 62);
  s_.Delay(0, 7);
  s_.Note(0, chBass, N("A-1"), iSub, 60);
  s_.Note(0, chEcho, N("A-5"), iBell, 50);
  PadChord(0, Am, 30);
  for (int ch : {chPad1, chPad2, chPad3}) {
    for (int i = 1; i < 17; ++i) s_.Effect(i, ch, 'D', 0xF2);
  }
  Riser(1, 16);
  s_.Note(4, chLead, N("E-6"), iBell, 36);
  s_.Note(8, chLead, N("A#5"), iBell, 34);
  s_.Note(12, chLead, N("D-6"), iBell, 32);
  s_.Note(12, chSnare, N("C-4"), iSnare, 18);
  for (int i = 12; i < 17; ++i) s_.Effect(i, chSnare, 'Q', 0x92);
  Close(7);
}

// 98-106 s: double-speed rows; a tracker arpeggio and the pluck racing over
// A minor and B flat.
void Composer::PlanetTwo() {
  Open(8, 128);
  s_.Speed(0, 3);
  Hit(0, 54);
  const Chord chords[] = {Am, Bb, Am, Bb};
  for (int b = 0; b < 4; ++b) {
    const int r = 32 * b;
    const Chord& c = chords[b];
    PadChord(r, c, 24);
    ChipArp(r, chArp, c, 32, 8, 18);
    for (int beat = 0; beat < 4; ++beat) {
      s_.Note(r + 8 * beat, chKick, N("C-4"), iKick, 56);
      s_.Note(r + 8 * beat, chBass, c.bass, iBass, 52);
      s_.Note(r + 8 * beat + 4, chBass, c.bass + 12, iBass, 40);
      s_.Effect(r + 8 * beat + 6, chBass, 'S', 0xC2);
    }
    s_.Note(r + 8, chSnare, N("C-4"), iClap, 44);
    s_.Note(r + 24, chSnare, N("C-4"), iClap, 48);
    for (int i = 0; i < 16; ++i) {
      s_.Note(r + 2 * i, chHat, N("C-4"), iClosedHat, i % 2 == 0 ? 34 : 20);
    }
    for (int i = 0; i < 32; i += 2) {
      s_.Note(r + i, chEcho, c.arp[(i / 2) % 4] + 12, iPluck, 18);
    }
  }
  // A lead line that bends: portamento up into each long note.
  s_.Note(64, chLead, N("E-6"), iLead, 40);
  s_.Note(80, chLead, N("F-6"), iLead, 40);
  // Bend up about a tone and back.
  for (int i = 1; i < 4; ++i) s_.Effect(80 + i, chLead, 'F', 0x01);
  for (int i = 5; i < 8; ++i) s_.Effect(80 + i, chLead, 'E', 0x01);
  s_.Note(96, chLead, N("E-6"), iLead, 42);
  for (int i = 2; i < 32; ++i) s_.Effect(96 + i, chLead, 'H', 0x61);
  Close(8);
}

// 106-116 s: arrival. D minor, B flat, C, and E to turn home.
void Composer::PlanetThree() {
  Open(9, 160);
  Hit(0, 56);
  const Chord chords[] = {Dm, Bb, C, E, E};
  for (int b = 0; b < 5; ++b) {
    const int r = 32 * b;
    const Chord& c = chords[b];
    if (b < 4) PadChord(r, c, 26);
    for (int beat = 0; beat < 4; ++beat) {
      s_.Note(r + 8 * beat, chKick, N("C-4"), iKick, 58);
      s_.Note(r + 8 * beat + 4, chHat, N("C-4"), iOpenHat, 22);
      s_.Note(r + 8 * beat, chBass, c.bass, iBass, 52);
      s_.Note(r + 8 * beat + 2, chBass, c.bass + 12, iBass, 34);
      s_.Effect(r + 8 * beat + 2, chBass, 'S', 0xC2);
    }
    if (b < 4) {
      s_.Note(r + 8, chSnare, N("C-4"), iSnare, 46);
      s_.Note(r + 24, chSnare, N("C-4"), iSnare, 50);
    }
    for (int i = 0; i < 32; i += 2) {
      s_.Note(r + i, chArp, c.arp[(i / 2) % 4], iPluck, i % 8 == 0 ? 32 : 22);
    }
  }
  const Phrase line = {{0, N("A-5"), 16, vibrato}, {16, N("F-5"), 16, vibrato},
                       {32, N("A#5"), 16, vibrato}, {48, N("D-6"), 16, glide},
                       {64, N("C-6"), 16, vibrato}, {80, N("E-6"), 16, glide},
                       {96, N("B-5"), 32, vibrato}};
  Melody(0, chLead, iLead, 40, line, 0, chEcho, 14);
  Riser(128, 32);
  Roll(144, 16, 18);
  Close(9);
}

// 116-123 s: back to the groove, three bars and a fill; normal row speed.
void Composer::MainFour() {
  Open(10, 56);
  s_.Speed(0, 6);
  Hit(0);
  Groove(0, {Am, F, C}, 0, true);
  Melody(0, chLead, iLead, 42, ThemeA(), 0, chEcho, 16, 48);
  Fill(48);
  BassHeld(48, G.bass);
  PadChord(48, G, 22);
  Close(10);
}

// 123-133 s: the stone circle and the fire. A tom rhythm looped four times,
// a drone, then pads and a roll.
void Composer::StoneCircle() {
  Open(11, 32);
  s_.Loop(0, 15, 3);
  Hit(0, 40);
  s_.Note(0, chBass, N("D-2"), iSub, 56);
  const int toms[][3] = {{0, 0, 56}, {3, 0, 40}, {6, -5, 50}, {8, 0, 44}, {10, -5, 48},
                         {12, 3, 52}, {14, -2, 46}};
  for (const auto& t : toms) s_.Note(t[0], chSnare, N("C-4") + t[1], iTom, t[2]);
  for (int i = 0; i < 4; ++i) {
    s_.Note(4 * i + 2, chHat, N("C-4"), iClosedHat, 24);
    s_.Effect(4 * i + 2, chHat, 'X', i % 2 == 0 ? 0x20 : 0x60);
  }
  s_.Note(8, chKick, N("C-4"), iKick, 44);
  s_.Note(4, chEcho, N("D-6"), iBell, 22);
  s_.Note(12, chEcho, N("A-5"), iBell, 18);
  s_.Note(0, chArp, N("D-5"), iSquare, 10);
  for (int i = 0; i < 16; ++i) s_.Effect(i, chArp, 'J', 0x37);
  // After the loop: the pads join, and the groove is called back.
  PadChord(16, Dm, 30);
  BassHeld(16, Dm.bass, 50);
  s_.Note(16, chLead, N("F-5"), iLead, 36);
  s_.Note(20, chLead, N("A-5"), iLead, 38);
  s_.Effect(20, chLead, 'G', 0x03);
  for (int i = 22; i < 32; ++i) s_.Effect(i, chLead, 'H', 0x51);
  PadChord(24, E, 30);
  BassHeld(24, E.bass, 50);
  Fill(24);
  Close(11);
}

// 133-160 s: the climax. Twelve bars of themes, then D minor and E.
void Composer::MainFive() {
  Open(12, 216);
  Hit(0);
  Groove(0, {Am, F, C, G, Am, F, C, G, Am, F, C, G, Dm}, 0, true);
  Melody(0, chLead, iLead, 44, ThemeA(), 0, chEcho, 16);
  Melody(64, chLead, iLead, 44, ThemeA2(), 0, chEcho, 16);
  Melody(128, chLead, iLead, 44, ThemeA(), 0, chEcho, 16);
  Melody(192, chLead, iLead, 44, {{0, N("F-6"), 8, vibrato}, {8, N("E-6"), 8, vibrato}});
  Fill(208);
  BassHeld(208, E.bass);
  PadChord(208, E, 24);
  Close(12);
}

// 160-218 s: the finale in B minor, a breakdown, and the long fade.
void Composer::Finale() {
  Open(13, 464);
  Hit(0, 62);
  constexpr int up = 2;  // A minor to B minor
  Groove(0, {Am, F, C, G, Am, F, C, G, Am, F, C, G, Am, F, C, G}, up, true);
  Melody(0, chLead, iLead, 44, ThemeA(), up, chEcho, 16);
  Melody(64, chLead, iLead, 44, ThemeA2(), up, chEcho, 16);
  Melody(128, chLead, iLead, 44, ThemeA(), up, chEcho, 16);
  Melody(192, chLead, iLead, 44, ThemeA2(), up, chEcho, 16);
  // Bars 16-23: breakdown, half-time, the slow theme over the arpeggio.
  const std::vector<Chord> slow = {Dm, Am, F, G, Dm, Am, F, G};
  HalfTime(256, 8);
  for (int b = 0; b < 8; ++b) {
    const Chord c = Transposed(slow[static_cast<std::size_t>(b)], up);
    const int r = 256 + 16 * b;
    PadChord(r, c, 26);
    BassHeld(r, c.bass, 46);
    Arp(r, c, 16, 24);
  }
  Melody(256, chLead, iLead, 42, ThemeB(), up);
  Melody(320, chLead, iLead, 42, ThemeB2(), up);
  // Bars 24-28: the close. Drums fall away, the last chord rings.
  const Chord end[] = {F, G, Am};
  for (int b = 0; b < 3; ++b) {
    const Chord c = Transposed(end[b], up);
    const int r = 384 + 16 * b;
    PadChord(r, c, 28);
    BassHeld(r, c.bass, 44);
    Arp(r, c, 16, 20);
    s_.Note(r, chKick, N("C-4"), iKick, 40 - 8 * b);
  }
  Melody(384, chLead, iLead, 40, {{0, N("C-6"), 8, vibrato}, {8, N("A-5"), 8, plain},
                                  {16, N("B-5"), 16, vibrato}, {32, N("A-5"), 48, fade}}, up);
  s_.Note(416, chEcho, N("A-6") + up, iBell, 36);
  s_.Note(432, chEcho, N("E-6") + up, iBell, 30);
  s_.Note(448, chEcho, N("A-5") + up, iBell, 26);
  s_.Note(416, chPerc, N("C-4"), iCrash, 30);
  // The last bars fade through the global volume.
  for (int i = 0; i < 6; ++i) s_.GlobalVolume(424 + 6 * i, 56 - 8 * i);
  s_.Jump(463, 0);
  Close(13);
}

bool Composer::Compose() {
  // Pannings: drums near the centre, pads spread, lead and echo apart.
  std::array<std::uint8_t, s3m::maxChannels> pan{};
  const std::uint8_t sides[channelCount] = {7, 8, 10, 5, 7, 3, 12, 8, 11, 6, 10, 7};
  for (int c = 0; c < s3m::maxChannels; ++c) {
    pan[static_cast<std::size_t>(c)] = c < channelCount ? static_cast<std::uint8_t>(0x20 | sides[c]) : 0;
  }
  song_.panning = pan;
  song_.speed = 1;  // the first row sets speed 6, so it is read at once
  song_.tempo = 128;
  song_.globalVolume = 64;
  song_.masterVolume = 0xB0;

  song_.instruments.push_back(music::Kick());
  song_.instruments.push_back(music::Snare());
  song_.instruments.push_back(music::ClosedHat());
  song_.instruments.push_back(music::OpenHat());
  song_.instruments.push_back(music::Clap());
  song_.instruments.push_back(music::Crash());
  song_.instruments.push_back(music::Tom());
  song_.instruments.push_back(music::Bass());
  song_.instruments.push_back(music::Pad());
  song_.instruments.push_back(music::Lead());
  song_.instruments.push_back(music::Pluck());
  song_.instruments.push_back(music::Bell());
  song_.instruments.push_back(music::SubDrone());
  song_.instruments.push_back(music::NoiseLoop());
  song_.instruments.push_back(music::ChipSquare());

  Intro();
  Logo();
  MainOne();
  Mountains();
  MainTwo();
  Hut();
  MainThree();
  PlanetOne();
  PlanetTwo();
  PlanetThree();
  MainFour();
  StoneCircle();
  MainFive();
  Finale();
  return s_.Ok();
}

}  // namespace

std::vector<std::uint8_t> ComposeSoundtrack() {
  s3m::Song song("Late Light", channelCount);
  Composer composer(song);
  if (!composer.Compose()) return {};
  return s3m::Write(song);
}
