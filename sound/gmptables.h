// Pitch and waveform tables of the module player: Amiga periods for MOD and
// S3M notes, the XM Amiga-mode period table, the XM linear frequency table and
// the vibrato waveforms.
#pragma once

#include <array>
#include <cstdint>

// MOD periods at octave 0: 16 fine-tune rows (0..7 up, 8..15 = -8..-1) of 12
// semitones. Row 0 is also the S3M period table.
extern const std::array<std::uint16_t, 16 * 12> gmpPeriodTableMod;
inline const std::uint16_t* gmpPeriodTableS3m = gmpPeriodTableMod.data();

// XM Amiga mode: 8 entries per semitone (fine tune steps of 1/8 semitone) over
// 13 semitones from C, so entry i + 1 exists for every i below 96.
extern const std::array<std::uint16_t, 104> gmpPeriodTableXm;

// XM linear mode: frequency of period offset 0..767 within one octave,
// 535232 × 2^(−i/768) truncated; shifted right by the period's octave.
extern const std::array<std::uint32_t, 768> gmpLinearFreqTable;

// Command vibrato: half a sine, 0..255.
extern const std::array<std::uint8_t, 32> gmpVibratoTable;

// XM automatic vibrato sine: −64..64, negative in the first half.
extern const std::array<std::int8_t, 256> gmpAutoVibratoSine;
