// Opens arbitrary bytes as an archive file on disk, then finds and reads every
// member (the first 64) through member streams, forwards, by seeks and in pieces.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/support.h"
#include "stream/filelib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TFile file;
  file.SetName(fuzz::WriteScratch(data, size));
  if (!file.Open(modeRead)) fuzz::Fail("the scratch file does not open");
  TFileLib lib(&file);
  if (lib.Error()) return 0;
  if (lib.EntryCount() <= 0) fuzz::Fail("an open archive without entries");
  const int count = lib.EntryCount() < 64 ? lib.EntryCount() : 64;
  std::vector<std::uint8_t> buffer;
  for (int i = 0; i < count; ++i) {
    char name[TFileLibEntry::nameSize + 1] = {};
    for (int c = 0; c < TFileLibEntry::nameSize; ++c) name[c] = lib.Entry(i)->name[c];
    if (!lib.Find(name)) fuzz::Fail("a stored name is not found");
    TFileInLib member(&lib);
    member.SetName(name);
    if (!member.Open(modeRead)) continue;
    const std::int32_t memberSize = member.Size();
    // Members larger than the input cannot be read in full anyway.
    const std::size_t want = memberSize > 0 && static_cast<std::size_t>(memberSize) <= size
                                 ? static_cast<std::size_t>(memberSize)
                                 : size;
    buffer.assign(want + 1, 0);
    int got = member.Read(buffer.data(), 1, static_cast<int>(want));
    if (got < 0 || static_cast<std::size_t>(got) > want) fuzz::Fail("a read returned more than asked");
    member.Seek(-3, seekEnd);
    member.Read(buffer.data(), 2, 2);
    member.Seek(1, seekStart);
    member.Read(buffer.data(), 4, 1);
    (void)member.ReadDword();
    (void)member.Tell();
    (void)member.Eof();
    member.Close();
  }
  return 0;
}
