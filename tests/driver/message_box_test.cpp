// The message box drawn with the dialog stand-in's own window: the text line by
// line (a final newline adds no line) above an OK button that closes it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/win32.h"
#include "platform/win32/win32_message_box.h"

namespace {

TEST(OwnMessageBox, ShowsEachLineAndClosesWithOk) {
  std::vector<std::string> seen;
  std::string caption;
  Win32DialogScript script;
  script.step = [&](HWND dialog) {
    char text[256];
    for (int id = 100; GetDlgItem(dialog, id) != nullptr; ++id) {
      GetDlgItemTextA(dialog, id, text, sizeof text);
      seen.push_back(text);
    }
    Win32DialogGetText(dialog, text, sizeof text);
    caption = text;
    Win32DialogClick(dialog, IDOK);
    return true;
  };
  Win32SetDialogScript(script);
  EXPECT_TRUE(Win32ShowOwnMessageBox("Cannot initialize 3D mode!!! (no GLIDE?)\n", "Credits"));
  EXPECT_EQ(seen, std::vector<std::string>{"Cannot initialize 3D mode!!! (no GLIDE?)"});
  EXPECT_EQ(caption, "Credits");

  seen.clear();
  EXPECT_TRUE(Win32ShowOwnMessageBox("first\nsecond", "Credits"));
  EXPECT_EQ(seen, (std::vector<std::string>{"first", "second"}));
  Win32SetDialogScript(Win32DialogScript{});
}

TEST(OwnMessageBox, ClosingTheWindowEndsItToo) {
  int steps = 0;
  Win32DialogScript script;
  script.step = [&](HWND) { return ++steps < 2; };  // does nothing, then stops acting: the window is closed
  Win32SetDialogScript(script);
  EXPECT_TRUE(Win32ShowOwnMessageBox("Error on loading logo!", "Credits"));
  Win32SetDialogScript(Win32DialogScript{});
}

}  // namespace
