// S3M module writer: lays out header, order list, parapointers, instrument
// records, packed patterns and sample data, each part on a 16-byte paragraph.
#include "tools/s3mwriter/s3mwriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cctype>
#include <cstring>
#include <numbers>

namespace s3m {
namespace {

void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  out[at] = static_cast<std::uint8_t>(v & 0xFF);
  out[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  Put16(out, at, v & 0xFFFF);
  Put16(out, at + 2, v >> 16);
}

void PutText(std::vector<std::uint8_t>& out, std::size_t at, const std::string& text,
             std::size_t field) {
  std::size_t n = std::min(text.size(), field);
  std::memcpy(out.data() + at, text.data(), n);
}

// Grows the buffer to the next paragraph boundary and returns its number.
std::uint32_t AlignToParagraph(std::vector<std::uint8_t>& out) {
  out.resize((out.size() + 15) & ~std::size_t{15}, 0);
  return static_cast<std::uint32_t>(out.size() >> 4);
}

std::uint8_t ToUnsigned(double v, int amplitude) {
  long s = std::lround(v * amplitude);
  s = std::clamp(s, -128L, 127L);
  return static_cast<std::uint8_t>(s + 128);
}

}  // namespace

std::uint8_t Note(std::string_view name) {
  if (name == "^^" || name == "^^^") {
    return noteCut;
  }
  if (name.size() != 3) {
    return noNote;
  }
  static constexpr std::string_view letters = "C D EF G A B";
  std::size_t semitone = letters.find(static_cast<char>(std::toupper(name[0])));
  if (name[0] == ' ' || semitone == std::string_view::npos) {
    return noNote;
  }
  int s = static_cast<int>(semitone);
  if (name[1] == '#') {
    ++s;
  } else if (name[1] == 'b') {
    --s;
  } else if (name[1] != '-') {
    return noNote;
  }
  if (name[2] < '0' || name[2] > '9') {
    return noNote;
  }
  int octave = name[2] - '0';
  if (s < 0) {
    s += 12;
    --octave;
  } else if (s > 11) {
    s -= 12;
    ++octave;
  }
  if (octave < 0 || octave > 9) {
    return noNote;
  }
  return Note(octave, s);
}

void Song::SetChannels(int channels) {
  channels = std::clamp(channels, 0, maxChannels);
  for (int c = 0; c < maxChannels; ++c) {
    if (c < channels) {
      // Left channels 0..7, right channels 8..15, alternating as ST3 does.
      channelSettings[c] = static_cast<std::uint8_t>((c & 1) ? 8 + (c >> 1) % 8 : (c >> 1) % 8);
    } else {
      channelSettings[c] = 255;
    }
  }
}

PatternData& Song::Pattern(int index) {
  if (index < 0) {
    index = 0;
  }
  if (static_cast<std::size_t>(index) >= patterns.size()) {
    patterns.resize(static_cast<std::size_t>(index) + 1);
  }
  return patterns[static_cast<std::size_t>(index)];
}

Instrument& Song::AddInstrument(std::string instrumentName, std::vector<std::uint8_t> data,
                                std::uint32_t c4Rate, std::uint8_t volume) {
  Instrument ins;
  ins.name = std::move(instrumentName);
  ins.data = std::move(data);
  ins.c4Rate = c4Rate;
  ins.volume = volume;
  instruments.push_back(std::move(ins));
  return instruments.back();
}

std::vector<std::uint8_t> PackPattern(const PatternData& pattern) {
  std::vector<std::uint8_t> out(2, 0);
  for (const auto& row : pattern.rows) {
    for (int ch = 0; ch < maxChannels; ++ch) {
      const Cell& c = row[static_cast<std::size_t>(ch)];
      if (c.Empty()) {
        continue;
      }
      std::uint8_t what = static_cast<std::uint8_t>(ch);
      if (c.note != noNote || c.instrument != 0) {
        what |= 0x20;
      }
      if (c.volume != noVolume) {
        what |= 0x40;
      }
      if (c.command != 0) {
        what |= 0x80;
      }
      out.push_back(what);
      if (what & 0x20) {
        out.push_back(c.note);
        out.push_back(c.instrument);
      }
      if (what & 0x40) {
        out.push_back(c.volume);
      }
      if (what & 0x80) {
        char letter = static_cast<char>(std::toupper(c.command));
        out.push_back(static_cast<std::uint8_t>(letter >= 'A' && letter <= 'Z' ? letter - 'A' + 1
                                                                              : 0));
        out.push_back(c.info);
      }
    }
    out.push_back(0);
  }
  Put16(out, 0, static_cast<std::uint32_t>(out.size()));
  return out;
}

std::vector<std::uint8_t> Write(const Song& song) {
  const std::size_t orderCount = song.orders.size() + (song.orders.size() & 1);  // even
  const std::size_t insCount = song.instruments.size();
  const std::size_t patCount = song.patterns.size();

  std::vector<std::uint8_t> out(96, 0);
  PutText(out, 0, song.name, 28);
  out[28] = 0x1A;
  out[29] = 16;  // type: S3M module
  Put16(out, 32, static_cast<std::uint32_t>(orderCount));
  Put16(out, 34, static_cast<std::uint32_t>(insCount));
  Put16(out, 36, static_cast<std::uint32_t>(patCount));
  Put16(out, 38, song.flags);
  Put16(out, 40, song.trackerVersion);
  Put16(out, 42, song.signedSamples ? 1 : 2);
  std::memcpy(out.data() + 44, "SCRM", 4);
  out[48] = song.globalVolume;
  out[49] = song.speed;
  out[50] = song.tempo;
  out[51] = song.masterVolume;
  out[52] = 16;  // ultra-click removal hint for GUS cards
  out[53] = song.panning ? 0xFC : 0;
  std::memcpy(out.data() + 64, song.channelSettings.data(), maxChannels);

  for (std::uint8_t o : song.orders) {
    out.push_back(o);
  }
  if (orderCount != song.orders.size()) {
    out.push_back(255);
  }
  const std::size_t insPointers = out.size();
  out.resize(out.size() + insCount * 2, 0);
  const std::size_t patPointers = out.size();
  out.resize(out.size() + patCount * 2, 0);
  if (song.panning) {
    out.insert(out.end(), song.panning->begin(), song.panning->end());
  }

  // Instrument records, 80 bytes each; their data pointers are filled later.
  std::vector<std::size_t> records;
  for (std::size_t i = 0; i < insCount; ++i) {
    std::uint32_t para = AlignToParagraph(out);
    Put16(out, insPointers + i * 2, para);
    records.push_back(out.size());
    out.resize(out.size() + 80, 0);
    const Instrument& ins = song.instruments[i];
    std::size_t r = records.back();
    out[r] = 1;  // sampled instrument
    PutText(out, r + 1, ins.fileName, 12);
    const bool sixteen = !ins.data16.empty();
    auto length = static_cast<std::uint32_t>(sixteen ? ins.data16.size() : ins.data.size());
    Put32(out, r + 16, length);
    Put32(out, r + 20, std::min(ins.loopStart, length));
    Put32(out, r + 24, std::min(ins.loopEnd, length));
    out[r + 28] = ins.volume;
    out[r + 31] = static_cast<std::uint8_t>((ins.looped ? 1 : 0) | (sixteen ? 4 : 0));
    Put32(out, r + 32, ins.c4Rate);
    PutText(out, r + 48, ins.name, 28);
    std::memcpy(out.data() + r + 76, "SCRS", 4);
  }

  for (std::size_t p = 0; p < patCount; ++p) {
    std::uint32_t para = AlignToParagraph(out);
    Put16(out, patPointers + p * 2, para);
    std::vector<std::uint8_t> packed = PackPattern(song.patterns[p]);
    out.insert(out.end(), packed.begin(), packed.end());
  }

  for (std::size_t i = 0; i < insCount; ++i) {
    const Instrument& ins = song.instruments[i];
    if (ins.data.empty() && ins.data16.empty()) {
      continue;
    }
    std::uint32_t para = AlignToParagraph(out);
    out[records[i] + 13] = static_cast<std::uint8_t>(para >> 16);
    Put16(out, records[i] + 14, para & 0xFFFF);
    const std::uint8_t flip = song.signedSamples ? 0x80 : 0;
    for (std::uint8_t b : ins.data) {
      out.push_back(static_cast<std::uint8_t>(b ^ flip));
    }
    for (std::int16_t v : ins.data16) {
      const auto u = static_cast<std::uint16_t>(v);
      out.push_back(static_cast<std::uint8_t>(u & 0xFF));
      out.push_back(static_cast<std::uint8_t>((u >> 8) ^ (song.signedSamples ? 0 : 0x80)));
    }
  }
  AlignToParagraph(out);
  return out;
}

bool WriteFile(const Song& song, const std::string& path) {
  std::vector<std::uint8_t> bytes = Write(song);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = (std::fclose(f) == 0) && ok;
  return ok;
}

std::vector<std::uint8_t> SineWave(std::size_t length, int amplitude) {
  std::vector<std::uint8_t> v(length);
  for (std::size_t i = 0; i < length; ++i) {
    v[i] = ToUnsigned(std::sin(2 * std::numbers::pi * static_cast<double>(i) /
                               static_cast<double>(length)),
                      amplitude);
  }
  return v;
}

std::vector<std::uint8_t> SquareWave(std::size_t length, int amplitude) {
  std::vector<std::uint8_t> v(length);
  for (std::size_t i = 0; i < length; ++i) {
    v[i] = ToUnsigned(i < length / 2 ? 1.0 : -1.0, amplitude);
  }
  return v;
}

std::vector<std::uint8_t> SawWave(std::size_t length, int amplitude) {
  std::vector<std::uint8_t> v(length);
  for (std::size_t i = 0; i < length; ++i) {
    v[i] = ToUnsigned(2.0 * static_cast<double>(i) / static_cast<double>(length) - 1.0,
                      amplitude);
  }
  return v;
}

std::vector<std::uint8_t> NoiseBurst(std::size_t length, int amplitude, std::uint32_t seed) {
  std::vector<std::uint8_t> v(length);
  std::uint32_t state = seed ? seed : 1;
  for (std::size_t i = 0; i < length; ++i) {
    state ^= state << 13;  // xorshift32
    state ^= state >> 17;
    state ^= state << 5;
    double noise = static_cast<double>(state & 0xFFFF) / 32767.5 - 1.0;
    double decay = std::exp(-5.0 * static_cast<double>(i) / static_cast<double>(length));
    v[i] = ToUnsigned(noise * decay, amplitude);
  }
  return v;
}

std::vector<std::uint8_t> DecayingSweep(std::size_t length, double startCycles,
                                        double endCycles, int amplitude) {
  std::vector<std::uint8_t> v(length);
  double phase = 0;
  for (std::size_t i = 0; i < length; ++i) {
    double t = static_cast<double>(i) / static_cast<double>(length);
    double cycles = startCycles + (endCycles - startCycles) * t;
    phase += 2 * std::numbers::pi * cycles / 1000.0;
    v[i] = ToUnsigned(std::sin(phase) * std::exp(-4.0 * t), amplitude);
  }
  return v;
}

}  // namespace s3m
