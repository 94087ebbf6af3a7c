// Section-by-section score writing with a running song clock.
#include "tools/mkcontent/music_score.h"

#include <cmath>

namespace music {

int NoteNumber(const std::string& name) {
  const std::uint8_t packed = s3m::Note(name);
  if (packed == s3m::noNote || packed == s3m::noteCut) return -1;
  return NoteNumber(packed >> 4, packed & 0x0F);
}

Score::Score(s3m::Song& song, int controlChannel, int initialSpeed, int initialTempo)
    : song_(song), control_(controlChannel), speed_(initialSpeed), tempo_(initialTempo) {
  if (controlChannel < 0 || controlChannel >= s3m::maxChannels || initialSpeed <= 0 ||
      initialTempo < 32) {
    Fail();
  }
}

void Score::Begin(int rows) {
  if (open_ || rows <= 0 || rows > 255 * s3m::rowsPerPattern) {
    Fail();
    return;
  }
  open_ = true;
  rows_ = rows;
  patterns_ = (rows + s3m::rowsPerPattern - 1) / s3m::rowsPerPattern;
  firstPattern_ = static_cast<int>(song_.patterns.size());
  for (int p = 0; p < patterns_; ++p) {
    song_.Pattern(firstPattern_ + p);
    song_.orders.push_back(static_cast<std::uint8_t>(firstPattern_ + p));
  }
  if (firstPattern_ + patterns_ > 200) Fail();  // order bytes 254 and 255 are markers
  queued_.clear();
  loops_.clear();
  repeats_.assign(static_cast<std::size_t>(rows), 0);
  speedAt_.assign(static_cast<std::size_t>(rows), 0);
  tempoAt_.assign(static_cast<std::size_t>(rows), 0);
  sectionStart_ = clock_;
}

s3m::Cell* Score::CellAt(int row, int channel) {
  if (!open_ || row < 0 || row >= rows_ || channel < 0 || channel >= s3m::maxChannels) {
    Fail();
    return nullptr;
  }
  return &song_.Pattern(firstPattern_ + row / s3m::rowsPerPattern)
              .At(row % s3m::rowsPerPattern, channel);
}

const s3m::Cell* Score::CellAt(int row, int channel) const {
  if (!open_ || row < 0 || row >= rows_ || channel < 0 || channel >= s3m::maxChannels) {
    return nullptr;
  }
  return &song_.patterns.at(static_cast<std::size_t>(firstPattern_ + row / s3m::rowsPerPattern))
              .At(row % s3m::rowsPerPattern, channel);
}

void Score::Note(int row, int channel, int note, int instrument, int volume) {
  s3m::Cell* cell = CellAt(row, channel);
  if (cell == nullptr) return;
  if (note < 0 || note >= 8 * 12 || instrument < 0 || instrument > 99) {
    Fail();
    return;
  }
  cell->note = s3m::Note(note / 12, note % 12);
  cell->instrument = static_cast<std::uint8_t>(instrument);
  if (volume >= 0) Volume(row, channel, volume);
}

void Score::Cut(int row, int channel) {
  if (s3m::Cell* cell = CellAt(row, channel)) cell->note = s3m::noteCut;
}

void Score::Volume(int row, int channel, int volume) {
  s3m::Cell* cell = CellAt(row, channel);
  if (cell == nullptr) return;
  if (volume < 0 || volume > 64) {
    Fail();
    return;
  }
  cell->volume = static_cast<std::uint8_t>(volume);
}

void Score::Effect(int row, int channel, char command, int info) {
  s3m::Cell* cell = CellAt(row, channel);
  if (cell == nullptr) return;
  // A zero parameter would pick up the channel's last one; every effect here
  // states its own.
  if (command < 'A' || command > 'Z' || info <= 0 || info > 255) {
    Fail();
    return;
  }
  cell->Effect(command, static_cast<std::uint8_t>(info));
}

bool Score::HasEffect(int row, int channel) const {
  const s3m::Cell* cell = CellAt(row, channel);
  return cell != nullptr && cell->command != 0;
}

void Score::Queue(int row, char command, int info) {
  if (!open_ || row < 0 || row >= rows_ || info < 0 || info > 255) {
    Fail();
    return;
  }
  queued_.push_back({row, command, info});
}

void Score::Speed(int row, int speed) {
  if (speed <= 0 || speed > 31) return Fail();
  Queue(row, 'A', speed);
  if (row >= 0 && row < rows_) speedAt_[static_cast<std::size_t>(row)] = speed;
}

void Score::Tempo(int row, int tempo) {
  if (tempo < 32 || tempo > 255) return Fail();
  Queue(row, 'T', tempo);
  if (row >= 0 && row < rows_) tempoAt_[static_cast<std::size_t>(row)] = tempo;
}

void Score::Sync(int row, int value) {
  if (value <= 0) return Fail();
  Queue(row, 'W', value);
}

void Score::GlobalVolume(int row, int volume) {
  if (volume <= 0 || volume > 64) return Fail();
  Queue(row, 'V', volume);
}

void Score::Jump(int row, int order) {
  if (row != rows_ - 1 || order < 0 || order > 255) return Fail();
  // Position jumps read the raw parameter, so B00 (back to the first order)
  // is safe to write even though other commands would take a zero as "the
  // last parameter".
  queued_.push_back({row, 'B', order});
}

void Score::Loop(int first, int last, int repeats) {
  if (first < 0 || last >= rows_ || first > last || repeats <= 0 || repeats > 15 ||
      first / s3m::rowsPerPattern != last / s3m::rowsPerPattern) {
    return Fail();
  }
  for (const LoopSpan& l : loops_) {
    if (!(last < l.first || first > l.last)) return Fail();
  }
  loops_.push_back({first, last, repeats});
  Queue(first, 'S', 0xB0);
  Queue(last, 'S', 0xB0 | repeats);
}

void Score::Delay(int row, int extra) {
  if (row < 0 || row >= rows_ || extra <= 0 || extra > 15) return Fail();
  repeats_[static_cast<std::size_t>(row)] += extra;
  Queue(row, 'S', 0xE0 | extra);
}

void Score::End(double endSecond) {
  if (!open_) return Fail();
  const int last = rows_ - 1;
  bool jumps = false;
  for (const Queued& q : queued_) jumps = jumps || (q.row == last && q.command == 'B');
  if (rows_ % s3m::rowsPerPattern != 0 && !jumps) {
    // The break and a loop's jump back on the same row would race each other.
    for (const LoopSpan& l : loops_) {
      if (l.last == last) Fail();
    }
    queued_.push_back({last, 'C', 0});
  }

  // Place the queued commands: control channel first, then downwards.
  for (const Queued& q : queued_) {
    bool placed = false;
    for (int c = control_; c >= 0 && !placed; --c) {
      s3m::Cell* cell = CellAt(q.row, c);
      if (cell == nullptr || cell->command != 0) continue;
      cell->command = q.command;
      cell->info = static_cast<std::uint8_t>(q.info);
      placed = true;
    }
    if (!placed) Fail();
  }

  // Walk the rows as the player will, loops and delays included.
  std::vector<int> loopsLeft;
  for (const LoopSpan& l : loops_) loopsLeft.push_back(l.repeats);
  int row = 0;
  while (row < rows_) {
    const auto r = static_cast<std::size_t>(row);
    if (speedAt_[r] != 0) speed_ = speedAt_[r];
    if (tempoAt_[r] != 0) tempo_ = tempoAt_[r];
    clock_ += (1 + repeats_[r]) * speed_ * 2.5 / tempo_;
    int next = row + 1;
    for (std::size_t i = 0; i < loops_.size(); ++i) {
      if (loops_[i].last == row && loopsLeft[i] > 0) {
        --loopsLeft[i];
        next = loops_[i].first;
      } else if (loops_[i].last == row) {
        loopsLeft[i] = loops_[i].repeats;  // a later pass through the pattern loops again
      }
    }
    row = next;
  }
  if (std::fabs(clock_ - endSecond) > 1e-6) Fail();
  open_ = false;
}

}  // namespace music
