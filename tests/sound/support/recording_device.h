// A sound device for the player and reader tests: every channel operation the
// player makes is recorded with the tick it happened on, samples added are
// kept, and any operation can be told to fail.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

struct SoundDevice;

namespace recdev {

enum class Op {
  PlaySound,
  ReleaseSound,
  StopSound,
  SetRate,
  SetVolume,
  SetSample,
  SetPosition,
  SetPanning,
  AddSample,
  RemoveSample,
  SetUpdRate,
  SetFilter,  // value: cutoff × 256 + resonance
};

struct Event {
  Op op;
  unsigned channel;
  std::int64_t value;
  unsigned tick;  // recdev::tick when the call was made
};

struct AddedSample {
  std::vector<std::uint8_t> data;
  unsigned placement;
  unsigned sampleType;
  unsigned length;
  unsigned loopMode;
  unsigned loopStart;
  unsigned loopEnd;
  unsigned loopType;
  bool removed = false;
};

extern std::vector<Event> events;
extern std::vector<AddedSample> samples;  // handle h is samples[h - 1]
extern unsigned tick;                     // set by the test before each player tick

const SoundDevice* Device();
// Clears the events, samples, failure and tick.
void Reset();
// Makes the next calls of op (from the countdown-th on) return error.
void FailOn(Op op, int error, int countdown = 0);

// Events of one kind (and one channel, when given), optionally on one tick.
std::vector<Event> Of(Op op, int channel = -1, std::optional<unsigned> onTick = std::nullopt);
// Value of the last event of a kind on a channel.
std::optional<std::int64_t> Last(Op op, int channel);
std::size_t LiveSamples();

}  // namespace recdev
