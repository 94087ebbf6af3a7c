// IT panbrello and surround (see sound/gmpitpan.h).
#include "sound/gmpitpan.h"

#include <algorithm>

#include "sound/errors.h"
#include "sound/gmpitpitchvib.h"
#include "sound/module.h"

namespace {

constexpr int deviceSurround = 0x80;

bool PanbrelloOnRow(const PlayerChannel* c) {
  return (c->flags & gmpFlagCommand) && c->command == cmdPanbrello;
}

// One tick of the wave: sine, ramp and square move by the speed; the random
// wave takes a new value every `speed` ticks and holds it in between.
int PanbrelloWave(PlayerItPanning& p) {
  const unsigned type = p.waveform & 3;
  if (type != 3) {
    const int wave = type == 2 ? (p.position < 128 ? 64 : -64) : gmpItAutoVibratoWave(type, p.position);
    p.position = static_cast<std::uint8_t>(p.position + p.speed);
    return wave;
  }
  if (p.position == 0 || p.position >= p.speed) {
    p.position = 0;
    p.held = static_cast<std::int8_t>(gmpItAutoVibratoWave(3, 0));
  }
  ++p.position;
  return p.held;
}

}  // namespace

int gmpItPanbrello(PlayerHandle*, PlayerChannel* c, unsigned, unsigned r) {
  if (r & 0x0F) c->itPanning.depth = static_cast<std::uint8_t>(r & 0x0F);
  if (r & 0xF0) c->itPanning.speed = static_cast<std::uint8_t>(r >> 4);
  return errOK;
}

int gmpItPanbrelloWaveform(PlayerHandle*, PlayerChannel* c, unsigned, unsigned r) {
  if ((r & 0x0F) < 4) c->itPanning.waveform = static_cast<std::uint8_t>(r & 0x0F);
  return errOK;
}

int gmpItSurround(PlayerHandle*, PlayerChannel* c, unsigned, unsigned r) {
  if ((r & 0x0F) == 1) c->itPanning.surround = 1;
  return errOK;
}

void gmpItPanningReset(PlayerChannel* c) {
  c->itPanning.surround = 0;
  c->itPanning.offset = 0;
  c->itSwing.panning = 0;
  c->itSwing.pitchPan = 0;
}

int gmpItChannelPanning(const PlayerHandle*, PlayerChannel* c, int panning) {
  PlayerItPanning& p = c->itPanning;
  if (PanbrelloOnRow(c)) {
    p.offset = static_cast<std::int8_t>(PanbrelloWave(p));
  }
  if (p.surround) {
    return deviceSurround;
  }
  // On IT's 0..256 panning scale.
  const int delta = (p.offset * static_cast<int>(p.depth) + 2) / 8;
  const PlayerItSwing& swing = c->itSwing;
  const int base = std::clamp(panning * 4 + swing.panning + swing.pitchPan, 0, 256);
  const int pan = std::clamp(base + delta, 0, 256);
  return (pan - 128) / 2;
}
