// A small S3M module writer. A song is built in memory (header values, orders,
// patterns of 64 rows × 32 channels, instruments with 8-bit sample data) and
// written out as the bytes of a Scream Tracker 3 module file that other
// trackers read too (unsigned samples, paragraph-aligned parts).
//
//   s3m::Song song("demo tune", 4);          // four channels, L R L R
//   song.orders = {0, 1};
//   auto& ins = song.AddInstrument("sine", s3m::SineWave(64), 8363, 64);
//   ins.SetLoop(0, 64);
//   song.Pattern(0).At(0, 0) = s3m::Cell::Play(s3m::Note("C-4"), 1, 64);
//   song.Pattern(0).At(0, 1).Effect('A', 3);
//   std::vector<std::uint8_t> bytes = s3m::Write(song);
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace s3m {

inline constexpr int rowsPerPattern = 64;
inline constexpr int maxChannels = 32;
inline constexpr std::uint8_t noNote = 0xFF;
inline constexpr std::uint8_t noteCut = 0xFE;  // "^^" in a tracker
inline constexpr std::uint8_t noVolume = 0xFF;

// Packed S3M note byte: (octave << 4) | semitone.
constexpr std::uint8_t Note(int octave, int semitone) {
  return static_cast<std::uint8_t>(((octave & 0x0F) << 4) | (semitone % 12));
}
// Note from a tracker-style name: "C-4", "C#4", "Bb3", "^^" (cut). 0xFF (no
// note) for anything it cannot read.
std::uint8_t Note(std::string_view name);

// One pattern cell. Instrument is 1-based (0 = none) as in the file; command
// is the effect letter ('A'..'Z', 0 = none).
struct Cell {
  std::uint8_t note = noNote;
  std::uint8_t instrument = 0;
  std::uint8_t volume = noVolume;
  char command = 0;
  std::uint8_t info = 0;

  static Cell Play(std::uint8_t note, std::uint8_t instrument,
                   std::uint8_t volume = noVolume) {
    Cell c;
    c.note = note;
    c.instrument = instrument;
    c.volume = volume;
    return c;
  }
  Cell& Effect(char letter, std::uint8_t parameter) {
    command = letter;
    info = parameter;
    return *this;
  }
  Cell& Volume(std::uint8_t v) {
    volume = v;
    return *this;
  }
  bool Empty() const {
    return note == noNote && instrument == 0 && volume == noVolume && command == 0;
  }
};

struct PatternData {
  std::array<std::array<Cell, maxChannels>, rowsPerPattern> rows{};
  Cell& At(int row, int channel) { return rows.at(row).at(channel); }
  const Cell& At(int row, int channel) const { return rows.at(row).at(channel); }
};

struct Instrument {
  std::string name;        // up to 28 characters are stored
  std::string fileName;    // up to 12 characters
  std::vector<std::uint8_t> data;  // unsigned 8-bit mono (128 = silence)
  std::vector<std::int16_t> data16;  // when not empty: a 16-bit sample instead
  std::uint32_t c4Rate = 8363;
  std::uint8_t volume = 64;
  bool looped = false;
  std::uint32_t loopStart = 0;  // in samples
  std::uint32_t loopEnd = 0;

  Instrument& SetLoop(std::uint32_t start, std::uint32_t end) {
    looped = true;
    loopStart = start;
    loopEnd = end;
    return *this;
  }
};

struct Song {
  std::string name;              // up to 28 characters are stored
  std::uint8_t globalVolume = 64;
  std::uint8_t speed = 6;
  std::uint8_t tempo = 125;
  std::uint8_t masterVolume = 0xB0;  // bit 7: stereo
  std::uint16_t flags = 0;           // 0x10 Amiga limits, 0x40 fast volume slides
  std::uint16_t trackerVersion = 0x1320;
  bool signedSamples = false;  // format word 1 (old files) instead of 2
  // Per channel: 0..7 left, 8..15 right, 255 unused.
  std::array<std::uint8_t, maxChannels> channelSettings{};
  // When present, written as the panning table (header byte 53 = 0xFC);
  // 0x20 | (0..15) sets a channel's panning.
  std::optional<std::array<std::uint8_t, maxChannels>> panning;
  std::vector<std::uint8_t> orders;  // pattern numbers, 254 skip, 255 end
  std::vector<PatternData> patterns;
  std::vector<Instrument> instruments;

  Song() { SetChannels(0); }
  // channels enabled, alternating left and right; the rest unused.
  explicit Song(std::string songName, int channels = 4) : name(std::move(songName)) {
    SetChannels(channels);
  }
  void SetChannels(int channels);
  // The pattern with this number, created (empty) when missing.
  PatternData& Pattern(int index);
  // Appends an instrument and returns it; its 1-based number is the new count.
  Instrument& AddInstrument(std::string instrumentName, std::vector<std::uint8_t> data,
                            std::uint32_t c4Rate = 8363, std::uint8_t volume = 64);
};

// Packs one pattern as stored in the file: the 2-byte length (which counts
// itself) followed by the packed rows. Channels whose setting is 255 keep
// their data; the writer stores every non-empty cell.
std::vector<std::uint8_t> PackPattern(const PatternData& pattern);

// The whole module file.
std::vector<std::uint8_t> Write(const Song& song);
// Write to a file; false when it cannot be written.
bool WriteFile(const Song& song, const std::string& path);

// Waveform helpers for synthesised instruments: one period of `length`
// unsigned 8-bit samples at the given amplitude (0..127).
std::vector<std::uint8_t> SineWave(std::size_t length, int amplitude = 100);
std::vector<std::uint8_t> SquareWave(std::size_t length, int amplitude = 60);
std::vector<std::uint8_t> SawWave(std::size_t length, int amplitude = 80);
// Deterministic noise with an exponential decay over `length` samples
// (percussion), seeded so the same call gives the same bytes.
std::vector<std::uint8_t> NoiseBurst(std::size_t length, int amplitude = 110,
                                     std::uint32_t seed = 1);
// A decaying sine sweep (a kick drum): frequency falls from `startCycles` to
// `endCycles` cycles per 1000 samples.
std::vector<std::uint8_t> DecayingSweep(std::size_t length, double startCycles,
                                        double endCycles, int amplitude = 120);

}  // namespace s3m
