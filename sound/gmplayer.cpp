// The module player engine: handles, the tick, row reading, note starts,
// pitch conversion, envelopes and the per-tick device update.
#include "sound/gmplayer.h"

#include <algorithm>
#include <cstring>

#include "sound/errors.h"
#include "sound/gmpcmds.h"
#include "sound/gmpfilter.h"
#include "sound/gmpitpan.h"
#include "sound/gmpittremolo.h"
#include "sound/gmpitpitch.h"
#include "sound/gmpitpitchenv.h"
#include "sound/gmpitpitchvib.h"
#include "sound/gmpitswing.h"
#include "sound/gmpitvol.h"
#include "sound/gmpitvolcol.h"
#include "sound/gmptables.h"
#include "sound/gmpvoices.h"
#include "sound/mem.h"
#include "sound/module.h"
#include "sound/sdevice.h"

namespace {

const SoundDevice* device = nullptr;
PlayerHandle* handles[gmpMaxHandles] = {};
bool busy = false;
gmpTempoCallback tempoCallback = nullptr;

constexpr unsigned defaultTempo = 125;
unsigned currentTempo = defaultTempo;  // the last tempo the device was asked for

ModuleInstrument* ChannelInstrument(const PlayerHandle* h, const PlayerChannel* c) {
  const Module* m = h->module;
  if (c->instrument < 0 || static_cast<std::uint32_t>(c->instrument) >= m->numInstruments ||
      m->instruments == nullptr) {
    return nullptr;
  }
  return m->instruments[c->instrument];
}

// The channel's current sample record, or null (no instrument, no sample, or
// an instrument the reader left without samples).
ModuleSample* ChannelSample(const PlayerHandle* h, const PlayerChannel* c) {
  ModuleInstrument* ins = ChannelInstrument(h, c);
  if (ins == nullptr || c->sample == 0xFF || c->sample >= ins->numSamples ||
      ins->samples == nullptr) {
    return nullptr;
  }
  return ins->samples[c->sample];
}

// Sample index chosen for a note through the instrument's note map (XM, IT);
// IT also replaces the note with the map's note.
std::uint8_t MapSample(const PlayerHandle* h, const ModuleInstrument* ins, std::uint8_t* note) {
  if (ins == nullptr) {
    return 0xFF;
  }
  std::uint8_t index = 0;
  if (ins->noteMap != nullptr && (*note & 0x0F) < 12) {
    unsigned n = (*note & 0x0F) + 12u * (*note >> 4);
    if (h->module->kind == modKindXM) {
      index = ins->noteMap[std::min(n, 95u)];
    } else {
      n = std::min(n, 119u);
      std::uint8_t mapped = ins->noteMap[n * 2];
      index = ins->noteMap[n * 2 + 1];
      if (mapped < 120) {
        *note = static_cast<std::uint8_t>(((mapped / 12) << 4) | (mapped % 12));
      }
    }
  }
  if (index >= ins->numSamples || ins->samples == nullptr || ins->samples[index] == nullptr) {
    return 0xFF;
  }
  return index;
}

std::uint8_t ClampVolume(const PlayerHandle* h, int v) {
  return static_cast<std::uint8_t>(std::clamp(v, 0, static_cast<int>(h->maxVolume)));
}

std::uint32_t ClampPeriod(const PlayerHandle* h, std::int64_t q) {
  return static_cast<std::uint32_t>(
      std::clamp<std::int64_t>(q, h->minPeriod, h->maxPeriod));
}

bool IsTonePortamento(const PlayerHandle* h, const PlayerChannel* c) {
  return ((c->flags & gmpFlagCommand) &&
          (c->command == cmdTonePortamento || c->command == cmdTonePortamentoVolumeSlide)) ||
         gmpItVolumeGlide(h, c);
}

// Envelope value (0..64 × 256) at the channel's position, then the position
// moves on by one tick, held at the sustain point and looped.
int EnvelopeStep(const ModuleEnvelope* env, PlayerEnvelope* state, bool released) {
  const int n = std::min<int>(env->numPoints, envelopeMaxPoints);
  const std::uint32_t t = state->position;
  int i = 0;
  while (i < n - 1 && env->points[i][0] < t) {
    ++i;
  }
  int value;
  const std::uint32_t x1 = env->points[i][0];
  const int y1 = env->points[i][1];
  if (x1 == t || i == 0) {
    value = y1 * 256;
  } else {
    const std::uint32_t x0 = env->points[i - 1][0];
    const int y0 = env->points[i - 1][1];
    if (x1 <= x0) {
      value = y1 * 256;
    } else {
      // A position past the last point stays at the last point's value.
      const int dt = static_cast<int>(std::min(t, x1) - std::min(t, x0));
      value = y0 * 256 + ((y1 - y0) * 256 / static_cast<int>(x1 - x0)) * dt;
    }
  }
  value = std::clamp(value, 0, 64 * 256);

  auto pointPos = [&](std::uint8_t index) -> int {
    return index < n ? static_cast<int>(env->points[index][0]) : -1;
  };
  const bool held = !released && env->sustain != 0xFF && pointPos(env->sustain) == static_cast<int>(t);
  if (!held) {
    // IT plays a loop's end point and jumps back on the tick after it (so a
    // loop of one point holds it); the other kinds jump back on reaching it.
    const int past = env->inclusiveLoops ? 1 : 0;
    const std::uint32_t lastTick = env->points[n - 1][0];
    std::uint32_t next = t;
    if (next < lastTick || (past != 0 && next == lastTick)) {
      ++next;
    }
    if (env->loopEnd != 0xFF && env->loopStart != 0xFF && pointPos(env->loopEnd) >= 0 &&
        pointPos(env->loopStart) >= 0 && static_cast<int>(next) == pointPos(env->loopEnd) + past) {
      next = static_cast<std::uint32_t>(pointPos(env->loopStart));
    }
    if (!released && env->sustainLoopEnd != 0xFF && env->sustainLoopStart != 0xFF &&
        pointPos(env->sustainLoopEnd) >= 0 && pointPos(env->sustainLoopStart) >= 0 &&
        static_cast<int>(next) == pointPos(env->sustainLoopEnd) + past) {
      next = static_cast<std::uint32_t>(pointPos(env->sustainLoopStart));
    }
    state->position = past != 0 ? std::min(next, lastTick) : next;
  }
  return value;
}

bool HasEnvelope(const ModuleEnvelope* env) { return env != nullptr && env->numPoints > 0; }

// A volume envelope without a loop that has reached its last point.
bool EnvelopeAtEnd(const ModuleEnvelope* env, const PlayerEnvelope* state) {
  const int last = std::min<int>(env->numPoints, envelopeMaxPoints) - 1;
  return env->loopStart == 0xFF && state->position >= env->points[last][0];
}

// Finds the pattern at the handle's position, stepping over skip markers
// and entries that name no pattern, wrapping at the end marker or past the
// song end. Each wrap counts a loop when countWraps is set.
void ResolvePosition(PlayerHandle* h, bool countWraps) {
  const Module* m = h->module;
  // Every entry can be visited at most twice (once before and once after a
  // wrap); beyond that the list has nothing playable.
  const std::uint32_t limit = 2 * (m->songLength + 1);
  for (std::uint32_t step = 0; step <= limit; ++step) {
    if (h->position > h->songEnd || h->position >= m->songLength ||
        m->orders[h->position] == orderEnd) {
      h->position = h->restart < m->songLength ? h->restart : 0;
      if (countWraps) {
        ++h->loopCount;
        h->globalVolume = m->globalVolume;
      }
      countWraps = true;
      if (h->module->orders[h->position] < m->numPatterns) {
        break;
      }
      continue;
    }
    if (m->orders[h->position] < m->numPatterns) {
      break;
    }
    ++h->position;  // skip marker or an entry beyond the pattern table
  }
  const std::uint16_t entry = h->position < m->songLength ? m->orders[h->position] : std::uint16_t{orderEnd};
  h->pattern = entry;  // may stay unplayable; rows then read as empty
  h->rowPointer = nullptr;
}

const PackedPattern* CurrentPattern(const PlayerHandle* h) {
  const Module* m = h->module;
  if (h->pattern >= m->numPatterns || m->patterns == nullptr) {
    return nullptr;
  }
  return m->patterns[h->pattern];
}

// Skips one row starting at p, never past end; returns the next row.
const std::uint8_t* SkipRow(const std::uint8_t* p, const std::uint8_t* end) {
  while (p < end) {
    std::uint8_t flags = *p++;
    if (flags == 0) {
      break;
    }
    p += ((flags & pattNoteInst) ? 2 : 0) + ((flags & pattVolume) ? 1 : 0) +
         ((flags & pattCommand) ? 2 : 0);
  }
  return std::min(p, end);
}

// S3M commands that share one parameter memory, as Scream Tracker 3 keeps
// it: D, E, F, I, J, K, L, Q and R. The others (vibrato, tone portamento,
// offset, speed, tempo, ...) keep their parameters to themselves, so a D00
// after an H48 slides by the last D, not by 0x48.
bool SharesS3mMemory(std::uint8_t command) {
  switch (command) {
    case cmdArpeggio:
    case cmdPortamentoUp:
    case cmdPortamentoDown:
    case cmdTonePortamentoVolumeSlide:
    case cmdVibratoVolumeSlide:
    case cmdTremolo:
    case cmdVolumeSlide:
    case cmdTremor:
    case cmdRetriggerVolumeChange:
      return true;
    default:
      return false;
  }
}

// The parameter a command sees after the kind's memory substitution.
unsigned SubstitutedParameter(const PlayerHandle* h, PlayerChannel* c, bool store) {
  unsigned r = c->parameter;
  switch (h->module->kind) {
    case modKindS3M:
      if (r != 0) {
        if (store && SharesS3mMemory(c->command)) {
          c->lastParameter = r;
        }
        return r;
      }
      return c->lastParameter;
    case modKindIT: {
      std::uint8_t& memory = c->parameterMemory[gmpItMemorySlot(h->module, c->command)];
      if (r != 0) {
        if (store) memory = static_cast<std::uint8_t>(r);
        return r;
      }
      return memory;
    }
    case modKindXM:
      switch (c->command) {
        case cmdPortamentoUp:
        case cmdPortamentoDown:
        case cmdFinePortamentoUp:
        case cmdFinePortamentoDown:
        case cmdFineVolumeSlideUp:
        case cmdFineVolumeSlideDown:
        case cmdGlobalVolumeSlide:
        case cmdExtraFinePortamentoUp:
        case cmdExtraFinePortamentoDown:
        case cmdPanningSlide:
        case cmdTremor:
          if (r != 0) {
            if (store) c->parameterMemory[c->command] = static_cast<std::uint8_t>(r);
            return r;
          }
          return c->parameterMemory[c->command];
        default:
          return r;
      }
    default:
      return r;
  }
}

int RunRowCommand(PlayerHandle* h, PlayerChannel* c) {
  if (c->command >= moduleCommandCount) {
    return errInvalidPattern;
  }
  unsigned p = SubstitutedParameter(h, c, true);
  return gmpRowCommands[h->module->kind][c->command](h, c, p, c->parameter);
}

int TickCommands(PlayerHandle* h) {
  for (std::uint32_t i = 0; i < h->numChannels; ++i) {
    PlayerChannel* c = &h->channels[i];
    const bool columnEffects = h->module->kind == modKindXM || h->module->kind == modKindIT;
    if (columnEffects && (c->flags & gmpFlagVolume) && c->volumeByte > 64) {
      if (int e = gmpVolumeColumnTick(h, c); e != errOK) return e;
    }
    if (c->flags & gmpFlagCommand) {
      if (c->command >= moduleCommandCount) {
        return errInvalidPattern;
      }
      unsigned p = SubstitutedParameter(h, c, false);
      if (int e = gmpTickCommands[h->module->kind][c->command](h, c, p, c->parameter);
          e != errOK) {
        return e;
      }
    }
  }
  return errOK;
}

int InstrumentStep(PlayerHandle* h, PlayerChannel* c) {
  const Module* m = h->module;
  c->instrument = c->newInstrument;
  c->tuningSet = 0;  // the new instrument's own fine tune applies again
  ModuleInstrument* ins = ChannelInstrument(h, c);
  if (m->kind == modKindMOD || m->kind == modKindS3M) {
    c->sampleOffset = 0;
    c->sample = (ins != nullptr && ins->numSamples > 0 && ins->samples != nullptr &&
                 ins->samples[0] != nullptr)
                    ? 0
                    : 0xFF;
    const ModuleSample* s = ChannelSample(h, c);
    if (s == nullptr) {
      return errOK;  // an unused instrument: its notes stay silent
    }
    c->volume = c->effectiveVolume = ClampVolume(h, static_cast<int>(std::min(s->volume, 255u)));
    if (s->sdHandle != 0) {
      return device->SetSample(c->deviceChannel, s->sdHandle);
    }
    return errOK;
  }

  // XM and IT. An instrument switches its envelopes on again (IT S77..S7C).
  c->itVolume.envelopesOff = 0;
  const bool noteDelay = (c->flags & gmpFlagCommand) && c->command == cmdNoteDelay;
  // An IT glide to a new instrument restarts its envelopes only with
  // compatible Gxx.
  const bool itGlide = m->kind == modKindIT && IsTonePortamento(h, c) &&
                       !(m->flags & modFlagItCompatibleGxx);
  if (!(m->kind == modKindXM && noteDelay) && !itGlide) {
    gmpResetInstrumentState(h, c);
  }
  const bool realNote = (c->flags & gmpFlagNote) && c->note < noteStop && (c->note & 0x0F) < 12;
  if (realNote && !IsTonePortamento(h, c)) {
    c->sample = MapSample(h, ins, &c->note);
  }
  const ModuleSample* s = ChannelSample(h, c);
  if (s == nullptr) {
    return errOK;
  }
  c->volume = c->effectiveVolume = ClampVolume(h, static_cast<int>(std::min(s->volume, 255u)));
  if (m->kind == modKindXM) {
    if (int e = gmpSetPanningStep(h, c, s->panning); e != errOK) return e;
  } else if (ins != nullptr && !(ins->defaultPanning & 0x80)) {
    // IT samples carry no panning of their own (-1); the instrument's
    // default panning applies then.
    int pan = s->panning >= 0 ? s->panning : (ins->defaultPanning & 0x7F);
    if (int e = gmpSetPanningStep(h, c, pan); e != errOK) return e;
  }
  if ((c->flags & gmpFlagNote) && s->sdHandle != 0) {
    return device->SetSample(c->deviceChannel, s->sdHandle);
  }
  return errOK;
}

// Position jump and pattern break chose where the song goes when their row
// was read; a delay's repeats do not choose again (a forward jump run a second
// time would count as a jump back and end the song).
bool ChoosesTheNextRow(const PlayerChannel* c) {
  return c->command == cmdPositionJump || c->command == cmdPatternBreak;
}

// During a pattern delay the row is not read again: its commands run once
// as on a first tick and once as on a later tick.
int RepeatDelayedRow(PlayerHandle* h) {
  for (std::uint32_t i = 0; i < h->numChannels; ++i) {
    PlayerChannel* c = &h->channels[i];
    if ((c->flags & gmpFlagCommand) && !ChoosesTheNextRow(c)) {
      if (int e = RunRowCommand(h, c); e != errOK) return e;
    }
  }
  if (int e = TickCommands(h); e != errOK) return e;
  --h->patternDelay;
  return errOK;
}

// The packed rows of the current pattern; both null when it has none.
struct RowBlock {
  const std::uint8_t* begin = nullptr;
  const std::uint8_t* end = nullptr;
};

RowBlock CurrentRows(const PlayerHandle* h) {
  RowBlock rows;
  const PackedPattern* pattern = CurrentPattern(h);
  if (pattern != nullptr && pattern->length >= sizeof(PackedPattern)) {
    rows.begin = PatternRows(pattern);
    rows.end = reinterpret_cast<const std::uint8_t*>(pattern) + pattern->length;
  }
  return rows;
}

// Finds the current row again after a jump cleared the row pointer.
void SeekRow(PlayerHandle* h, RowBlock rows) {
  if (h->rowPointer != nullptr && rows.begin != nullptr) {
    return;
  }
  const std::uint8_t* p = rows.begin;
  for (std::uint32_t r = 0; p != nullptr && r < h->row; ++r) {
    p = SkipRow(p, rows.end);
  }
  h->rowPointer = p;
}

// Stores the fields of one entry (p points past its flag byte) in the
// channel; c is null for a channel beyond the song's, whose entry is dropped.
// IT's reader stores no empty volume bytes, so there 0x50 is the column's b5.
void StoreEntry(PlayerChannel* c, std::uint8_t flags, const std::uint8_t* p, bool it) {
  if (c == nullptr) {
    return;
  }
  if (flags & pattNoteInst) {
    if (it && p[0] == noteFade) {
      c->flags |= gmpFlagNoteFade;  // the playing note fades out; no note starts
    } else if (p[0] != noteNone) {
      c->note = p[0];
      c->flags |= gmpFlagNote;
    }
    if (p[1] != instNone) {
      c->newInstrument = p[1];
      c->flags |= gmpFlagInstrument;
    }
    p += 2;
  }
  if (flags & pattVolume) {
    if (it || p[0] != volumeNone) {
      c->volumeByte = p[0];
      c->flags |= gmpFlagVolume;
    }
    p += 1;
  }
  if ((flags & pattCommand) && p[0] != 0) {
    c->command = p[0];
    c->parameter = p[1];
    c->flags |= gmpFlagCommand;
  }
}

// Reads the row's entries into the channels, clearing what the last row
// left; an entry cut off by the block's end is ignored.
void ReadRow(PlayerHandle* h, const std::uint8_t* end) {
  for (std::uint32_t i = 0; i < h->numChannels; ++i) {
    h->channels[i].flags &= static_cast<std::uint8_t>(~(0x0F | gmpFlagNoteFade));
  }
  const std::uint8_t* p = h->rowPointer;
  while (p != nullptr && p < end) {
    const std::uint8_t flags = *p++;
    if (flags == 0) {
      break;
    }
    const std::ptrdiff_t need = ((flags & pattNoteInst) ? 2 : 0) + ((flags & pattVolume) ? 1 : 0) +
                                ((flags & pattCommand) ? 2 : 0);
    if (end - p < need) {
      p = end;
      break;
    }
    const unsigned channel = flags & pattChannelMask;
    StoreEntry(channel < h->numChannels ? &h->channels[channel] : nullptr, flags, p,
               h->module->kind == modKindIT);
    p += need;
  }
  h->rowPointer = p;
}

int VolumeColumnStep(PlayerHandle* h, PlayerChannel* c) {
  if (c->volumeByte <= 64) {
    c->volume = c->effectiveVolume = ClampVolume(h, c->volumeByte);
    return errOK;
  }
  return gmpVolumeColumnRow(h, c);
}

// XM and IT: a note that came without an instrument takes its sample from
// the current instrument's note map when it starts (on its row, or later by
// a note delay or a sample offset), and the device is told to play that
// sample. A note with an instrument was mapped by the instrument step.
int MapNoteWithoutInstrument(PlayerHandle* h, PlayerChannel* c) {
  const std::uint32_t kind = h->module->kind;
  if ((kind != modKindXM && kind != modKindIT) || (c->flags & gmpFlagInstrument) ||
      c->note >= noteStop) {
    return errOK;
  }
  c->sample = MapSample(h, ChannelInstrument(h, c), &c->note);
  const ModuleSample* s = ChannelSample(h, c);
  if (s != nullptr && s->sdHandle != 0) {
    return device->SetSample(c->deviceChannel, s->sdHandle);
  }
  return errOK;
}

// Without a note the output period returns to the base period, except that
// an XM vibrato (command or volume column), or an IT vibrato that already
// acted on this tick, keeps its offset. MOD periods are
// held to the range only by portamento slides: a fine-tuned note beyond the
// range keeps its pitch from row to row.
void RestorePeriod(PlayerHandle* h, PlayerChannel* c) {
  const bool xmVibrato =
      h->module->kind == modKindXM &&
      (((c->flags & gmpFlagCommand) && c->command == cmdVibrato) ||
       ((c->flags & gmpFlagVolume) && (c->volumeByte & 0xF0) == 0xB0));
  if (h->module->kind == modKindMOD) {
    c->outputPeriod = c->period;
  } else if (!xmVibrato && !gmpItVibratoActed(h, c)) {
    c->outputPeriod = ClampPeriod(h, c->period);
  }
}

// One channel on the row's first tick: instrument, volume, command, note.
int ChannelRowStep(PlayerHandle* h, PlayerChannel* c) {
  if ((c->flags & gmpFlagNote) && c->note < noteStop && (c->note & 0x0F) < 12 &&
      !IsTonePortamento(h, c)) {
    if (int e = gmpVoicesBeforeNote(h, c); e != errOK) return e;
    // IT starts every new note's envelopes, fade-out and release afresh; an
    // instrument on the row does so in its own step.
    if (h->module->kind == modKindIT && !(c->flags & gmpFlagInstrument)) {
      gmpResetInstrumentState(h, c);
    }
  }
  if (c->flags & gmpFlagInstrument) {
    if (int e = InstrumentStep(h, c); e != errOK) return e;
  }
  if (c->flags & gmpFlagVolume) {
    if (int e = VolumeColumnStep(h, c); e != errOK) return e;
  }
  if (c->flags & gmpFlagCommand) {
    if (int e = RunRowCommand(h, c); e != errOK) return e;
  }
  if ((c->flags & gmpFlagNoteFade) && !(c->flags & gmpFlagNoteDelay)) {
    c->fading = 1;
  }
  if (c->flags & gmpFlagNote) {
    return gmpStartNote(h, c);
  }
  RestorePeriod(h, c);
  return errOK;
}

// Moves to the next row, and past the pattern's last row to the next order
// entry, unless a command of this row already chose where to go (the row
// pointer is then null).
void NextRow(PlayerHandle* h) {
  if (h->rowPointer == nullptr) {
    return;
  }
  ++h->row;
  if (h->row >= gmpPatternRows(h)) {
    h->row = 0;
    gmpAdvanceOrder(h);
    if (h->module->kind == modKindS3M || h->module->kind == modKindIT) {
      h->loopStartRow = 0;
    }
  }
}

int RowStep(PlayerHandle* h) {
  h->extraTicks = 0;
  if (h->patternDelay != 0) {
    return RepeatDelayedRow(h);
  }
  const RowBlock rows = CurrentRows(h);
  SeekRow(h, rows);
  ReadRow(h, rows.end);
  for (std::uint32_t i = 0; i < h->numChannels; ++i) {
    if (int e = ChannelRowStep(h, &h->channels[i]); e != errOK) return e;
  }
  NextRow(h);
  return errOK;
}

int Frequency(const PlayerHandle* h, std::uint32_t period, std::uint32_t* frequency) {
  return gmpPeriodToFrequency(h->module, period, frequency);
}

// XM and IT: the volume scaled by the fade-out (which moves on after a key
// off) and by the volume envelope, 0..64; IT keeps the fade-out's precision
// (0..gmpItNoteVolumeFull).
int FadedVolume(PlayerHandle* h, PlayerChannel* c, const ModuleInstrument* ins) {
  int volume = h->module->kind == modKindIT ? gmpItTremoloVolume(h, c) : c->effectiveVolume;
  const int full = h->module->kind == modKindIT ? static_cast<int>(gmpItNoteVolumeFull) : 64;
  if (h->module->kind == modKindXM) {
    volume = static_cast<int>((static_cast<std::int64_t>(volume) * c->fadeOutVolume) >> 16);
    if (c->released && ins != nullptr) {
      c->fadeOutVolume = std::max<std::int32_t>(
          0, c->fadeOutVolume - static_cast<std::int32_t>(2 * std::min(ins->fadeOut, 0xFFFFu)));
    }
  } else {
    // IT counts the instrument's fade-out against 1024.
    volume = std::clamp(volume, 0, 64) * std::clamp<std::int32_t>(c->fadeOutVolume, 0, 0x400);
    if (c->fading && ins != nullptr) {
      c->fadeOutVolume = std::max<std::int32_t>(
          0, c->fadeOutVolume - static_cast<std::int32_t>(std::min(ins->fadeOut, 0xFFFFu)));
    }
  }
  if (ins != nullptr && HasEnvelope(ins->volEnvelope) &&
      (h->module->kind != modKindIT || gmpItEnvelopeOn(c, gmpItEnvelopeVolume))) {
    int env = EnvelopeStep(ins->volEnvelope, &c->volumeEnvelope, c->released != 0);
    volume = std::clamp(static_cast<int>((std::int64_t{volume} * env) >> 14), 0, full);
    if (h->module->kind == modKindIT && EnvelopeAtEnd(ins->volEnvelope, &c->volumeEnvelope)) {
      c->fading = 1;  // an IT note fades out once its volume envelope has ended
    }
  }
  return std::clamp(volume, 0, full);
}

// XM and IT: the channel's panning moved by the panning envelope, as the
// device's -64..64.
int EnvelopedPanning(const PlayerHandle* h, PlayerChannel* c, const ModuleInstrument* ins) {
  int panEnv = -1;
  if (ins != nullptr && HasEnvelope(ins->panEnvelope) &&
      (h->module->kind != modKindIT || gmpItEnvelopeOn(c, gmpItEnvelopePanning))) {
    panEnv = EnvelopeStep(ins->panEnvelope, &c->panningEnvelope, c->released != 0);
  }
  if (h->module->kind == modKindXM) {
    int pan = std::clamp(c->panning, 0, 255);
    if (panEnv >= 0) {
      int room = pan <= 127 ? pan : 256 - pan;
      pan = std::clamp(pan + (panEnv / 256 - 32) * room / 32, 0, 255);
    }
    return std::clamp((pan - 128) / 2, -64, 64);
  }
  int pan = std::clamp(c->panning, 0, 64);
  if (panEnv >= 0) {
    pan = std::clamp(pan + panEnv / 256 - 32, 0, 64);
  }
  return gmpItChannelPanning(h, c, pan);
}

// XM automatic vibrato: sweeps in to the instrument's depth and moves the
// sounding period around the output period.
void AutoVibrato(const PlayerHandle* h, PlayerChannel* c) {
  const ModuleInstrument* ins = ChannelInstrument(h, c);
  if (ins == nullptr || ins->vibDepth == 0 || c->outputPeriod == 0) {
    return;
  }
  const std::uint32_t full = ins->vibDepth * 256u;
  if (ins->vibSweep == 0) {
    c->autoVibratoDepth = full;
  } else if (!c->released && c->autoVibratoDepth < full) {
    c->autoVibratoDepth = std::min(full, c->autoVibratoDepth + full / ins->vibSweep);
  }
  c->autoVibratoPosition = static_cast<std::uint8_t>(c->autoVibratoPosition + ins->vibRate);
  const int pos = c->autoVibratoPosition;
  int w;
  switch (ins->vibType) {
    case 1: w = (pos & 0x80) ? 64 : -64; break;
    case 2: w = ((pos / 2) + 64) % 128 - 64; break;
    case 3: w = (((64 - pos / 2) % 128) + 128) % 128 - 64; break;
    default: w = gmpAutoVibratoSine[static_cast<std::size_t>(pos)]; break;
  }
  const std::int64_t offset = (static_cast<std::int64_t>(w) * c->autoVibratoDepth) >> 14;
  c->soundingPeriod = ClampPeriod(h, static_cast<std::int64_t>(c->outputPeriod) + offset);
}

// Sends one channel's panning (XM, IT), volume and rate to the device.
int UpdateChannel(PlayerHandle* h, PlayerChannel* c) {
  const std::uint32_t kind = h->module->kind;
  int volume = c->effectiveVolume;
  if (kind == modKindXM || kind == modKindIT) {
    const ModuleInstrument* ins = ChannelInstrument(h, c);
    volume = FadedVolume(h, c, ins);
    if (int e = device->SetPanning(c->deviceChannel, EnvelopedPanning(h, c, ins)); e != errOK) {
      return e;
    }
    if (kind == modKindIT) {
      if (int e = gmpFilterUpdate(h, c, ins); e != errOK) return e;
    }
  }
  if (kind == modKindIT) {
    c->finalVolume = gmpItDeviceVolume(h, c, static_cast<std::uint32_t>(volume));
  } else {
    const std::uint64_t product = static_cast<std::uint64_t>(h->globalVolume) *
                                  static_cast<std::uint64_t>(volume) * c->channelVolume *
                                  h->masterVolume;
    c->finalVolume = static_cast<std::uint8_t>(std::min<std::uint64_t>((product + 0x3FFFF) >> 18, 64));
  }
  if (int e = device->SetVolume(c->deviceChannel, c->finalVolume); e != errOK) return e;

  c->soundingPeriod = c->outputPeriod;
  if (kind == modKindXM) {
    AutoVibrato(h, c);
  } else if (kind == modKindIT) {
    const std::uint32_t bent = gmpItPitchEnvelope(h, c, ChannelInstrument(h, c), c->outputPeriod);
    c->soundingPeriod = gmpItAutoVibrato(h, c, ChannelSample(h, c), bent);
  }
  if (c->soundingPeriod != 0) {
    std::uint32_t frequency = 0;
    if (int e = Frequency(h, c->soundingPeriod, &frequency); e != errOK) return e;
    if (int e = device->SetRate(c->deviceChannel, frequency); e != errOK) return e;
    if (c->sounding && h->tempo != 0) {
      // Frames played in one tick of 2.5 / tempo seconds, × 256.
      c->framePosition += std::uint64_t{frequency} * 640 / h->tempo;
    }
  }
  return errOK;
}

int UpdateChannels(PlayerHandle* h) {
  for (std::uint32_t i = 0; i < h->numChannels; ++i) {
    if (int e = UpdateChannel(h, &h->channels[i]); e != errOK) return e;
  }
  return gmpUpdateVoices(h);
}

void FillInfo(PlayerHandle* h) {
  PlayerInfo* info = h->info;
  info->position = h->position;
  info->pattern = h->pattern;
  info->row = h->row;
  info->tempo = h->tempo;
  info->speed = h->speed;
  info->syncValue = h->lastSyncValue;
  info->loopCount = h->loopCount;
}

// The handle table's last free slot, or -1 when every slot is taken.
int FreeSlot() {
  int slot = -1;
  for (int i = 0; i < gmpMaxHandles; ++i) {
    if (handles[i] == nullptr) {
      slot = i;
    }
  }
  return slot;
}

void FreeHandle(PlayerHandle* h) {
  gmpFreeVoices(h);
  if (h->channels != nullptr) memFree(h->channels);
  if (h->info != nullptr) memFree(h->info);
  memFree(h);
}

// A zeroed handle with its channels (at least one) and its info record.
int AllocHandle(std::uint32_t count, PlayerHandle** handle) {
  PlayerHandle* h = nullptr;
  if (int e = memAllocArray(1, &h); e != errOK) {
    return e;
  }
  int error = memAllocArray(std::max<std::uint32_t>(count, 1), &h->channels);
  if (error == errOK) {
    error = memAllocArray(1, &h->info);
  }
  if (error != errOK) {
    FreeHandle(h);
    return error;
  }
  *handle = h;
  return errOK;
}

// The positions played: the whole song when firstPosition is negative,
// otherwise from firstPosition to lastPosition (or the song end), looping to
// restartPosition (or the module's restart position).
void SetSongRange(PlayerHandle* h, int firstPosition, int lastPosition, int restartPosition) {
  const Module* module = h->module;
  if (firstPosition < 0) {
    h->position = 0;
    h->songEnd = module->songLength - 1;
    h->restart = module->restartPosition;
  } else {
    h->position = static_cast<std::uint32_t>(firstPosition);
    h->songEnd = lastPosition < 0 ? module->songLength - 1 : static_cast<std::uint32_t>(lastPosition);
    h->restart = restartPosition < 0 ? module->restartPosition
                                     : static_cast<std::uint32_t>(restartPosition);
  }
  h->songEnd = std::min(h->songEnd, module->songLength - 1);
}

void SetSongDefaults(PlayerHandle* h, std::uint32_t count, int loopingAllowed) {
  const Module* module = h->module;
  h->speed = module->speed != 0 ? module->speed : 6;
  h->globalVolume = std::min<std::uint8_t>(module->globalVolume, module->kind == modKindIT ? 128 : 64);
  h->tick = 0;
  h->patternDelay = 0;
  h->extraTicks = 0;
  h->row = 0;
  h->loopCount = 0;
  h->loopingAllowed = loopingAllowed ? 1 : 0;
  h->masterVolume = 64;
  h->lastSyncValue = -1;
  h->numChannels = count;
  h->tempo = module->tempo != 0 ? module->tempo : defaultTempo;
}

// Slide shift, volume range and period range of the module's kind.
void SetKindLimits(PlayerHandle* h) {
  const Module* module = h->module;
  switch (module->kind) {
    case modKindMOD:
      h->slideShift = 0;
      h->maxVolume = 64;
      h->minPeriod = (module->flags & modFlagExtOctaves) ? 28 : 113;
      h->maxPeriod = (module->flags & modFlagExtOctaves) ? 1712 : 856;
      break;
    case modKindS3M:
      h->slideShift = 2;
      h->maxVolume = 63;
      h->minPeriod = (module->flags & modFlagAmigaLimits) ? 452 : 64;
      h->maxPeriod = (module->flags & modFlagAmigaLimits) ? 3424 : 32767;
      break;
    case modKindXM:
      h->slideShift = 2;
      h->maxVolume = 64;
      h->minPeriod = 57;
      h->maxPeriod = 54784;
      break;
    default:
      h->slideShift = 2;
      h->maxVolume = 64;
      h->minPeriod = 64;
      h->maxPeriod = 16777215;
      if (gmpItLinear(module)) {
        h->minPeriod <<= gmpItLinearPeriodShift;
        h->maxPeriod <<= gmpItLinearPeriodShift;
      }
      break;
  }
}

// Every channel's starting state, on its device channel, with the module's
// panning (or the kind's centre) sent through the set-panning step.
int StartChannels(PlayerHandle* h, const unsigned* channels) {
  const Module* module = h->module;
  const std::uint32_t panCount = module->kind == modKindIT ? 64 : 32;
  for (std::uint32_t i = 0; i < h->numChannels; ++i) {
    PlayerChannel* c = &h->channels[i];
    c->instrument = -1;
    c->newInstrument = -1;
    c->sample = 0xFF;
    c->note = noteNone;
    c->volume = c->effectiveVolume = 64;
    c->channelVolume = 64;
    c->deviceChannel = static_cast<std::uint16_t>(channels[i]);
    gmpFilterStart(c);
    c->fadeOutVolume = module->kind == modKindXM ? 0x10000 : 0x400;
    const int pan = module->panning != nullptr && i < panCount ? module->panning[i]
                    : module->kind == modKindXM                 ? 128
                    : module->kind == modKindIT                 ? 32
                                                                : 64;
    if (int e = gmpSetPanningStep(h, c, pan); e != errOK) return e;
  }
  if (module->kind == modKindIT) {
    gmpItStartChannels(h);
    gmpItSeedRandom(h);
  }
  return errOK;
}

}  // namespace

const SoundDevice* gmpDevice() { return device; }

ModuleInstrument* gmpChannelInstrument(const PlayerHandle* h, const PlayerChannel* c) {
  return ChannelInstrument(h, c);
}

ModuleSample* gmpChannelSample(const PlayerHandle* h, const PlayerChannel* c) {
  return ChannelSample(h, c);
}

std::uint8_t gmpMapSample(const PlayerHandle* h, const ModuleInstrument* ins, std::uint8_t* note) {
  return MapSample(h, ins, note);
}

int gmpUpdateChannel(PlayerHandle* h, PlayerChannel* c) { return UpdateChannel(h, c); }

int gmpEnvelopeStep(const ModuleEnvelope* env, PlayerEnvelope* state, bool released) {
  return EnvelopeStep(env, state, released);
}

int gmpReleaseNote(PlayerHandle* h, PlayerChannel* c) {
  c->released = 1;
  // The fade-out starts at once without a volume envelope (or with one that
  // S77 switched off) or with a looping one; a volume envelope that ends
  // starts it when it ends.
  const ModuleInstrument* ins = ChannelInstrument(h, c);
  if (ins == nullptr || !HasEnvelope(ins->volEnvelope) ||
      !gmpItEnvelopeOn(c, gmpItEnvelopeVolume) || ins->volEnvelope->loopStart != 0xFF) {
    c->fading = 1;
  }
  // The sample's sustain loop ends too.
  return device->ReleaseSound(c->deviceChannel);
}

std::uint32_t gmpPatternRows(const PlayerHandle* h) {
  const PackedPattern* pattern = CurrentPattern(h);
  if (pattern == nullptr || pattern->rows == 0) {
    return 64;
  }
  return pattern->rows;
}

void gmpAdvanceOrder(PlayerHandle* h) {
  ++h->position;
  ResolvePosition(h, true);
}

void gmpJumpToOrder(PlayerHandle* h, std::uint32_t position) {
  h->position = position;
  ResolvePosition(h, true);
}

void gmpResetInstrumentState(PlayerHandle* h, PlayerChannel* c) {
  c->volumeEnvelope.position = 0;
  c->panningEnvelope.position = 0;
  c->filter.envelope.position = 0;
  c->pitchEnvelope.position = 0;
  c->itPanning.offset = 0;
  c->fadeOutVolume = h->module->kind == modKindXM ? 0x10000 : 0x400;
  c->released = 0;
  c->fading = 0;
  c->autoVibratoDepth = 0;
  c->autoVibratoPosition = 0;
}

std::uint32_t gmpNotePeriod(const Module* m, const ModuleSample* s, std::uint8_t note) {
  const unsigned semitone = note & 0x0F;
  const unsigned octave = note >> 4;
  if (s == nullptr || semitone > 11 || note >= noteStop) {
    return 0;
  }
  switch (m->kind) {
    case modKindMOD: {
      const unsigned row = static_cast<unsigned>(s->fineTune) & 0x0F;
      return gmpPeriodTableMod[semitone + 12 * row] >> octave;
    }
    case modKindS3M:
    case modKindIT: {
      if (s->basePitch <= 0) {
        return 0;  // a rate of 0 would be divided by: the note stays silent
      }
      // S3M rates are for C-4 (8363 × 16 puts C-4 of an 8363 Hz sample at
      // period 1712); IT rates are for C-5, one octave up: 8363 × 32.
      // (2^18 would leave IT notes a third of a semitone sharp.)
      const unsigned finer = gmpItLinear(m) ? gmpItLinearPeriodShift : 0;
      const std::uint64_t base =
          m->kind == modKindS3M
              ? (std::uint64_t{gmpPeriodTableS3m[semitone]} * 133808) >> octave
              : ((std::uint64_t{gmpPeriodTableS3m[semitone]} * 267616) << finer) >> octave;
      return static_cast<std::uint32_t>(base / static_cast<std::uint64_t>(s->basePitch));
    }
    case modKindXM: {
      const int index = std::clamp(static_cast<int>(semitone + 12 * octave) + s->basePitch, 0, 118);
      const int fine = std::clamp(s->fineTune, -128, 127);
      if (m->flags & modFlagLinear) {
        return static_cast<std::uint32_t>(7680 - 64 * index - fine / 2);
      }
      // Position in eighths of a semitone; the fine tune's low 4 bits
      // interpolate between two neighbouring entries. One octave below C-0
      // is reached by fine tunes below zero on the lowest note.
      int eighths = index * 8 + (fine >> 4) + 96;
      const int frac = fine & 0x0F;
      const int oct = eighths / 96;
      const int entry = eighths % 96;
      const int a = gmpPeriodTableXm[static_cast<std::size_t>(entry)];
      const int b = gmpPeriodTableXm[static_cast<std::size_t>(entry + 1)];
      const int interpolated = (a * (16 - frac) + b * frac) / 16;
      // Table values × 32 are the periods of octave 0; one octave more here
      // because of the 96 added above.
      return static_cast<std::uint32_t>((interpolated * 64) >> oct);
    }
    default:
      return 0;
  }
}

int gmpPeriodToFrequency(const Module* m, std::uint32_t period, std::uint32_t* frequency) {
  if (period == 0) {
    return errInvalidPattern;
  }
  switch (m->kind) {
    case modKindMOD:
      *frequency = 3546895u / period;
      break;
    case modKindXM:
      if (m->flags & modFlagLinear) {
        const std::uint32_t shift = period / 768;
        *frequency = shift >= 32 ? 0 : gmpLinearFreqTable[period % 768] >> shift;
      } else {
        *frequency = 14317456u / period;
      }
      break;
    default:
      *frequency = static_cast<std::uint32_t>(
          (std::uint64_t{14317056} << (gmpItLinear(m) ? gmpItLinearPeriodShift : 0)) / period);
      break;
  }
  return errOK;
}

std::uint32_t gmpChannelNotePeriod(const PlayerHandle* h, const PlayerChannel* c,
                                   std::uint8_t note) {
  const ModuleSample* s = ChannelSample(h, c);
  if (s == nullptr || !c->tuningSet) {
    return gmpNotePeriod(h->module, s, note);
  }
  // A set-fine-tune command: the S3M C-4 rate or the MOD/XM fine tune.
  ModuleSample tuned = *s;
  if (h->module->kind == modKindS3M) {
    tuned.basePitch = c->tuning;
  } else {
    tuned.fineTune = c->tuning;
  }
  return gmpNotePeriod(h->module, &tuned, note);
}

int gmpSetPanningStep(PlayerHandle* h, PlayerChannel* c, int v) {
  switch (h->module->kind) {
    case modKindMOD:
    case modKindS3M: {
      const int sent = v == 164 ? 0x80 : std::clamp(v - 64, -64, 64);
      c->panning = sent;
      return device->SetPanning(c->deviceChannel, sent);
    }
    case modKindIT: {
      const int pan = std::clamp(v, 0, 64);
      c->panning = pan;
      gmpItPanningReset(c);
      return device->SetPanning(c->deviceChannel, 2 * pan - 64);
    }
    default:
      c->panning = std::clamp(v, 0, 255);
      return errOK;
  }
}

int gmpStartNote(PlayerHandle* h, PlayerChannel* c) {
  const Module* m = h->module;
  // Waveform bit 2 keeps the wave's position across notes.
  if (!(c->vibratoWaveform & 4)) c->vibratoPosition = 0;
  // IT's tremolo runs on across notes.
  if (!(c->tremoloWaveform & 4) && m->kind != modKindIT) c->tremoloPosition = 0;
  if (int e = MapNoteWithoutInstrument(h, c); e != errOK) {
    c->flags &= static_cast<std::uint8_t>(~gmpFlagNote);
    return e;
  }
  const std::uint8_t note = c->note;
  int error = errOK;
  if (note < noteStop) {
    const ModuleSample* s = ChannelSample(h, c);
    const std::uint32_t period = s != nullptr ? gmpChannelNotePeriod(h, c, note) : 0;
    if (period == 0) {
      // No sample to play (an instrument without one, a C-4 rate of 0, a
      // note outside the scale): the channel falls silent.
      if (s != nullptr || c->instrument >= 0) {
        c->sounding = 0;
        error = device->StopSound(c->deviceChannel);
      }
    } else {
      c->lastNote = note;
      c->period = period;  // held to the range only by later period changes
      c->outputPeriod = period;
      std::uint32_t frequency = 0;
      error = gmpPeriodToFrequency(m, c->period, &frequency);
      if (error == errOK) {
        error = device->PlaySound(c->deviceChannel, frequency);
        c->sounding = error == errOK ? 1 : 0;
        c->framePosition = std::uint64_t{c->sampleOffset} << 8;
      }
      if (error == errOK && m->kind == modKindIT) {
        gmpFilterNoteStart(h, c);
        gmpItNoteSwing(h, c);
      }
      const std::uint32_t offset =
          m->kind == modKindIT ? gmpItSampleOffset(m, s, c->sampleOffset) : c->sampleOffset;
      if (error == errOK && offset != 0) {
        const std::uint32_t bytes = s->sampleType == smp16bitMono ? offset * 2 : offset;
        error = device->SetPosition(c->deviceChannel, bytes);
      }
    }
  } else if (note == noteStop) {
    c->sounding = 0;
    error = device->StopSound(c->deviceChannel);
  } else if (note == noteCut) {
    switch (m->kind) {
      case modKindS3M:
        c->sounding = 0;
        error = device->StopSound(c->deviceChannel);
        break;
      case modKindMOD:
        error = device->ReleaseSound(c->deviceChannel);
        break;
      case modKindXM: {
        const ModuleInstrument* ins = ChannelInstrument(h, c);
        if (ins == nullptr || !HasEnvelope(ins->volEnvelope)) {
          c->volume = c->effectiveVolume = 0;
        }
        c->released = 1;
        break;
      }
      default:
        error = gmpReleaseNote(h, c);
        break;
    }
  }
  c->flags &= static_cast<std::uint8_t>(~gmpFlagNote);
  return error;
}

int gmpInit(const SoundDevice* soundDevice) {
  if (soundDevice == nullptr) {
    return errInvalidArguments;
  }
  device = soundDevice;
  std::fill(std::begin(handles), std::end(handles), nullptr);
  tempoCallback = nullptr;
  busy = false;
  currentTempo = defaultTempo;
  return device->SetUpdRate(defaultTempo * 40);
}

int gmpClose() {
  for (PlayerHandle*& h : handles) {
    if (h != nullptr) {
      if (int e = gmpStopSong(h); e != errOK) return e;
    }
  }
  return errOK;
}

int gmpSetTempoCallback(gmpTempoCallback callback) {
  tempoCallback = callback;
  if (callback != nullptr) {
    callback(currentTempo * 40);
  }
  return errOK;
}

int gmpSetTempo(PlayerHandle* h, unsigned tempo) {
  if (tempo == 0) {
    return errOK;
  }
  if (h != nullptr) {
    h->tempo = tempo;
  }
  if (device == nullptr) {
    return errOK;
  }
  if (int e = device->SetUpdRate(tempo * 40); e != errOK) return e;
  currentTempo = tempo;
  if (tempoCallback != nullptr) {
    tempoCallback(tempo * 40);
  }
  return errOK;
}

int gmpPlaySong(Module* module, int firstPosition, int lastPosition, int restartPosition,
                int loopingAllowed, int numChannels, const unsigned* channels,
                PlayerHandle** handle) {
  if (module == nullptr || handle == nullptr || device == nullptr || module->orders == nullptr ||
      module->songLength == 0 || module->kind < modKindMOD || module->kind > modKindIT) {
    return errInvalidArguments;
  }
  const int slot = FreeSlot();
  if (slot < 0) {
    return errOutOfResources;
  }
  const std::uint32_t count =
      numChannels < 0 ? module->numChannels : static_cast<std::uint32_t>(numChannels);
  if (count > 32 || (count > 0 && channels == nullptr)) {
    return errInvalidArguments;
  }

  busy = true;
  PlayerHandle* h = nullptr;
  if (int e = AllocHandle(count, &h); e != errOK) {
    busy = false;
    return e;
  }
  h->slot = static_cast<std::uint32_t>(slot);
  h->module = module;
  SetSongRange(h, firstPosition, lastPosition, restartPosition);
  SetSongDefaults(h, count, loopingAllowed);
  SetKindLimits(h);
  // The first position: a marker there is stepped over without counting a loop.
  ResolvePosition(h, false);
  int error = gmpSetTempo(h, h->tempo);
  if (error == errOK) {
    error = StartChannels(h, channels);
  }
  if (error != errOK) {
    FreeHandle(h);
    busy = false;
    return error;
  }
  FillInfo(h);
  handles[slot] = h;
  *handle = h;
  busy = false;
  return errOK;
}

int gmpStopSong(PlayerHandle* h) {
  if (h == nullptr || h->slot >= gmpMaxHandles || handles[h->slot] != h) {
    return errInvalidArguments;
  }
  handles[h->slot] = nullptr;
  const int filterError = h->module->kind == modKindIT ? gmpFilterStop(h) : errOK;
  gmpFreeVoices(h);
  memFree(h->channels);
  memFree(h->info);
  const int error = memFree(h);
  return error != errOK ? error : filterError;
}

int gmpPlay() {
  if (busy) {
    return errOK;
  }
  for (PlayerHandle* h : handles) {
    if (h == nullptr || (!h->loopingAllowed && gmpSongWrapped(h))) {
      continue;
    }
    ++h->tick;
    if (h->tick < h->speed + h->extraTicks) {
      if (int e = TickCommands(h); e != errOK) return e;
    } else {
      h->tick = 0;
      if (int e = RowStep(h); e != errOK) return e;
    }
    if (int e = UpdateChannels(h); e != errOK) return e;
    FillInfo(h);
  }
  return errOK;
}

bool gmpSongWrapped(const PlayerHandle* h) {
  return h->loopCount != 0 && h->tick + 1 >= h->speed + h->extraTicks && h->patternDelay == 0;
}

int gmpSetPosition(PlayerHandle* h, unsigned position) {
  if (h == nullptr) {
    return errInvalidArguments;
  }
  h->position = position;
  h->row = 0;
  h->patternDelay = 0;
  h->extraTicks = 0;
  h->loopStartRow = 0;
  ResolvePosition(h, false);
  FillInfo(h);
  return errOK;
}

int gmpSetSyncCallback(PlayerHandle* h, gmpSyncCallback callback) {
  if (h == nullptr) {
    return errInvalidArguments;
  }
  h->syncCallback = callback;
  return errOK;
}

int gmpSetMasterVolume(PlayerHandle* h, unsigned volume) {
  if (h == nullptr) {
    return errInvalidArguments;
  }
  h->masterVolume = static_cast<std::uint8_t>(std::min(volume, 64u));
  return errOK;
}

int gmpSetChannelVolume(PlayerHandle* h, unsigned channel, unsigned volume) {
  if (h == nullptr) {
    return errInvalidArguments;
  }
  if (channel >= h->numChannels) {
    return errInvalidChannel;
  }
  h->channels[channel].channelVolume = static_cast<std::uint8_t>(std::min(volume, 64u));
  return errOK;
}

int gmpGetInfo(PlayerHandle* h, PlayerInfo** info) {
  if (h == nullptr || info == nullptr) {
    return errInvalidArguments;
  }
  *info = h->info;
  return errOK;
}
