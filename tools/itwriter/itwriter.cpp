#include "tools/itwriter/itwriter.h"

#include "tools/bytewriter/bytewriter.h"

namespace itwriter {

using bytewriter::Put16;
using bytewriter::Put32;
using bytewriter::PutText;

Instrument::Instrument() {
  for (unsigned n = 0; n < 120; ++n) noteMap[n] = {static_cast<std::uint8_t>(n), 1};
}

Song::Song() {
  for (unsigned c = 0; c < 64; ++c) panning[c] = c < 4 ? 32 : 160;
  channelVolumes.fill(64);
}

void PatternWriter::Fields(std::uint8_t mask, std::uint8_t note, std::uint8_t instrument,
                           std::uint8_t volume, std::uint8_t command, std::uint8_t param) {
  if (mask & 1) bytes.push_back(note);
  if (mask & 2) bytes.push_back(instrument);
  if (mask & 4) bytes.push_back(volume);
  if (mask & 8) {
    bytes.push_back(command);
    bytes.push_back(param);
  }
}

PatternWriter& PatternWriter::Entry(unsigned channel, std::uint8_t mask, std::uint8_t note,
                                    std::uint8_t instrument, std::uint8_t volume,
                                    std::uint8_t command, std::uint8_t param) {
  bytes.push_back(static_cast<std::uint8_t>(((channel & 63) + 1) | 0x80));
  bytes.push_back(mask);
  masks_[channel & 63] = mask;
  Fields(mask, note, instrument, volume, command, param);
  return *this;
}

PatternWriter& PatternWriter::Repeat(unsigned channel, std::uint8_t note,
                                     std::uint8_t instrument, std::uint8_t volume,
                                     std::uint8_t command, std::uint8_t param) {
  bytes.push_back(static_cast<std::uint8_t>((channel & 63) + 1));
  Fields(masks_[channel & 63], note, instrument, volume, command, param);
  return *this;
}

PatternWriter& PatternWriter::EndRow() {
  bytes.push_back(0);
  return *this;
}

namespace {

void PutEnvelope(std::vector<std::uint8_t>& out, const Envelope& env) {
  out.push_back(env.flags);
  out.push_back(env.countOverride.value_or(static_cast<std::uint8_t>(env.nodes.size())));
  out.push_back(env.loopBegin);
  out.push_back(env.loopEnd);
  out.push_back(env.susBegin);
  out.push_back(env.susEnd);
  for (std::size_t i = 0; i < 25; ++i) {
    out.push_back(i < env.nodes.size() ? static_cast<std::uint8_t>(env.nodes[i].first) : 0);
    Put16(out, i < env.nodes.size() ? env.nodes[i].second : 0);
  }
  out.push_back(0);
}

std::vector<std::uint8_t> InstrumentBytes(const Instrument& ins, bool old) {
  std::vector<std::uint8_t> out;
  PutText(out, "IMPI", 4);
  PutText(out, "file.iti", 12);
  out.push_back(0);
  if (old) {
    out.push_back(ins.oldFlags);
    out.push_back(ins.oldLoopBegin);
    out.push_back(ins.oldLoopEnd);
    out.push_back(ins.oldSusBegin);
    out.push_back(ins.oldSusEnd);
    Put16(out, 0);
    Put16(out, ins.fadeOut);
    out.push_back(ins.nna);
    out.push_back(ins.dct);
  } else {
    out.push_back(ins.nna);
    out.push_back(ins.dct);
    out.push_back(ins.dca);
    Put16(out, ins.fadeOut);
    out.push_back(ins.pps);
    out.push_back(ins.ppc);
    out.push_back(ins.gbv);
    out.push_back(ins.dfp);
    out.push_back(ins.rv);
    out.push_back(ins.rp);
  }
  out.resize(32, 0);
  PutText(out, ins.name, 26);
  out.resize(64, 0);
  for (const auto& [note, sample] : ins.noteMap) {
    out.push_back(note);
    out.push_back(sample);
  }
  if (old) {
    out.resize(504, 0);
    for (std::size_t i = 0; i < 25; ++i) {
      out.push_back(i < ins.oldNodes.size() ? ins.oldNodes[i].first : 0xFF);
      out.push_back(i < ins.oldNodes.size() ? ins.oldNodes[i].second : 0);
    }
  } else {
    PutEnvelope(out, ins.volume);
    PutEnvelope(out, ins.panning);
    PutEnvelope(out, ins.pitch);
  }
  out.resize(554, 0);
  return out;
}

}  // namespace

std::vector<std::uint8_t> Song::Build() const {
  const bool old = cmwt < 0x0200;
  std::vector<std::uint8_t> out;
  PutText(out, "IMPM", 4);
  PutText(out, name, 26);
  Put16(out, 0x1004);
  Put16(out, static_cast<std::uint16_t>(orders.size()));
  Put16(out, static_cast<std::uint16_t>(instruments.size()));
  Put16(out, static_cast<std::uint16_t>(samples.size()));
  Put16(out, static_cast<std::uint16_t>(patterns.size()));
  Put16(out, 0x0214);
  Put16(out, cmwt);
  Put16(out, flags);
  Put16(out, 0);
  out.push_back(globalVolume);
  out.push_back(mixingVolume);
  out.push_back(speed);
  out.push_back(tempo);
  out.push_back(128);  // separation
  out.push_back(0);
  Put16(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  out.insert(out.end(), panning.begin(), panning.end());
  out.resize(128, 0);
  out.insert(out.end(), channelVolumes.begin(), channelVolumes.end());
  out.insert(out.end(), orders.begin(), orders.end());

  const std::size_t tables = out.size();
  out.resize(tables + 4 * (instruments.size() + samples.size() + patterns.size()), 0);
  auto setOffset = [&](std::size_t slot, std::size_t value) {
    for (int i = 0; i < 4; ++i) {
      out[tables + slot * 4 + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
  };
  std::size_t slot = 0;
  for (const Instrument& ins : instruments) {
    if (ins.present) {
      setOffset(slot, out.size());
      const auto bytes = InstrumentBytes(ins, old);
      out.insert(out.end(), bytes.begin(), bytes.end());
    }
    ++slot;
  }
  std::vector<std::size_t> dataOffsetSlots;
  for (const Sample& s : samples) {
    if (s.present) {
      setOffset(slot, out.size());
      const std::size_t start = out.size();
      PutText(out, "IMPS", 4);
      PutText(out, "file.wav", 12);
      out.push_back(0);
      out.push_back(s.globalVolume);
      out.push_back(s.flags);
      out.push_back(s.volume);
      PutText(out, s.name, 26);
      out.push_back(s.convert);
      out.push_back(s.defaultPan);
      const std::uint32_t length = s.length.value_or(
          static_cast<std::uint32_t>(s.bytes.size() / ((s.flags & 2) ? 2 : 1)));
      Put32(out, length);
      Put32(out, s.loopBegin);
      Put32(out, s.loopEnd);
      Put32(out, s.c5Speed);
      Put32(out, s.susBegin);
      Put32(out, s.susEnd);
      dataOffsetSlots.push_back(out.size());
      Put32(out, 0);
      out.push_back(s.vibSpeed);
      out.push_back(s.vibDepth);
      out.push_back(s.vibRate);
      out.push_back(s.vibType);
      out.resize(start + 80, 0);
    } else {
      dataOffsetSlots.push_back(0);
    }
    ++slot;
  }
  for (const Pattern& p : patterns) {
    if (p.present) {
      setOffset(slot, out.size());
      Put16(out, static_cast<std::uint16_t>(p.packed.size()));
      Put16(out, p.rows);
      Put32(out, 0);
      out.insert(out.end(), p.packed.begin(), p.packed.end());
    }
    ++slot;
  }
  for (std::size_t i = 0; i < samples.size(); ++i) {
    if (!samples[i].present) continue;
    const std::size_t at = dataOffsetSlots[i];
    const std::size_t value = out.size();
    for (int k = 0; k < 4; ++k) out[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
    out.insert(out.end(), samples[i].bytes.begin(), samples[i].bytes.end());
  }
  return out;
}

}  // namespace itwriter
