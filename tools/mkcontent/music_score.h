// A score builder over the S3M writer: the song is written section by
// section, each section on fresh 64-row patterns appended to the order list,
// with rows counted from the section's start. The builder keeps the clock: it
// knows the speed and tempo of every row, the rows that pattern loops and
// pattern delays repeat, and so the second at which each section ends.
//
// Song-wide commands (speed, tempo, breaks, loops, delays, sync marks) are
// queued and placed when the section closes, on the control channel or else
// on the highest channel whose command slot is still free on that row.
//
// Misuse (a row outside the section, a loop across patterns, a section that
// ends off its planned second, no free command slot) does not stop the
// writing; it clears Ok() so the caller can refuse the result.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/s3mwriter/s3mwriter.h"

namespace music {

// Note numbers: 12 × octave + semitone, so C-4 is 48 and A-4 is 57.
constexpr int NoteNumber(int octave, int semitone) { return octave * 12 + semitone; }
// "A-4", "C#5", "Bb3" as a note number; -1 for anything else.
int NoteNumber(const std::string& name);

class Score {
public:
  Score(s3m::Song& song, int controlChannel, int initialSpeed, int initialTempo);

  // Opens a section of `rows` stored rows. The previous one must be closed.
  void Begin(int rows);
  // Closes the section: a pattern break after its last stored row (unless it
  // fills its last pattern), the queued song-wide commands, and a check that
  // the song clock now reads `endSecond`.
  void End(double endSecond);

  int Rows() const { return rows_; }
  // Seconds from the song's start to the current section's first row.
  double SectionStart() const { return sectionStart_; }
  double Seconds() const { return clock_; }
  bool Ok() const { return ok_; }

  // Channel cells. `note` is a note number; volume -1 leaves the column empty.
  void Note(int row, int channel, int note, int instrument, int volume = -1);
  void Cut(int row, int channel);
  void Volume(int row, int channel, int volume);
  void Effect(int row, int channel, char command, int info);
  bool HasEffect(int row, int channel) const;

  // Song-wide commands, queued until End().
  void Speed(int row, int speed);
  void Tempo(int row, int tempo);
  void Sync(int row, int value);
  void GlobalVolume(int row, int volume);
  void Jump(int row, int order);  // only on the section's last row
  // Rows first..last (one pattern) are played `repeats` more times.
  void Loop(int first, int last, int repeats);
  // Row `row` is played `extra` more times.
  void Delay(int row, int extra);

private:
  struct Queued {
    int row;
    char command;
    int info;
  };
  s3m::Cell* CellAt(int row, int channel);
  const s3m::Cell* CellAt(int row, int channel) const;
  void Queue(int row, char command, int info);
  void Fail() { ok_ = false; }

  s3m::Song& song_;
  int control_;
  int speed_;
  int tempo_;
  bool open_ = false;
  bool ok_ = true;
  int rows_ = 0;
  int firstPattern_ = 0;
  int patterns_ = 0;
  double clock_ = 0;
  double sectionStart_ = 0;
  std::vector<Queued> queued_;
  std::vector<int> repeats_;     // extra plays per row from pattern delays
  struct LoopSpan {
    int first, last, repeats;
  };
  std::vector<LoopSpan> loops_;
  std::vector<int> speedAt_;     // speed set on a row, 0 = none
  std::vector<int> tempoAt_;
};

}  // namespace music
