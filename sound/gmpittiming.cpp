// IT row timing commands (see sound/gmpittiming.h).
#include "sound/gmpittiming.h"

#include <algorithm>

#include "sound/errors.h"
#include "sound/module.h"

namespace {

unsigned TempoParameter(PlayerChannel* c, unsigned r) {
  std::uint8_t& memory = c->parameterMemory[cmdSetTempo];
  if (r != 0) memory = static_cast<std::uint8_t>(r);
  return memory;
}

}  // namespace

int gmpItTempoRow(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned r) {
  const unsigned t = TempoParameter(c, r);
  return t >= 0x20 ? gmpSetTempo(h, t) : errOK;
}

int gmpItTempoTick(PlayerHandle* h, PlayerChannel* c, unsigned, unsigned) {
  const unsigned t = c->parameterMemory[cmdSetTempo];
  if (t >= 0x20 || (t & 0x0F) == 0) {
    return errOK;
  }
  const int step = static_cast<int>(t & 0x0F);
  const int tempo = static_cast<int>(h->tempo) + (t < 0x10 ? -step : step);
  return gmpSetTempo(h, static_cast<unsigned>(std::clamp(tempo, 32, 255)));
}

int gmpItFinePatternDelay(PlayerHandle* h, PlayerChannel*, unsigned, unsigned r) {
  h->extraTicks += r & 0x0F;
  return errOK;
}
