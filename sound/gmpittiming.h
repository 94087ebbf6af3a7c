// IT row timing commands: T with its slides (T0x slower, T1x faster by x on
// every tick after the first, T00 repeating the last) and S6x, which makes
// its row x ticks longer.
#pragma once

#include "sound/gmplayer.h"

// T on the row's first tick: T20..TFF set the tempo; T00 takes the last T.
int gmpItTempoRow(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);
// T on the later ticks: T0x lowers the tempo by x (not below 32), T1x raises
// it by x (not above 255).
int gmpItTempoTick(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);
// S6x: x more ticks on this row (several add up), also on each repeat of a
// pattern delay.
int gmpItFinePatternDelay(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);
