// Effect commands: the row and tick handlers of the 33 internal commands for
// each module kind, and the volume-column commands.
#include "sound/gmpcmds.h"

#include <algorithm>
#include <array>
#include <initializer_list>

#include "sound/errors.h"
#include "sound/gmpfilter.h"
#include "sound/gmpitpan.h"
#include "sound/gmpittremolo.h"
#include "sound/gmpitpitch.h"
#include "sound/gmpittiming.h"
#include "sound/gmpitvol.h"
#include "sound/gmpitvolcol.h"
#include "sound/gmpnotecmds.h"
#include "sound/gmptables.h"
#include "sound/gmpvoices.h"
#include "sound/gmpwaves.h"
#include "sound/module.h"
#include "sound/sdevice.h"

namespace {

using Handler = gmpCommandHandler;

unsigned Hi(unsigned v) { return (v >> 4) & 0x0F; }
unsigned Lo(unsigned v) { return v & 0x0F; }
std::uint32_t Kind(const PlayerHandle* h) { return h->module->kind; }

int Nothing(PlayerHandle*, PlayerChannel*, unsigned, unsigned) { return errOK; }

void SetVolume(PlayerHandle* h, PlayerChannel* c, int v) {
  c->volume = c->effectiveVolume =
      static_cast<std::uint8_t>(std::clamp(v, 0, static_cast<int>(h->maxVolume)));
}

// A computed period of 0 changes nothing; others are clamped to the range
// and become the base and output period.
void SetPeriod(PlayerHandle* h, PlayerChannel* c, std::int64_t q) {
  if (q == 0) {
    return;
  }
  c->period = c->outputPeriod =
      static_cast<std::uint32_t>(std::clamp<std::int64_t>(q, h->minPeriod, h->maxPeriod));
}

// MOD output periods (vibrato, arpeggio) are not held to the period range,
// as ProTracker plays them; they only stay above 0.
void SetOutputPeriod(PlayerHandle* h, PlayerChannel* c, std::int64_t q) {
  const std::int64_t low = Kind(h) == modKindMOD ? 1 : h->minPeriod;
  const std::int64_t high = Kind(h) == modKindMOD ? std::int64_t{0xFFFF} : h->maxPeriod;
  c->outputPeriod = static_cast<std::uint32_t>(std::clamp<std::int64_t>(q, low, high));
}

std::int64_t Period(const PlayerChannel* c) { return static_cast<std::int64_t>(c->period); }

// A portamento slide by delta. MOD holds the period to the range only on the
// side it slides to, as ProTracker does, so a fine-tuned note beyond the
// range keeps its pitch until a slide crosses the limit; the other kinds
// clamp both sides.
void SlidePeriod(PlayerHandle* h, PlayerChannel* c, std::int64_t delta) {
  if (Kind(h) != modKindMOD) {
    SetPeriod(h, c, Period(c) + delta);
    return;
  }
  if (c->period == 0) {
    return;  // no note yet
  }
  const std::int64_t q = delta < 0 ? std::max<std::int64_t>(Period(c) + delta, h->minPeriod)
                                   : std::min<std::int64_t>(Period(c) + delta, h->maxPeriod);
  c->period = c->outputPeriod = static_cast<std::uint32_t>(q);
}

// 1: arpeggio.
int Arpeggio(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned) {
  if (c->instrument < 0 || c->sample == 0xFF || c->note >= noteStop) {
    return errOK;
  }
  unsigned semitone = c->note & 0x0F;
  unsigned octave = c->note >> 4;
  switch (h->tick % 3) {
    case 1: semitone += Hi(p); break;
    case 2: semitone += Lo(p); break;
    default: break;
  }
  if (semitone > 11) {
    semitone -= 12;
    ++octave;
  }
  if (Kind(h) == modKindMOD && !(h->module->flags & modFlagExtOctaves) && octave > 3) {
    octave -= 3;
  }
  if (semitone > 11 || octave > 15) {
    return errOK;
  }
  const std::uint32_t period =
      gmpChannelNotePeriod(h, c, static_cast<std::uint8_t>((octave << 4) | semitone));
  if (period != 0) {
    SetOutputPeriod(h, c, period);
  }
  return errOK;
}

// 2 and 3: portamento up and down; sign -1 up, +1 down.
int PortamentoS3m(PlayerHandle* h, PlayerChannel* c, unsigned p, int sign) {
  if (Kind(h) == modKindIT) {
    gmpItSlideMemory(c, p);
    if (gmpItLinear(h->module)) {
      gmpItLinearPortamento(h, c, p, sign);
      return errOK;
    }
  }
  if (p < 0xE0) {
    if (h->tick >= 1) {
      SetPeriod(h, c, Period(c) + sign * static_cast<std::int64_t>(p << h->slideShift));
    }
  } else if (h->tick == 0) {
    const unsigned amount = p < 0xF0 ? Lo(p) : Lo(p) << h->slideShift;
    SetPeriod(h, c, Period(c) + sign * static_cast<std::int64_t>(amount));
  }
  return errOK;
}
int PortaUpS3m(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned) {
  return PortamentoS3m(h, c, p, -1);
}
int PortaDownS3m(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned) {
  return PortamentoS3m(h, c, p, 1);
}
int PortaUpMod(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned) {
  SlidePeriod(h, c, -static_cast<std::int64_t>(p << h->slideShift));
  return errOK;
}
int PortaDownMod(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned) {
  SlidePeriod(h, c, static_cast<std::int64_t>(p << h->slideShift));
  return errOK;
}

// 4: tone portamento.
int TonePortaRow(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned) {
  if ((c->flags & gmpFlagNote) && c->instrument >= 0 && c->sample != 0xFF &&
      c->note < noteStop) {
    const std::uint32_t target = gmpChannelNotePeriod(h, c, c->note);
    if (target != 0) {
      // MOD targets are note periods, played as they are.
      c->targetPeriod =
          Kind(h) == modKindMOD ? target : std::clamp(target, h->minPeriod, h->maxPeriod);
      c->flags &= static_cast<std::uint8_t>(~gmpFlagNote);
    }
  }
  return errOK;
}

void TonePortaStep(PlayerHandle* h, PlayerChannel* c) {
  if (c->targetPeriod == 0 || c->period == c->targetPeriod) {
    return;
  }
  const std::int64_t step = static_cast<std::int64_t>(c->portamentoSpeed) << h->slideShift;
  const std::int64_t period = Period(c);
  const std::int64_t target = c->targetPeriod;
  std::int64_t q;
  if (period < target) {
    q = std::min(period + step, target);
  } else {
    q = period - target <= step ? target : period - step;
  }
  if (gmpItLinear(h->module)) {
    gmpItTonePortamentoStep(h, c);
  } else if (Kind(h) == modKindMOD && c->period != 0) {
    c->period = c->outputPeriod = static_cast<std::uint32_t>(q);  // between two note periods
  } else {
    SetPeriod(h, c, q);
  }
  if (c->glissando) {
    SetOutputPeriod(h, c, gmpSemitonePeriod(h, c, c->period));
  }
}

int TonePortaTick(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned r) {
  if (Kind(h) == modKindIT) {
    gmpItTonePortamentoSpeed(h, c, r);
  } else if (r != 0 && !(Kind(h) == modKindS3M && c->targetPeriod == 0)) {
    c->portamentoSpeed = static_cast<std::uint8_t>(r);
  }
  TonePortaStep(h, c);
  return errOK;
}

// 5: vibrato with the channel's depth, speed and waveform.
void VibratoStep(PlayerHandle* h, PlayerChannel* c) { gmpVibratoStep(h, c, false); }

int Vibrato(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned r) {
  if (Lo(r) != 0) c->vibratoDepth = static_cast<std::uint8_t>(Lo(r));
  if (Hi(r) != 0) c->vibratoSpeed = static_cast<std::uint8_t>(Hi(r));
  VibratoStep(h, c);
  return errOK;
}

// 11: volume slide. S3M and IT run the same handler on every tick.
int VolumeSlideS3m(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned) {
  const unsigned x = Hi(p);
  const unsigned y = Lo(p);
  const bool fast = (h->module->flags & modFlagFastVolSlides) && Kind(h) == modKindS3M;
  if (y == 0x0F && x != 0) {
    if (h->tick == 0) SetVolume(h, c, c->volume + static_cast<int>(x));
  } else if (x == 0x0F && y != 0) {
    if (h->tick == 0) SetVolume(h, c, c->volume - static_cast<int>(y));
  } else if (h->tick >= 1 || fast) {
    if (y != 0) {
      SetVolume(h, c, c->volume - static_cast<int>(y));
    } else {
      SetVolume(h, c, c->volume + static_cast<int>(x));
    }
  }
  return errOK;
}

int VolumeSlideMod(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned) {
  if (Kind(h) == modKindXM) {
    if (p == 0) {
      p = c->volumeSlideMemory;
    } else {
      c->volumeSlideMemory = static_cast<std::uint8_t>(p);
    }
  }
  if (Hi(p) != 0) {
    SetVolume(h, c, c->volume + static_cast<int>(Hi(p)));
  } else {
    SetVolume(h, c, c->volume - static_cast<int>(Lo(p)));
  }
  return errOK;
}

int VolumeSlide(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r) {
  if (Kind(h) == modKindS3M || Kind(h) == modKindIT) {
    return VolumeSlideS3m(h, c, p, r);
  }
  return VolumeSlideMod(h, c, p, r);
}

// 6: tone portamento + volume slide. S3M and IT also slide on the first
// tick, where only the fine slides act.
int TonePortaVolRow(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r) {
  if (int e = TonePortaRow(h, c, p, r); e != errOK) return e;
  return VolumeSlide(h, c, p, r);
}

int TonePortaVolTick(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r) {
  if (int e = VolumeSlide(h, c, p, r); e != errOK) return e;
  TonePortaStep(h, c);
  return errOK;
}

// 7: vibrato + volume slide. On the first tick S3M and IT run only the
// volume slide: the vibrato moves on later ticks, as H does.
int VibratoVol(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r) {
  if (int e = VolumeSlide(h, c, p, r); e != errOK) return e;
  VibratoStep(h, c);
  return errOK;
}

// IT's own effects mode moves the vibrato (H, K, U) on the first tick too;
// old effects leave that tick alone, as the other kinds do.
int VibratoRowIt(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r) {
  return gmpItVibratoOnFirstTick(h) ? Vibrato(h, c, p, r) : errOK;
}

int VibratoVolRowIt(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r) {
  if (int e = VolumeSlide(h, c, p, r); e != errOK) return e;
  if (gmpItVibratoOnFirstTick(h)) VibratoStep(h, c);
  return errOK;
}

int FineVibratoRowIt(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r) {
  return gmpItVibratoOnFirstTick(h) ? gmpFineVibrato(h, c, p, r) : errOK;
}

// 9: set panning.
int SetPanning(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned r) {
  return gmpSetPanningStep(h, c, static_cast<int>(r));
}

// 10: sample offset.
int SampleOffset(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned r) {
  if (r != 0) {
    c->offsetMemory = static_cast<std::uint8_t>(r);
  }
  const std::uint32_t amount =
      c->offsetMemory * 256u + (Kind(h) == modKindIT ? gmpItHighOffset(c) : 0u);
  if (Kind(h) == modKindMOD) {
    if (c->flags & gmpFlagNote) {
      c->sampleOffset += amount;
      if (int e = gmpStartNote(h, c); e != errOK) return e;
    }
    c->sampleOffset += amount;
    return errOK;
  }
  if (c->flags & gmpFlagNote) {
    // The offset belongs to this note only; later notes start at the
    // beginning again.
    c->sampleOffset = amount;
    const int e = gmpStartNote(h, c);
    c->sampleOffset = 0;
    return e;
  }
  return errOK;
}

// 12: position jump.
int PositionJump(PlayerHandle* h, PlayerChannel*, unsigned, unsigned r) {
  const std::uint32_t old = h->position;
  if (r > h->songEnd) {
    h->position = h->restart;
    ++h->loopCount;
    h->globalVolume = h->module->globalVolume;
  } else {
    h->position = r;
    if (old >= r) {
      ++h->loopCount;
    }
  }
  gmpJumpToOrder(h, h->position);
  h->row = 0;
  h->rowPointer = nullptr;
  if (Kind(h) == modKindS3M) {
    h->loopStartRow = 0;
  }
  return errOK;
}

// 13: set volume.
int SetVolumeCmd(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned r) {
  SetVolume(h, c, static_cast<int>(r));
  return errOK;
}

// 14: pattern break.
int PatternBreak(PlayerHandle* h, PlayerChannel*, unsigned, unsigned r) {
  if (h->rowPointer != nullptr) {
    gmpAdvanceOrder(h);
    if (Kind(h) == modKindS3M) {
      h->loopStartRow = 0;
    }
  }
  std::uint32_t row;
  switch (Kind(h)) {
    case modKindMOD:
    case modKindS3M:
      row = std::min(Hi(r) * 10 + Lo(r), 63u);
      break;
    case modKindXM:
      row = Hi(r) * 10 + Lo(r);
      break;
    default:
      row = r;
      break;
  }
  // A row beyond the pattern would be searched for past its end.
  const std::uint32_t rows = gmpPatternRows(h);
  if (row >= rows) {
    row = rows - 1;
  }
  h->row = row;
  h->rowPointer = nullptr;
  return errOK;
}

// 15: set speed. Speed 0 changes nothing in S3M, MOD and IT (MOD songs that
// carry an F00 are meant to go on past it; IT ignores A00); XM restarts the
// song.
int SetSpeed(PlayerHandle* h, PlayerChannel*, unsigned, unsigned r) {
  if (r != 0) {
    h->speed = r;
    return errOK;
  }
  if (Kind(h) != modKindXM) {
    return errOK;
  }
  ++h->loopCount;
  h->globalVolume = h->module->globalVolume;
  h->row = 0;
  gmpJumpToOrder(h, h->restart);
  h->rowPointer = nullptr;
  return errOK;
}

// 16: set tempo.
int SetTempo(PlayerHandle* h, PlayerChannel*, unsigned, unsigned r) {
  if (r < 0x20) {
    return errOK;
  }
  return gmpSetTempo(h, r);
}

// 17, 18: fine portamento.
int FinePortaUp(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned) {
  SlidePeriod(h, c, -static_cast<std::int64_t>(p << h->slideShift));
  return errOK;
}
int FinePortaDown(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned) {
  SlidePeriod(h, c, static_cast<std::int64_t>(p << h->slideShift));
  return errOK;
}

// 19: pattern loop; per song for S3M and IT, per channel for MOD and XM.
int PatternLoop(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned r) {
  const bool perSong = Kind(h) == modKindS3M || Kind(h) == modKindIT;
  std::uint8_t& start = perSong ? h->loopStartRow : c->loopStartRow;
  std::uint8_t& counter = perSong ? h->loopCounter : c->loopCounter;
  if (r == 0) {
    start = static_cast<std::uint8_t>(h->row);
    return errOK;
  }
  bool jump;
  if (counter == 0) {
    counter = static_cast<std::uint8_t>(r);
    jump = true;
  } else {
    --counter;
    jump = counter > 0;
  }
  if (jump) {
    h->row = start;
    h->rowPointer = nullptr;
  }
  return errOK;
}

// 20: 4-bit panning.
int SetPanning4(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned r) {
  const unsigned x = Lo(r);
  int v = x <= 6 ? static_cast<int>(x * 8) : x <= 8 ? 64 : static_cast<int>(128 - (15 - x) * 8);
  if (Kind(h) == modKindIT) {
    v /= 2;
  } else if (Kind(h) == modKindXM) {
    v = std::min(v * 2, 255);  // XM pans over 0..255
  }
  return gmpSetPanningStep(h, c, v);
}

// 21: retrigger.
int RetriggerRow(PlayerHandle*, PlayerChannel* c, unsigned, unsigned) {
  c->retriggerCounter = 1;
  return errOK;
}

int MoveToSampleOffset(PlayerHandle* h, PlayerChannel* c) {
  const ModuleInstrument* ins =
      c->instrument >= 0 && static_cast<std::uint32_t>(c->instrument) < h->module->numInstruments
          ? h->module->instruments[c->instrument]
          : nullptr;
  const bool sixteen = ins != nullptr && c->sample < ins->numSamples && ins->samples != nullptr &&
                       ins->samples[c->sample] != nullptr &&
                       ins->samples[c->sample]->sampleType == smp16bitMono;
  return gmpDevice()->SetPosition(c->deviceChannel,
                                  sixteen ? c->sampleOffset * 2 : c->sampleOffset);
}

int RetriggerTick(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned r) {
  if (r != 0 && c->retriggerCounter >= Lo(r)) {
    if (int e = MoveToSampleOffset(h, c); e != errOK) return e;
    c->retriggerCounter = 0;
  }
  ++c->retriggerCounter;
  return errOK;
}

// 22, 23: fine volume slides.
int FineVolUp(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned) {
  SetVolume(h, c, c->volume + static_cast<int>(p));
  return errOK;
}
int FineVolDown(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned) {
  SetVolume(h, c, c->volume - static_cast<int>(p));
  return errOK;
}

// 24: note cut.
int NoteCut(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned r) {
  if (h->tick == r) {
    SetVolume(h, c, 0);
  }
  return errOK;
}

// 25: note delay.
int NoteDelayRow(PlayerHandle*, PlayerChannel* c, unsigned, unsigned r) {
  if (r != 0 && (c->flags & (gmpFlagNote | gmpFlagNoteFade))) {
    c->flags = static_cast<std::uint8_t>((c->flags | gmpFlagNoteDelay) & ~gmpFlagNote);
  } else {
    c->flags &= static_cast<std::uint8_t>(~gmpFlagNoteDelay);
  }
  return errOK;
}

int NoteDelayTick(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned r) {
  if (h->tick == r && (c->flags & gmpFlagNoteDelay)) {
    c->flags &= static_cast<std::uint8_t>(~gmpFlagNoteDelay);
    if (c->flags & gmpFlagNoteFade) {
      c->fading = 1;  // an IT note fade held back: the playing note fades now
      return errOK;
    }
    if (Kind(h) == modKindXM || Kind(h) == modKindIT) {
      gmpResetInstrumentState(h, c);
    }
    return gmpStartNote(h, c);
  }
  return errOK;
}

// 34: S70..S72 cut, release or fade the channel's background notes; S73..S76
// set the new-note action of the playing note (cut, continue, off, fade);
// S77..S7C switch its envelopes off and on.
int NoteAction(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned r) {
  if (r <= 2) {
    return gmpPastNoteAction(h, c, r);
  }
  if (r <= 6) {
    c->noteAction = static_cast<std::uint8_t>(r - 3);
  }
  gmpItEnvelopeSwitch(c, r);
  return errOK;
}

// 26: pattern delay.
int PatternDelay(PlayerHandle* h, PlayerChannel*, unsigned, unsigned r) {
  if (h->patternDelay == 0) {
    h->patternDelay = r;
  }
  return errOK;
}

// 27: set global volume.
int SetGlobalVolume(PlayerHandle* h, PlayerChannel*, unsigned, unsigned r) {
  h->globalVolume = static_cast<std::uint8_t>(std::min(r, 64u));
  return errOK;
}

// 28: global volume slide (XM).
int GlobalVolumeSlide(PlayerHandle* h, PlayerChannel*, unsigned p, unsigned) {
  int v = h->globalVolume;
  v = Hi(p) != 0 ? v + static_cast<int>(Hi(p)) : v - static_cast<int>(Lo(p));
  h->globalVolume = static_cast<std::uint8_t>(std::clamp(v, 0, 64));
  return errOK;
}

// 29: retrigger + volume change; XM also restarts the envelopes.
int RetrigVolStep(PlayerHandle* h, PlayerChannel* c, unsigned p, bool restartEnvelopes) {
  if (c->retriggerCounter >= Lo(p)) {
    if (int e = MoveToSampleOffset(h, c); e != errOK) return e;
    c->retriggerCounter = 0;
    if (restartEnvelopes) {
      gmpResetInstrumentState(h, c);
    }
    static constexpr int delta[16] = {0, -1, -2, -4, -8, -16, 0, 0, 0, 1, 2, 4, 8, 16, 0, 0};
    int v = c->volume;
    switch (Hi(p)) {
      case 0x6: v = v * 10 / 16; break;
      case 0x7: v = v * 8 / 16; break;
      case 0xE: v = v * 24 / 16; break;
      case 0xF: v = v * 32 / 16; break;
      default: v += delta[Hi(p)]; break;
    }
    SetVolume(h, c, v);
  }
  ++c->retriggerCounter;
  return errOK;
}

int RetrigVolTick(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned) {
  return RetrigVolStep(h, c, p, false);
}

// XM: each nibble of Rxy that is 0 takes the last nonzero one.
int RetrigVolRowXm(PlayerHandle*, PlayerChannel* c, unsigned, unsigned r) {
  std::uint8_t& memory = c->parameterMemory[cmdRetriggerVolumeChange];
  const unsigned x = Hi(r) != 0 ? Hi(r) : Hi(memory);
  const unsigned y = Lo(r) != 0 ? Lo(r) : Lo(memory);
  memory = static_cast<std::uint8_t>((x << 4) | y);
  c->retriggerCounter = 1;
  return errOK;
}

int RetrigVolTickXm(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned) {
  return RetrigVolStep(h, c, c->parameterMemory[cmdRetriggerVolumeChange], true);
}

// 30: sync.
int Sync(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned r) {
  if (h->module->kind == modKindIT) {
    gmpFilterMacro(c, r);  // IT's Z is also a filter macro
  }
  h->lastSyncValue = static_cast<std::int32_t>(r);
  if (h->syncCallback != nullptr) {
    h->syncCallback(r, h->position, h->row);
  }
  return errOK;
}

// 31, 32: extra fine portamento (XM).
int ExtraFineUp(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned) {
  SetPeriod(h, c, Period(c) - static_cast<std::int64_t>(p));
  return errOK;
}
int ExtraFineDown(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned) {
  SetPeriod(h, c, Period(c) + static_cast<std::int64_t>(p));
  return errOK;
}

// 33: panning slide.
int PanSlideXm(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned) {
  const int delta = Hi(p) != 0 ? static_cast<int>(Hi(p)) : -static_cast<int>(Lo(p));
  return gmpSetPanningStep(h, c, c->panning + delta);
}

int PanSlideIt(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned) {
  const int x = static_cast<int>(Hi(p));
  const int y = static_cast<int>(Lo(p));
  if (y == 0x0F && x != 0) {
    return h->tick == 0 ? gmpSetPanningStep(h, c, c->panning - x) : errOK;
  }
  if (x == 0x0F && y != 0) {
    return h->tick == 0 ? gmpSetPanningStep(h, c, c->panning + y) : errOK;
  }
  if (h->tick == 0) {
    return errOK;
  }
  return gmpSetPanningStep(h, c, y != 0 ? c->panning + y : c->panning - x);
}

// Handler tables, one pair per kind. Each lists the commands the kind acts
// on; every other command, and number 0, gets Nothing.
struct Binding {
  ModuleCommand command;
  Handler handler;
};
using Table = std::array<Handler, moduleCommandCount>;

// Binding a command twice stops the build.
constexpr Table MakeTable(std::initializer_list<Binding> bindings) {
  Table table{};
  table.fill(Nothing);
  for (const Binding& b : bindings) {
    if (table[b.command] != Nothing) throw "a command is bound twice";
    table[b.command] = b.handler;
  }
  return table;
}

constexpr Table modRow = MakeTable({
    {cmdTonePortamento, TonePortaRow},
    {cmdTonePortamentoVolumeSlide, TonePortaRow},
    {cmdSetPanning, SetPanning},
    {cmdSampleOffset, SampleOffset},
    {cmdPositionJump, PositionJump},
    {cmdSetVolume, SetVolumeCmd},
    {cmdPatternBreak, PatternBreak},
    {cmdSetSpeed, SetSpeed},
    {cmdSetTempo, SetTempo},
    {cmdFinePortamentoUp, FinePortaUp},
    {cmdFinePortamentoDown, FinePortaDown},
    {cmdPatternLoop, PatternLoop},
    {cmdSetPanning4Bit, SetPanning4},
    {cmdRetrigger, RetriggerRow},
    {cmdFineVolumeSlideUp, FineVolUp},
    {cmdFineVolumeSlideDown, FineVolDown},
    {cmdNoteCut, NoteCut},
    {cmdNoteDelay, NoteDelayRow},
    {cmdPatternDelay, PatternDelay},
    {cmdGlissandoControl, gmpSetGlissando},
    {cmdSetFineTune, gmpSetFineTune},
    {cmdVibratoWaveform, gmpSetVibratoWaveform},
    {cmdTremoloWaveform, gmpSetTremoloWaveform},
});
constexpr Table modTick = MakeTable({
    {cmdArpeggio, Arpeggio},
    {cmdPortamentoUp, PortaUpMod},
    {cmdPortamentoDown, PortaDownMod},
    {cmdTonePortamento, TonePortaTick},
    {cmdVibrato, Vibrato},
    {cmdTonePortamentoVolumeSlide, TonePortaVolTick},
    {cmdVibratoVolumeSlide, VibratoVol},
    {cmdVolumeSlide, VolumeSlide},
    {cmdRetrigger, RetriggerTick},
    {cmdNoteCut, NoteCut},
    {cmdNoteDelay, NoteDelayTick},
    {cmdTremolo, gmpTremolo},
});
constexpr Table s3mRow = MakeTable({
    {cmdPortamentoUp, PortaUpS3m},
    {cmdPortamentoDown, PortaDownS3m},
    {cmdTonePortamento, TonePortaRow},
    {cmdTonePortamentoVolumeSlide, TonePortaVolRow},
    {cmdVibratoVolumeSlide, VolumeSlide},
    {cmdSetPanning, SetPanning},
    {cmdSampleOffset, SampleOffset},
    {cmdVolumeSlide, VolumeSlide},
    {cmdPositionJump, PositionJump},
    {cmdSetVolume, SetVolumeCmd},
    {cmdPatternBreak, PatternBreak},
    {cmdSetSpeed, SetSpeed},
    {cmdSetTempo, SetTempo},
    {cmdFinePortamentoUp, FinePortaUp},
    {cmdFinePortamentoDown, FinePortaDown},
    {cmdPatternLoop, PatternLoop},
    {cmdSetPanning4Bit, SetPanning4},
    {cmdFineVolumeSlideUp, FineVolUp},
    {cmdFineVolumeSlideDown, FineVolDown},
    {cmdNoteCut, NoteCut},
    {cmdNoteDelay, NoteDelayRow},
    {cmdPatternDelay, PatternDelay},
    {cmdSetGlobalVolume, SetGlobalVolume},
    {cmdRetriggerVolumeChange, RetriggerRow},
    {cmdSync, Sync},
    {cmdGlissandoControl, gmpSetGlissando},
    {cmdSetFineTune, gmpSetFineTune},
    {cmdVibratoWaveform, gmpSetVibratoWaveform},
    {cmdTremoloWaveform, gmpSetTremoloWaveform},
    {cmdTremor, gmpTremor},  // counted on every tick of the row
});
constexpr Table s3mTick = MakeTable({
    {cmdArpeggio, Arpeggio},
    {cmdPortamentoUp, PortaUpS3m},
    {cmdPortamentoDown, PortaDownS3m},
    {cmdTonePortamento, TonePortaTick},
    {cmdVibrato, Vibrato},
    {cmdTonePortamentoVolumeSlide, TonePortaVolTick},
    {cmdVibratoVolumeSlide, VibratoVol},
    {cmdVolumeSlide, VolumeSlide},
    {cmdNoteCut, NoteCut},
    {cmdNoteDelay, NoteDelayTick},
    {cmdRetriggerVolumeChange, RetrigVolTick},
    {cmdTremolo, gmpTremolo},
    {cmdTremor, gmpTremor},
    {cmdFineVibrato, gmpFineVibrato},
});
constexpr Table xmRow = MakeTable({
    {cmdTonePortamento, TonePortaRow},
    {cmdTonePortamentoVolumeSlide, TonePortaRow},
    {cmdSetPanning, SetPanning},
    {cmdSampleOffset, SampleOffset},
    {cmdPositionJump, PositionJump},
    {cmdSetVolume, SetVolumeCmd},
    {cmdPatternBreak, PatternBreak},
    {cmdSetSpeed, SetSpeed},
    {cmdSetTempo, SetTempo},
    {cmdFinePortamentoUp, FinePortaUp},
    {cmdFinePortamentoDown, FinePortaDown},
    {cmdPatternLoop, PatternLoop},
    {cmdSetPanning4Bit, SetPanning4},
    {cmdRetrigger, RetriggerRow},
    {cmdFineVolumeSlideUp, FineVolUp},
    {cmdFineVolumeSlideDown, FineVolDown},
    {cmdNoteCut, NoteCut},
    {cmdNoteDelay, NoteDelayRow},
    {cmdPatternDelay, PatternDelay},
    {cmdSetGlobalVolume, SetGlobalVolume},
    {cmdRetriggerVolumeChange, RetrigVolRowXm},
    {cmdSync, Sync},
    {cmdExtraFinePortamentoUp, ExtraFineUp},
    {cmdExtraFinePortamentoDown, ExtraFineDown},
    {cmdGlissandoControl, gmpSetGlissando},
    {cmdSetFineTune, gmpSetFineTune},
    {cmdVibratoWaveform, gmpSetVibratoWaveform},
    {cmdTremoloWaveform, gmpSetTremoloWaveform},
    {cmdSetEnvelopePosition, gmpSetEnvelopePosition},
});
constexpr Table xmTick = MakeTable({
    {cmdArpeggio, Arpeggio},
    {cmdPortamentoUp, PortaUpMod},
    {cmdPortamentoDown, PortaDownMod},
    {cmdTonePortamento, TonePortaTick},
    {cmdVibrato, Vibrato},
    {cmdTonePortamentoVolumeSlide, TonePortaVolTick},
    {cmdVibratoVolumeSlide, VibratoVol},
    {cmdVolumeSlide, VolumeSlide},
    {cmdRetrigger, RetriggerTick},
    {cmdNoteCut, NoteCut},
    {cmdNoteDelay, NoteDelayTick},
    {cmdGlobalVolumeSlide, GlobalVolumeSlide},
    {cmdRetriggerVolumeChange, RetrigVolTickXm},
    {cmdPanningSlide, PanSlideXm},
    {cmdTremolo, gmpTremolo},
    {cmdTremor, gmpTremor},
    {cmdKeyOff, gmpKeyOffTick},
});
// IT's tremolo (R) only keeps its speed and depth here: its wave moves when
// the volume is sent on each tick (sound/gmpittremolo.h).
constexpr Table itRow = MakeTable({
    {cmdPortamentoUp, PortaUpS3m},
    {cmdPortamentoDown, PortaDownS3m},
    {cmdTonePortamento, TonePortaRow},
    {cmdTonePortamentoVolumeSlide, TonePortaVolRow},
    {cmdVibrato, VibratoRowIt},
    {cmdVibratoVolumeSlide, VibratoVolRowIt},
    {cmdFineVibrato, FineVibratoRowIt},
    {cmdSetPanning, SetPanning},
    {cmdSampleOffset, SampleOffset},
    {cmdVolumeSlide, VolumeSlide},
    {cmdPositionJump, PositionJump},
    {cmdSetVolume, SetVolumeCmd},
    {cmdPatternBreak, PatternBreak},
    {cmdSetSpeed, SetSpeed},
    {cmdSetTempo, gmpItTempoRow},
    {cmdFinePortamentoUp, FinePortaUp},
    {cmdFinePortamentoDown, FinePortaDown},
    {cmdPatternLoop, PatternLoop},
    {cmdSetPanning4Bit, SetPanning4},
    {cmdFineVolumeSlideUp, FineVolUp},
    {cmdFineVolumeSlideDown, FineVolDown},
    {cmdNoteCut, NoteCut},
    {cmdNoteDelay, NoteDelayRow},
    {cmdPatternDelay, PatternDelay},
    {cmdFinePatternDelay, gmpItFinePatternDelay},
    {cmdSurround, gmpItSurround},
    {cmdHighOffset, gmpItSetHighOffset},
    {cmdPanbrello, gmpItPanbrello},
    {cmdPanbrelloWaveform, gmpItPanbrelloWaveform},
    {cmdSetGlobalVolume, gmpItSetGlobalVolume},
    {cmdGlobalVolumeSlide, gmpItGlobalVolumeSlide},
    {cmdSetChannelVolume, gmpItSetChannelVolume},
    {cmdChannelVolumeSlide, gmpItChannelVolumeSlide},
    {cmdRetriggerVolumeChange, RetriggerRow},
    {cmdSync, Sync},
    {cmdPanningSlide, PanSlideIt},
    {cmdGlissandoControl, gmpSetGlissando},
    {cmdVibratoWaveform, gmpSetVibratoWaveform},
    {cmdTremoloWaveform, gmpSetTremoloWaveform},
    {cmdTremolo, gmpItTremolo},
    {cmdNoteAction, NoteAction},
});
constexpr Table itTick = MakeTable({
    {cmdArpeggio, Arpeggio},
    {cmdPortamentoUp, PortaUpS3m},
    {cmdPortamentoDown, PortaDownS3m},
    {cmdTonePortamento, TonePortaTick},
    {cmdVibrato, Vibrato},
    {cmdTonePortamentoVolumeSlide, TonePortaVolTick},
    {cmdVibratoVolumeSlide, VibratoVol},
    {cmdVolumeSlide, VolumeSlide},
    {cmdNoteCut, NoteCut},
    {cmdNoteDelay, NoteDelayTick},
    {cmdRetriggerVolumeChange, RetrigVolTick},
    {cmdPanningSlide, PanSlideIt},
    {cmdFineVibrato, gmpFineVibrato},
    {cmdGlobalVolumeSlide, gmpItGlobalVolumeSlide},
    {cmdChannelVolumeSlide, gmpItChannelVolumeSlide},
    {cmdSetTempo, gmpItTempoTick},
});

}  // namespace

const gmpCommandHandler* const gmpRowCommands[5] = {modRow.data(), modRow.data(), s3mRow.data(),
                                                    xmRow.data(), itRow.data()};
const gmpCommandHandler* const gmpTickCommands[5] = {modTick.data(), modTick.data(), s3mTick.data(),
                                                     xmTick.data(), itTick.data()};

int gmpVolumeColumnRow(PlayerHandle* h, PlayerChannel* c) {
  const unsigned v = c->volumeByte;
  if (Kind(h) == modKindIT) {
    return gmpItVolumeColumnRow(h, c);
  }
  if (Kind(h) != modKindXM) {
    return errOK;
  }
  const unsigned y = Lo(v);
  switch (v & 0xF0) {
    case 0x80: SetVolume(h, c, c->volume - static_cast<int>(y)); break;
    case 0x90: SetVolume(h, c, c->volume + static_cast<int>(y)); break;
    case 0xA0: c->vibratoSpeed = static_cast<std::uint8_t>(y); break;
    case 0xC0: return gmpSetPanningStep(h, c, static_cast<int>(y * 17));
    case 0xF0: return TonePortaRow(h, c, 0, 0);
    default: break;
  }
  return errOK;
}

int gmpVolumeColumnTick(PlayerHandle* h, PlayerChannel* c) {
  if (Kind(h) == modKindIT) {
    return gmpItVolumeColumnTick(h, c);
  }
  if (Kind(h) != modKindXM) {
    return errOK;
  }
  const unsigned v = c->volumeByte;
  const int y = static_cast<int>(Lo(v));
  switch (v & 0xF0) {
    case 0x60: SetVolume(h, c, c->volume - y); break;
    case 0x70: SetVolume(h, c, c->volume + y); break;
    case 0xB0:
      if (y != 0) c->vibratoDepth = static_cast<std::uint8_t>(y);
      VibratoStep(h, c);
      break;
    case 0xD0: return gmpSetPanningStep(h, c, c->panning - y);
    case 0xE0: return gmpSetPanningStep(h, c, c->panning + y);
    case 0xF0:
      if (y != 0) c->portamentoSpeed = static_cast<std::uint8_t>(y << 4);
      TonePortaStep(h, c);
      break;
    default: break;
  }
  return errOK;
}
