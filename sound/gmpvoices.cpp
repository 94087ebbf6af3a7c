// Background voices of IT songs: the duplicate check, the new-note actions,
// the past-note actions and the per-tick life of the notes that were moved
// off their channels.
#include "sound/gmpvoices.h"

#include <algorithm>

#include "sound/errors.h"
#include "sound/gmpcmds.h"
#include "sound/gmpitvol.h"
#include "sound/mem.h"
#include "sound/module.h"
#include "sound/sdevice.h"

namespace {

bool UsesVoices(const Module* m) {
  return m->kind == modKindIT && (m->flags & modFlagInstrumentMode) != 0;
}

const ModuleInstrument* InstrumentAt(const PlayerHandle* h, std::int32_t index) {
  const Module* m = h->module;
  if (index < 0 || static_cast<std::uint32_t>(index) >= m->numInstruments ||
      m->instruments == nullptr) {
    return nullptr;
  }
  return m->instruments[index];
}

std::uint32_t HostOf(const PlayerHandle* h, const PlayerChannel* c) {
  return static_cast<std::uint32_t>(c - h->channels);
}

// Whether the sample's end can be told from the frames played: only a
// sample without any loop is known to stop at its last frame.
bool SampleWithoutLoop(const ModuleSample* s) {
  switch (s->loopMode) {
    case loopModeNone:
    case loopModeSwapNone:
      return true;
    case loopModeSingle:
    case loopModeSwapLoop:
      return s->loopType == loopTypeNone;
    default:
      return false;
  }
}

bool SampleFinished(const PlayerHandle* h, const PlayerChannel* c) {
  const ModuleSample* s = gmpChannelSample(h, c);
  if (s == nullptr || !SampleWithoutLoop(s)) {
    return false;
  }
  const std::uint64_t frames = s->sampleType == smp16bitMono ? s->length / 2 : s->length;
  return (c->framePosition >> 8) >= frames;
}

// The volume envelope plays (S77 has not switched it off) and stands on its
// last point, which it will not leave, at zero: the note can never be heard
// again, as no command reaches a background note.
bool EnvelopeEndedSilent(const PlayerHandle* h, const PlayerChannel* c) {
  const ModuleInstrument* ins = gmpChannelInstrument(h, c);
  const ModuleEnvelope* env = ins != nullptr ? ins->volEnvelope : nullptr;
  if (env == nullptr || env->numPoints == 0 || env->loopStart != 0xFF ||
      !gmpItEnvelopeOn(c, gmpItEnvelopeVolume)) {
    return false;
  }
  if (!c->released && (env->sustainLoopStart != 0xFF || env->sustain != 0xFF)) {
    return false;
  }
  const int last = std::min<int>(env->numPoints, envelopeMaxPoints) - 1;
  return c->volumeEnvelope.position >= env->points[last][0] && env->points[last][1] == 0;
}

bool FadedOut(const PlayerChannel* c) {
  return (c->released || c->fading) && c->fadeOutVolume <= 0;
}

// A note that can still be heard: worth keeping in the background.
bool Audible(const PlayerHandle* h, const PlayerChannel* c) {
  return c->sounding && c->effectiveVolume != 0 && !FadedOut(c) && !SampleFinished(h, c) &&
         !EnvelopeEndedSilent(h, c);
}

// Cut, key off or fade-out (duplicate-action numbering) on one note.
int ApplyAction(PlayerHandle* h, PlayerChannel* c, unsigned action) {
  switch (action) {
    case gmpDuplicateActionCut:
      c->sounding = 0;
      return gmpDevice()->StopSound(c->deviceChannel);
    case gmpDuplicateActionOff:
      return c->released ? errOK : gmpReleaseNote(h, c);
    case gmpDuplicateActionFade:
      c->fading = 1;
      return errOK;
    default:
      return errOK;
  }
}

int ApplyToVoice(PlayerHandle* h, PlayerVoice* v, unsigned action) {
  const int error = ApplyAction(h, &v->state, action);
  if (!v->state.sounding) {
    v->active = 0;
  }
  return error;
}

// Whether an older note counts as a duplicate of the new one.
bool Duplicate(const PlayerChannel* old, std::int32_t instrument, unsigned type,
               std::uint8_t sample, std::uint8_t note) {
  if (!old->sounding || old->instrument != instrument) {
    return false;
  }
  switch (type) {
    case gmpDuplicateNote: return old->lastNote == note;
    case gmpDuplicateSample: return sample != 0xFF && old->sample == sample;
    case gmpDuplicateInstrument: return true;
    default: return false;
  }
}

int DuplicateCheck(PlayerHandle* h, PlayerChannel* c, std::int32_t instrument) {
  const ModuleInstrument* ins = InstrumentAt(h, instrument);
  if (ins == nullptr || ins->dupCheckType == gmpDuplicateOff) {
    return errOK;
  }
  std::uint8_t note = c->note;
  const std::uint8_t sample = gmpMapSample(h, ins, &note);
  const std::uint32_t host = HostOf(h, c);
  for (std::uint32_t i = 0; i < h->numVoices; ++i) {
    PlayerVoice* v = &h->voices[i];
    if (v->active && v->host == host &&
        Duplicate(&v->state, instrument, ins->dupCheckType, sample, note)) {
      if (int e = ApplyToVoice(h, v, ins->dupCheckAction); e != errOK) return e;
    }
  }
  if (Duplicate(c, instrument, ins->dupCheckType, sample, note)) {
    return ApplyAction(h, c, ins->dupCheckAction);
  }
  return errOK;
}

// A free voice, else the quietest one, the oldest of equally quiet ones.
PlayerVoice* TakeVoice(PlayerHandle* h) {
  PlayerVoice* best = &h->voices[0];
  for (std::uint32_t i = 0; i < h->numVoices; ++i) {
    PlayerVoice* v = &h->voices[i];
    if (!v->active) {
      return v;
    }
    if (v->state.finalVolume < best->state.finalVolume ||
        (v->state.finalVolume == best->state.finalVolume && v->serial < best->serial)) {
      best = v;
    }
  }
  return best;
}

// The channel's note goes on in a voice, on the device channel it plays on;
// the channel carries on with the voice's spare device channel.
int MoveToBackground(PlayerHandle* h, PlayerChannel* c) {
  PlayerVoice* v = TakeVoice(h);
  const SoundDevice* device = gmpDevice();
  if (v->active) {
    v->active = 0;
    if (int e = device->StopSound(v->state.deviceChannel); e != errOK) return e;
  }
  const std::uint16_t spare = v->state.deviceChannel;
  v->state = *c;
  v->host = HostOf(h, c);
  v->serial = ++h->voiceSerial;
  v->active = 1;
  c->deviceChannel = spare;
  c->sounding = 0;
  int error = errOK;
  if (c->noteAction == gmpNoteActionOff) {
    error = ApplyToVoice(h, v, gmpDuplicateActionOff);
  } else if (c->noteAction == gmpNoteActionFade) {
    error = ApplyToVoice(h, v, gmpDuplicateActionFade);
  }
  // A note without an instrument sets no sample: the new device channel
  // gets the channel's current one.
  const ModuleSample* s = gmpChannelSample(h, c);
  if (error == errOK && s != nullptr && s->sdHandle != 0) {
    error = device->SetSample(spare, s->sdHandle);
  }
  return error;
}

bool VoiceOver(const PlayerHandle* h, const PlayerChannel* c) {
  return FadedOut(c) || SampleFinished(h, c) || EnvelopeEndedSilent(h, c);
}

}  // namespace

unsigned gmpDeviceChannelsFor(const Module* module) {
  if (module == nullptr) {
    return 0;
  }
  return module->numChannels + (UsesVoices(module) ? gmpBackgroundVoices : 0u);
}

void gmpFreeVoices(PlayerHandle* h) {
  if (h->voices != nullptr) {
    memFree(h->voices);
  }
  h->voices = nullptr;
  h->numVoices = 0;
}

int gmpSetVoiceChannels(PlayerHandle* h, unsigned count, const unsigned* channels) {
  if (h == nullptr || (count > 0 && channels == nullptr)) {
    return errInvalidArguments;
  }
  count = std::min(count, gmpBackgroundVoices);
  for (unsigned i = 0; i < count; ++i) {
    if (channels[i] > 0xFFFF) {
      return errInvalidArguments;
    }
  }
  for (std::uint32_t i = 0; i < h->numVoices; ++i) {
    if (h->voices[i].active) {
      if (int e = gmpDevice()->StopSound(h->voices[i].state.deviceChannel); e != errOK) return e;
    }
  }
  gmpFreeVoices(h);
  if (count == 0) {
    return errOK;
  }
  PlayerVoice* voices = nullptr;
  if (int e = memAllocArray(count, &voices); e != errOK) {
    return e;
  }
  for (unsigned i = 0; i < count; ++i) {
    voices[i] = PlayerVoice{};
    voices[i].state.deviceChannel = static_cast<std::uint16_t>(channels[i]);
    voices[i].state.instrument = -1;
    voices[i].state.sample = 0xFF;
  }
  h->voices = voices;
  h->numVoices = count;
  return errOK;
}

int gmpVoicesBeforeNote(PlayerHandle* h, PlayerChannel* c) {
  if (!UsesVoices(h->module)) {
    return errOK;
  }
  const std::int32_t instrument =
      (c->flags & gmpFlagInstrument) ? c->newInstrument : c->instrument;
  if (int e = DuplicateCheck(h, c, instrument); e != errOK) return e;
  int error = errOK;
  if (c->noteAction != gmpNoteActionCut && h->numVoices > 0 && Audible(h, c)) {
    error = MoveToBackground(h, c);
  }
  const ModuleInstrument* ins = InstrumentAt(h, instrument);
  c->noteAction = ins != nullptr ? static_cast<std::uint8_t>(ins->newNoteAction & 3)
                                 : std::uint8_t{gmpNoteActionCut};
  c->fading = 0;
  return error;
}

int gmpPastNoteAction(PlayerHandle* h, PlayerChannel* c, unsigned action) {
  const std::uint32_t host = HostOf(h, c);
  for (std::uint32_t i = 0; i < h->numVoices; ++i) {
    PlayerVoice* v = &h->voices[i];
    if (v->active && v->host == host) {
      if (int e = ApplyToVoice(h, v, action); e != errOK) return e;
    }
  }
  return errOK;
}

int gmpUpdateVoices(PlayerHandle* h) {
  for (std::uint32_t i = 0; i < h->numVoices; ++i) {
    PlayerVoice* v = &h->voices[i];
    if (!v->active) {
      continue;
    }
    if (int e = gmpUpdateChannel(h, &v->state); e != errOK) return e;
    if (VoiceOver(h, &v->state)) {
      v->active = 0;
      v->state.sounding = 0;
      if (int e = gmpDevice()->StopSound(v->state.deviceChannel); e != errOK) return e;
    }
  }
  return errOK;
}
