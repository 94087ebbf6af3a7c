// The table of module formats: every writer's file is probed to its own
// format and that record's reader gives a module of the record's kind; the
// table holds each kind once with MOD, the catch-all, last.
#include "sound/loadformats.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "sound/errors.h"
#include "sound/mem.h"
#include "sound/module.h"
#include "tools/itwriter/itwriter.h"
#include "tools/modwriter/modwriter.h"
#include "tests/sound/support/reader_support.h"
#include "tools/xmwriter/xmwriter.h"
#include "tools/s3mwriter/s3mwriter.h"

namespace {

std::vector<std::uint8_t> S3mFile() {
  s3m::Song song("probe", 2);
  song.orders = {0};
  song.AddInstrument("tone", s3m::SquareWave(32, 32));
  song.Pattern(0).At(0, 0) = s3m::Cell::Play(s3m::Note("C-4"), 1);
  return s3m::Write(song);
}

std::vector<std::uint8_t> XmFile() {
  xmwriter::Song song;
  song.At(0, 0, 0) = {49, 1, 0, 0, 0};
  xmwriter::Instrument ins;
  xmwriter::Sample s;
  s.values = {0, 64, -64};
  ins.samples.push_back(s);
  song.instruments.push_back(ins);
  return song.Build();
}

std::vector<std::uint8_t> ItFile() {
  itwriter::Song song;
  itwriter::Sample s;
  s.bytes = {0x00, 0x7F};
  song.samples.push_back(s);
  song.instruments.push_back(itwriter::Instrument());
  itwriter::Pattern p;
  itwriter::PatternWriter w;
  w.Entry(0, 0x03, 60, 1).EndRow();
  p.packed = w.bytes;
  p.rows = 1;
  song.patterns.push_back(p);
  return song.Build();
}

std::vector<std::uint8_t> ModFile() {
  modwriter::Song song;
  song.At(0, 0, 0) = {428, 1, 0, 0};
  song.samples[0].data = {0, 64, -64, 0};
  return song.Build();
}

class ModuleFormats : public testing::Test {
protected:
  void SetUp() override { blocksBefore = memBlocksInUse(); }
  void TearDown() override { EXPECT_EQ(memBlocksInUse(), blocksBefore); }

  // Probes the file's start and loads it through the chosen record.
  void ExpectReadAs(const std::vector<std::uint8_t>& bytes, ModuleKind kind) {
    soundtest::ScratchFile file(bytes);
    std::uint8_t start[moduleProbeBytes];
    ASSERT_EQ(gmpReadModuleStart(file.path(), start), errOK);
    const ModuleFormat* format = gmpProbeModuleFormat(start);
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->kind, kind) << format->name;
    Module* module = nullptr;
    ASSERT_EQ(format->Load(file.path(), nullptr, 0, nullptr, &module), errOK) << format->name;
    EXPECT_EQ(module->kind, static_cast<std::uint32_t>(kind)) << format->name;
    EXPECT_EQ(ModuleFree(module, nullptr), errOK);
  }
  std::size_t blocksBefore = 0;
};

TEST_F(ModuleFormats, EachWritersFileIsReadByItsOwnFormat) {
  ExpectReadAs(S3mFile(), modKindS3M);
  ExpectReadAs(XmFile(), modKindXM);
  ExpectReadAs(ItFile(), modKindIT);
  ExpectReadAs(ModFile(), modKindMOD);
}

TEST_F(ModuleFormats, TableHoldsEveryKindOnceWithModLast) {
  std::set<std::uint32_t> kinds;
  std::set<std::string> names;
  for (const ModuleFormat* format : moduleFormats) {
    kinds.insert(format->kind);
    names.insert(format->name);
    EXPECT_EQ(gmpModuleFormatOfKind(format->kind), format);
  }
  EXPECT_EQ(kinds, (std::set<std::uint32_t>{modKindMOD, modKindS3M, modKindXM, modKindIT}));
  EXPECT_EQ(names.size(), moduleFormatCount);
  EXPECT_EQ(moduleFormats[moduleFormatCount - 1]->kind, modKindMOD);
  EXPECT_EQ(gmpModuleFormatOfKind(0), nullptr);
  EXPECT_EQ(gmpModuleFormatOfKind(5), nullptr);
}

TEST_F(ModuleFormats, ProbeOrderDecidesBetweenSignatures) {
  std::vector<std::uint8_t> start(moduleProbeBytes, 0);
  EXPECT_EQ(gmpProbeModuleFormat(start.data())->kind, modKindMOD);
  std::memcpy(start.data(), "IMPM", 4);
  EXPECT_EQ(gmpProbeModuleFormat(start.data())->kind, modKindIT);
  std::memcpy(start.data() + 44, "SCRM", 4);
  EXPECT_EQ(gmpProbeModuleFormat(start.data())->kind, modKindS3M);
  std::memcpy(start.data(), "Extended Module:", 16);
  EXPECT_EQ(gmpProbeModuleFormat(start.data())->kind, modKindXM);
  start[15] = ' ';  // one byte off the signature
  EXPECT_EQ(gmpProbeModuleFormat(start.data())->kind, modKindS3M);
}

TEST_F(ModuleFormats, StartOfAShortOrMissingFileIsRefused) {
  std::uint8_t start[moduleProbeBytes];
  soundtest::ScratchFile shortFile(std::vector<std::uint8_t>(moduleProbeBytes - 1, 1));
  EXPECT_EQ(gmpReadModuleStart(shortFile.path(), start), errEndOfFile);
  soundtest::ScratchFile exact(std::vector<std::uint8_t>(moduleProbeBytes, 7));
  ASSERT_EQ(gmpReadModuleStart(exact.path(), start), errOK);
  EXPECT_EQ(start[moduleProbeBytes - 1], 7);
  EXPECT_EQ(gmpReadModuleStart((testing::TempDir() + "no-such-module").c_str(), start),
            errFileNotFound);
  EXPECT_EQ(gmpReadModuleStart(nullptr, start), errInvalidArguments);
}

}  // namespace
