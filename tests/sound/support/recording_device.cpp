// Recording sound device for the tests.
#include "tests/sound/support/recording_device.h"

#include <cstring>

#include "sound/errors.h"
#include "sound/module.h"
#include "sound/sdevice.h"

namespace recdev {

std::vector<Event> events;
std::vector<AddedSample> samples;
unsigned tick = 0;

namespace {

std::optional<Op> failOp;
int failError = 0;
int failCountdown = 0;

int Record(Op op, unsigned channel, std::int64_t value) {
  if (failOp == op) {
    if (failCountdown-- <= 0) {
      return failError;
    }
  }
  events.push_back({op, channel, value, tick});
  return errOK;
}

int NoOp() { return errOK; }
int Detect(int* present) {
  *present = 1;
  return errOK;
}
int Init(unsigned, unsigned) { return errOK; }
int GetRate(unsigned, std::uint32_t* rate) {
  *rate = 0;
  return errOK;
}
int GetUnsigned(unsigned, unsigned* v) {
  *v = 0;
  return errOK;
}
int GetInt(unsigned, int* v) {
  *v = 0;
  return errOK;
}
int PlaySound(unsigned ch, std::uint32_t rate) { return Record(Op::PlaySound, ch, rate); }
int ReleaseSound(unsigned ch) { return Record(Op::ReleaseSound, ch, 0); }
int StopSound(unsigned ch) { return Record(Op::StopSound, ch, 0); }
int SetRate(unsigned ch, std::uint32_t rate) { return Record(Op::SetRate, ch, rate); }
int SetVolume(unsigned ch, unsigned v) { return Record(Op::SetVolume, ch, v); }
int SetSample(unsigned ch, unsigned handle) { return Record(Op::SetSample, ch, handle); }
int SetPosition(unsigned ch, unsigned pos) { return Record(Op::SetPosition, ch, pos); }
int SetPanning(unsigned ch, int pan) { return Record(Op::SetPanning, ch, pan); }
int AddSample(const SampleDescriptor* d, int, unsigned* handle) {
  if (int e = Record(Op::AddSample, 0, d->sampleLength); e != errOK) {
    return e;
  }
  AddedSample s{};
  if (d->sample != nullptr && d->sampleLength > 0) {
    const auto* bytes = static_cast<const std::uint8_t*>(d->sample);
    s.data.assign(bytes, bytes + d->sampleLength);
  }
  s.placement = d->placement;
  s.sampleType = d->sampleType;
  s.length = d->sampleLength;
  s.loopMode = d->loopMode;
  s.loopStart = d->loop1Start;
  s.loopEnd = d->loop1End;
  s.loopType = d->loop1Type;
  samples.push_back(std::move(s));
  *handle = static_cast<unsigned>(samples.size());
  return errOK;
}
int RemoveSample(unsigned handle) {
  if (handle == 0 || handle > samples.size() || samples[handle - 1].removed) {
    return errInvalidSampleHandle;
  }
  samples[handle - 1].removed = true;
  return Record(Op::RemoveSample, 0, handle);
}
int SetUpdRate(unsigned rate) { return Record(Op::SetUpdRate, 0, rate); }
int SetFilter(unsigned ch, unsigned cutoff, unsigned resonance) {
  return Record(Op::SetFilter, ch, std::int64_t{cutoff} * 256 + resonance);
}
int Play(int* callPlayer) {
  *callPlayer = 0;
  return errOK;
}
int MuteChannel(unsigned, int) { return errOK; }
int FlagOp(int) { return errOK; }
int UnsignedOp(unsigned) { return errOK; }
int GetUnsignedPtr(unsigned* v) {
  *v = 0;
  return errOK;
}
int StartStream(unsigned, std::uint8_t*, unsigned, unsigned, std::uint32_t) { return errOK; }
int ChannelOp(unsigned) { return errOK; }
int SetLoopCallback(unsigned, void (*)(unsigned)) { return errOK; }
int ChannelUnsigned(unsigned, unsigned) { return errOK; }
int ChannelFlag(unsigned, int) { return errOK; }

const char* const cardNames[] = {"Recorder"};

const SoundDevice device = {
    0, 0, {0, 0, 0}, 1, 1, 15, "Recording Sound Device", cardNames, 0, nullptr,
    Detect, Init, NoOp, NoOp, NoOp, GetUnsignedPtr, GetUnsignedPtr, UnsignedOp, NoOp, NoOp,
    FlagOp, FlagOp, UnsignedOp, GetUnsignedPtr, UnsignedOp, GetUnsignedPtr, PlaySound,
    ReleaseSound, StopSound, SetRate, GetRate, SetVolume, GetUnsigned, SetSample, GetUnsigned,
    SetPosition, GetUnsigned, GetInt, SetPanning, GetInt, MuteChannel, AddSample, RemoveSample,
    SetUpdRate, NoOp, Play, StartStream, ChannelOp, SetLoopCallback, ChannelUnsigned,
    ChannelFlag, SetFilter,
};

}  // namespace

const SoundDevice* Device() { return &device; }

void Reset() {
  events.clear();
  samples.clear();
  tick = 0;
  failOp.reset();
  failError = 0;
  failCountdown = 0;
}

void FailOn(Op op, int error, int countdown) {
  failOp = op;
  failError = error;
  failCountdown = countdown;
}

std::vector<Event> Of(Op op, int channel, std::optional<unsigned> onTick) {
  std::vector<Event> out;
  for (const Event& e : events) {
    if (e.op == op && (channel < 0 || e.channel == static_cast<unsigned>(channel)) &&
        (!onTick || e.tick == *onTick)) {
      out.push_back(e);
    }
  }
  return out;
}

std::optional<std::int64_t> Last(Op op, int channel) {
  for (auto it = events.rbegin(); it != events.rend(); ++it) {
    if (it->op == op && it->channel == static_cast<unsigned>(channel)) {
      return it->value;
    }
  }
  return std::nullopt;
}

std::size_t LiveSamples() {
  std::size_t n = 0;
  for (const AddedSample& s : samples) {
    n += s.removed ? 0 : 1;
  }
  return n;
}

}  // namespace recdev
