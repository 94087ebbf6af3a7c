// Names from modules and from the command line, as modplay prints them.
#include "tools/modplay/printable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PrintableName, CodePage437BecomesUtf8AndControlBytesQuestionMarks) {
  const char name[] = "Caf\x82 \x9B\xE1 \xB0\xDB\x01\x7F~";
  EXPECT_EQ(PrintableName(name, sizeof name), "Caf\u00E9 \u00A2\u00DF \u2591\u2588??~");
  EXPECT_EQ(PrintableName("\xFF\xF9\xFA", 3), "\u00A0\u2219\u00B7") << "the last row of the table";
}

TEST(PrintableName, StopsAtTheFieldsEndOrItsFirstNul) {
  const char field[8] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};  // full, no NUL
  EXPECT_EQ(PrintableName(field, sizeof field), "abcdefgh");
  EXPECT_EQ(PrintableName("ab\0cd", 5), "ab");
  EXPECT_EQ(PrintableName("", 0), "");
}

TEST(PrintableFileName, KeepsUtf8AndMarksWhatIsNot) {
  EXPECT_EQ(PrintableFileName("M\xC3\xBCller \xE2\x99\xAA.xm"), "M\xC3\xBCller \xE2\x99\xAA.xm");
  EXPECT_EQ(PrintableFileName("\xF0\x9F\x8E\xB5.it"), "\xF0\x9F\x8E\xB5.it") << "four bytes";
  EXPECT_EQ(PrintableFileName("a\tb\x1B[2J"), "a?b?[2J") << "no terminal escapes get through";
  // Latin-1 bytes, a cut sequence, an overlong form, a surrogate, past U+10FFFF.
  EXPECT_EQ(PrintableFileName("\xE9t\xE9"), "?t?");
  EXPECT_EQ(PrintableFileName("x\xE2\x99"), "x??");
  EXPECT_EQ(PrintableFileName("\xC0\xAF"), "??");
  EXPECT_EQ(PrintableFileName("\xED\xA0\x80"), "???");
  EXPECT_EQ(PrintableFileName("\xF4\x90\x80\x80"), "????");
}

TEST(Utf8Text, CountsAndCutsWholeCharacters) {
  const std::string text = "a\xC3\xA9\xE2\x99\xAA\xF0\x9F\x8E\xB5z";  // a é ♪ 🎵 z
  EXPECT_EQ(Utf8Length(text), 5u);
  EXPECT_EQ(Utf8Prefix(text, 0), "");
  EXPECT_EQ(Utf8Prefix(text, 2), "a\xC3\xA9");
  EXPECT_EQ(Utf8Prefix(text, 4), "a\xC3\xA9\xE2\x99\xAA\xF0\x9F\x8E\xB5");
  EXPECT_EQ(Utf8Prefix(text, 5), text);
  EXPECT_EQ(Utf8Prefix(text, 99), text);
}

}  // namespace
