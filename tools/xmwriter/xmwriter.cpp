#include "tools/xmwriter/xmwriter.h"

#include "tools/bytewriter/bytewriter.h"

namespace xmwriter {

using bytewriter::Put16;
using bytewriter::Put32;
using bytewriter::PutText;

Cell& Song::At(int pattern, int row, int channel) {
  if (patterns.size() <= static_cast<std::size_t>(pattern)) patterns.resize(pattern + 1);
  Pattern& p = patterns[pattern];
  if (p.cells.size() < static_cast<std::size_t>(p.rows) * channels) {
    p.cells.resize(static_cast<std::size_t>(p.rows) * channels);
  }
  return p.cells[row * channels + channel];
}

std::vector<std::uint8_t> Pack(const std::vector<Cell>& cells) {
  std::vector<std::uint8_t> out;
  for (const Cell& c : cells) {
    std::uint8_t mask = 0x80;
    if (c.note) mask |= 0x01;
    if (c.instrument) mask |= 0x02;
    if (c.volume) mask |= 0x04;
    if (c.effect) mask |= 0x08;
    if (c.param) mask |= 0x10;
    out.push_back(mask);
    if (c.note) out.push_back(c.note);
    if (c.instrument) out.push_back(c.instrument);
    if (c.volume) out.push_back(c.volume);
    if (c.effect) out.push_back(c.effect);
    if (c.param) out.push_back(c.param);
  }
  return out;
}

namespace {

void PutEnvelopePoints(std::vector<std::uint8_t>& out, const Envelope& env) {
  for (std::size_t i = 0; i < 12; ++i) {
    Put16(out, i < env.points.size() ? env.points[i].first : 0);
    Put16(out, i < env.points.size() ? env.points[i].second : 0);
  }
}

std::uint32_t DataBytes(const Sample& s) {
  return static_cast<std::uint32_t>(s.values.size() * (s.sixteen ? 2 : 1));
}

}  // namespace

namespace {

void PutPattern(std::vector<std::uint8_t>& out, const Pattern& p, std::uint16_t version) {
  std::vector<std::uint8_t> packed;
  if (p.raw) {
    packed = *p.raw;
  } else if (!p.cells.empty()) {
    packed = Pack(p.cells);
  }
  // Version 1.02 stores the row count less one in a byte: an 8-byte header.
  const bool shortHeader = version == 0x0102;
  const std::uint32_t least = shortHeader ? 8 : 9;
  const std::uint32_t length = shortHeader && p.headerLength == 9 ? 8 : p.headerLength;
  Put32(out, length);
  out.push_back(0);
  if (shortHeader) {
    out.push_back(static_cast<std::uint8_t>(p.rows - 1));
  } else {
    Put16(out, p.rows);
  }
  Put16(out, static_cast<std::uint16_t>(packed.size()));
  if (length > least) out.resize(out.size() + (length - least), 0xEE);
  out.insert(out.end(), packed.begin(), packed.end());
}

void PutInstrumentFields(std::vector<std::uint8_t>& out, const Instrument& ins) {
  Put32(out, ins.sampleHeaderSize);
  out.insert(out.end(), ins.noteMap.begin(), ins.noteMap.end());
  PutEnvelopePoints(out, ins.volume);
  PutEnvelopePoints(out, ins.panning);
  out.push_back(ins.volume.countOverride.value_or(
      static_cast<std::uint8_t>(ins.volume.points.size())));
  out.push_back(ins.panning.countOverride.value_or(
      static_cast<std::uint8_t>(ins.panning.points.size())));
  out.push_back(ins.volume.sustain);
  out.push_back(ins.volume.loopStart);
  out.push_back(ins.volume.loopEnd);
  out.push_back(ins.panning.sustain);
  out.push_back(ins.panning.loopStart);
  out.push_back(ins.panning.loopEnd);
  out.push_back(ins.volume.type);
  out.push_back(ins.panning.type);
  out.push_back(ins.vibType);
  out.push_back(ins.vibSweep);
  out.push_back(ins.vibDepth);
  out.push_back(ins.vibRate);
  Put16(out, ins.fadeOut);
}

// The instrument's header and its sample headers.
void PutInstrumentHeaders(std::vector<std::uint8_t>& out, const Instrument& ins) {
  const std::size_t start = out.size();
  const bool hasSamples = !ins.samples.empty();
  const std::uint32_t size = hasSamples ? 263u : 29u;
  Put32(out, size);
  PutText(out, ins.name, 22);
  out.push_back(0);
  Put16(out, static_cast<std::uint16_t>(ins.samples.size()));
  if (hasSamples) PutInstrumentFields(out, ins);
  if (out.size() - start < size) out.resize(start + size, 0);
  for (const Sample& s : ins.samples) {
    const std::size_t headerStart = out.size();
    Put32(out, s.lengthOverride.value_or(DataBytes(s)));
    Put32(out, s.loopStart);
    Put32(out, s.loopLength);
    out.push_back(s.volume);
    out.push_back(static_cast<std::uint8_t>(s.fineTune));
    out.push_back(static_cast<std::uint8_t>((s.sixteen ? 0x10 : 0) | s.loopBits));
    out.push_back(s.panning);
    out.push_back(static_cast<std::uint8_t>(s.relativeNote));
    out.push_back(0);
    PutText(out, s.name, 22);
    if (ins.sampleHeaderSize > 40) out.resize(headerStart + ins.sampleHeaderSize, 0);
  }
}

void PutSampleData(std::vector<std::uint8_t>& out, const Instrument& ins) {
  for (const Sample& s : ins.samples) {
    // Delta coding: each stored value is the difference to the previous one.
    std::int32_t previous = 0;
    for (std::int16_t v : s.values) {
      const std::int32_t delta = v - previous;
      previous = v;
      if (s.sixteen) {
        Put16(out, static_cast<std::uint16_t>(delta));
      } else {
        out.push_back(static_cast<std::uint8_t>(delta));
      }
    }
  }
}

}  // namespace

std::vector<std::uint8_t> Song::Build() const {
  std::vector<std::uint8_t> out;
  PutText(out, "Extended Module: ", 17);
  PutText(out, name, 20);
  out.push_back(0x1A);
  PutText(out, "builder", 20);
  Put16(out, version);
  Put32(out, headerSize);
  Put16(out, songLengthOverride.value_or(static_cast<std::uint16_t>(orders.size())));
  Put16(out, restart);
  Put16(out, channels);
  Put16(out, static_cast<std::uint16_t>(patterns.size()));
  Put16(out, static_cast<std::uint16_t>(instruments.size()));
  Put16(out, flags);
  Put16(out, speed);
  Put16(out, tempo);
  std::vector<std::uint8_t> orderBytes(orders);
  orderBytes.resize(256, 0);
  out.insert(out.end(), orderBytes.begin(), orderBytes.end());
  if (headerSize > 276) out.resize(out.size() + (headerSize - 276), 0xEE);

  if (version < 0x0104) {
    // Versions 1.02 and 1.03: every instrument's headers, the patterns, then
    // the data of every sample.
    for (const Instrument& ins : instruments) PutInstrumentHeaders(out, ins);
    for (const Pattern& p : patterns) PutPattern(out, p, version);
    for (const Instrument& ins : instruments) PutSampleData(out, ins);
    return out;
  }
  for (const Pattern& p : patterns) PutPattern(out, p, version);
  for (const Instrument& ins : instruments) {
    PutInstrumentHeaders(out, ins);
    PutSampleData(out, ins);
  }
  return out;
}

}  // namespace xmwriter
