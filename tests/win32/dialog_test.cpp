// Dialogs from in-memory templates, run through the scripted driver.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/win32.h"

namespace {

// Builds a template in the Windows layout.
class TemplateBuilder {
public:
  TemplateBuilder(const char* caption, SHORT cx, SHORT cy) {
    DLGTEMPLATE header{static_cast<DWORD>(WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT), 0, 0, 0, 0, cx, cy};
    Append(&header, sizeof header);
    Word(0);  // no menu
    Word(0);  // default class
    String(caption);
    Word(8);
    String("MS Sans Serif");
  }
  TemplateBuilder& Item(WORD atom, DWORD style, WORD id, const char* text, SHORT x = 0, SHORT y = 0) {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
    DLGITEMTEMPLATE item{static_cast<DWORD>(WS_CHILD | WS_VISIBLE | style), 0, x, y, 40, 10, id};
    Append(&item, sizeof item);
    Word(0xFFFF);
    Word(atom);
    String(text);
    Word(0);
    ++count_;
    std::memcpy(bytes_.data() + 8, &count_, sizeof count_);
    return *this;
  }
  LPCDLGTEMPLATEA Get() {
    words_.assign((bytes_.size() + 3) / 4, 0);
    std::memcpy(words_.data(), bytes_.data(), bytes_.size());
    return reinterpret_cast<LPCDLGTEMPLATEA>(words_.data());
  }

private:
  void Append(const void* data, std::size_t n) {
    auto* p = static_cast<const unsigned char*>(data);
    bytes_.insert(bytes_.end(), p, p + n);
  }
  void Word(WORD w) { Append(&w, 2); }
  void String(const char* s) {
    for (; *s != '\0'; ++s) Word(static_cast<unsigned char>(*s));
    Word(0);
  }
  std::vector<unsigned char> bytes_;
  std::vector<std::uint32_t> words_;
  WORD count_ = 0;
};

struct Log {
  std::vector<std::string> events;
};
Log* currentLog = nullptr;

INT_PTR CALLBACK RecordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    currentLog->events.push_back("init " + std::to_string(lParam));
    return TRUE;
  }
  if (message == WM_COMMAND) {
    currentLog->events.push_back("command " + std::to_string(LOWORD(wParam)) + " " + std::to_string(HIWORD(wParam)));
    if (LOWORD(wParam) == IDOK) EndDialog(dialog, 11);
    if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 22);
    return TRUE;
  }
  if (message == WM_USER + 5) {
    currentLog->events.push_back("posted " + std::to_string(wParam) + " " + std::to_string(lParam));
    return TRUE;
  }
  return FALSE;
}

class Dialogs : public ::testing::Test {
protected:
  void SetUp() override { currentLog = &log_; }
  void TearDown() override {
    Win32SetDialogScript({});
    Win32SetDialogPostFailure(false);
    currentLog = nullptr;
  }
  TemplateBuilder Sample() {
    TemplateBuilder b("Sample", 100, 60);
    b.Item(DLG_CLASS_BUTTON, BS_AUTORADIOBUTTON | WS_GROUP, 10, "&One")
        .Item(DLG_CLASS_BUTTON, BS_AUTORADIOBUTTON, 11, "&Two")
        .Item(DLG_CLASS_BUTTON, BS_AUTORADIOBUTTON | WS_GROUP, 12, "Other group")
        .Item(DLG_CLASS_BUTTON, BS_AUTOCHECKBOX, 20, "Check")
        .Item(DLG_CLASS_EDIT, ES_NUMBER | WS_BORDER, 30, "")
        .Item(DLG_CLASS_COMBOBOX, CBS_DROPDOWN, 40, "")
        .Item(DLG_CLASS_COMBOBOX, CBS_DROPDOWNLIST, 41, "")
        .Item(DLG_CLASS_BUTTON, BS_DEFPUSHBUTTON, IDOK, "OK")
        .Item(DLG_CLASS_BUTTON, BS_PUSHBUTTON, IDCANCEL, "Cancel");
    return b;
  }
  Log log_;
};

TEST_F(Dialogs, WithoutScriptOrDisplayTheDialogCannotBeCreated) {
  TemplateBuilder b = Sample();
  EXPECT_EQ(DialogBoxIndirectParamA(GetModuleHandleA(nullptr), b.Get(), nullptr, RecordingProc, 0), -1);
  EXPECT_TRUE(log_.events.empty());  // the procedure never ran
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, nullptr, nullptr, RecordingProc, 0), -1);
}

TEST_F(Dialogs, ScriptCanRefuseCreation) {
  Win32DialogScript script;
  std::string seen;
  script.allowCreate = [&](const char* caption) {
    seen = caption;
    return false;
  };
  script.step = [](HWND) { return false; };
  Win32SetDialogScript(script);
  TemplateBuilder b = Sample();
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, b.Get(), nullptr, RecordingProc, 0), -1);
  EXPECT_EQ(seen, "Sample");
}

TEST_F(Dialogs, ControlsBehaveAsTheUserSeesThem) {
  int step = 0;
  Win32DialogScript script;
  script.step = [&](HWND dialog) {
    switch (step++) {
      case 0: {
        char caption[32];
        Win32DialogGetText(dialog, caption, sizeof caption);
        EXPECT_STREQ(caption, "Sample");
        EXPECT_TRUE(Win32DialogClick(dialog, 10));
        EXPECT_TRUE(Win32DialogClick(dialog, 12));
        EXPECT_EQ(IsDlgButtonChecked(dialog, 10), BST_CHECKED);  // other group
        EXPECT_TRUE(Win32DialogClick(dialog, 11));
        EXPECT_EQ(IsDlgButtonChecked(dialog, 10), BST_UNCHECKED);
        EXPECT_EQ(IsDlgButtonChecked(dialog, 11), BST_CHECKED);
        EXPECT_EQ(IsDlgButtonChecked(dialog, 12), BST_CHECKED);
        Win32DialogClick(dialog, 20);
        EXPECT_EQ(IsDlgButtonChecked(dialog, 20), BST_CHECKED);
        Win32DialogClick(dialog, 20);
        EXPECT_EQ(IsDlgButtonChecked(dialog, 20), BST_UNCHECKED);
        SendDlgItemMessageA(dialog, 30, EM_LIMITTEXT, 4, 0);
        Win32DialogType(dialog, 30, "12a345");
        char text[16];
        GetDlgItemTextA(dialog, 30, text, sizeof text);
        EXPECT_STREQ(text, "1234");  // digits only, four at most
        GetDlgItemTextA(dialog, 30, text, 3);
        EXPECT_STREQ(text, "12");  // the caller's buffer bounds the copy
        BOOL ok = FALSE;
        EXPECT_EQ(GetDlgItemInt(dialog, 30, &ok, FALSE), 1234u);
        EXPECT_TRUE(ok);
        EXPECT_FALSE(Win32DialogClick(dialog, 99));
        return true;
      }
      case 1: {
        for (const char* item : {"8000", "11025", "22050"}) {
          SendDlgItemMessageA(dialog, 40, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
        }
        EXPECT_EQ(SendDlgItemMessageA(dialog, 40, CB_GETCOUNT, 0, 0), 3);
        EXPECT_EQ(SendDlgItemMessageA(dialog, 40, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                      reinterpret_cast<LPARAM>("11025")),
                  1);
        EXPECT_EQ(SendDlgItemMessageA(dialog, 40, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                      reinterpret_cast<LPARAM>("1102")),
                  CB_ERR);
        EXPECT_EQ(SendDlgItemMessageA(dialog, 40, CB_SETCURSEL, 7, 0), CB_ERR);
        EXPECT_TRUE(Win32DialogChoose(dialog, 40, 2));
        char text[16];
        GetDlgItemTextA(dialog, 40, text, sizeof text);
        EXPECT_STREQ(text, "22050");
        Win32DialogType(dialog, 40, "30000x");  // a combo's edit takes any text
        GetDlgItemTextA(dialog, 40, text, sizeof text);
        EXPECT_STREQ(text, "30000x");
        EXPECT_EQ(SendDlgItemMessageA(dialog, 40, CB_GETCURSEL, 0, 0), CB_ERR);
        SendDlgItemMessageA(dialog, 41, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("No Sound"));
        SendDlgItemMessageA(dialog, 41, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Default"));
        SendDlgItemMessageA(dialog, 41, CB_SETCURSEL, 1, 0);
        GetDlgItemTextA(dialog, 41, text, sizeof text);
        EXPECT_STREQ(text, "Default");
        EXPECT_FALSE(Win32DialogType(dialog, 41, "x"));  // a drop-down list has no edit field
        return true;
      }
      default:
        EXPECT_TRUE(Win32DialogKey(dialog, 0x0D));  // Enter: the default button
        return true;
    }
  };
  Win32SetDialogScript(script);
  TemplateBuilder b = Sample();
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, b.Get(), nullptr, RecordingProc, 77), 11);
  ASSERT_FALSE(log_.events.empty());
  EXPECT_EQ(log_.events.front(), "init 77");
  EXPECT_EQ(log_.events.back(), "command 1 0");
  // Clicks report BN_CLICKED, typing EN_CHANGE (0x300) and CBN_EDITCHANGE (5), a pick CBN_SELCHANGE (1).
  auto has = [&](const std::string& e) { return std::find(log_.events.begin(), log_.events.end(), e) != log_.events.end(); };
  EXPECT_TRUE(has("command 11 0"));
  EXPECT_TRUE(has("command 30 768"));
  EXPECT_TRUE(has("command 40 1"));
  EXPECT_TRUE(has("command 40 5"));
}

INT_PTR CALLBACK OuterProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

TemplateBuilder* innerTemplate = nullptr;

INT_PTR CALLBACK OuterProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER + 1) {
    INT_PTR inner = DialogBoxIndirectParamA(nullptr, innerTemplate->Get(), dialog, RecordingProc, 5);
    currentLog->events.push_back("inner returned " + std::to_string(inner));
    currentLog->events.push_back(IsWindowEnabled(dialog) ? "outer enabled" : "outer disabled");
    return TRUE;
  }
  return RecordingProc(dialog, message, wParam, lParam);
}

TEST_F(Dialogs, PostedMessagesRunNestedModalDialogsThatDisableTheirOwner) {
  TemplateBuilder inner("Inner", 50, 30);
  inner.Item(DLG_CLASS_BUTTON, BS_DEFPUSHBUTTON, IDOK, "OK");
  innerTemplate = &inner;
  std::vector<std::string> seen;
  HWND outerHandle = nullptr;
  Win32DialogScript script;
  script.step = [&](HWND dialog) {
    char caption[16];
    Win32DialogGetText(dialog, caption, sizeof caption);
    seen.push_back(caption);
    if (std::string(caption) == "Sample") {
      outerHandle = dialog;
      if (seen.size() == 1) {
        EXPECT_TRUE(Win32DialogPostMessage(dialog, WM_USER + 1, 0, 0));
        return true;
      }
      Win32DialogClick(dialog, IDCANCEL);
      return true;
    }
    EXPECT_FALSE(IsWindowEnabled(outerHandle));
    EXPECT_FALSE(Win32DialogClick(outerHandle, IDCANCEL));  // the owner takes no input meanwhile
    EXPECT_EQ(GetForegroundWindow(), dialog);
    Win32DialogClick(dialog, IDOK);
    return true;
  };
  Win32SetDialogScript(script);
  TemplateBuilder b = Sample();
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, b.Get(), nullptr, OuterProc, 0), 22);
  EXPECT_EQ(seen, (std::vector<std::string>{"Sample", "Inner", "Sample"}));
  auto at = std::find(log_.events.begin(), log_.events.end(), "inner returned 11");
  ASSERT_NE(at, log_.events.end());
  EXPECT_EQ(*(at + 1), "outer enabled");
  EXPECT_FALSE(Win32IsDialogWindow(outerHandle));  // gone after it ended
  EXPECT_FALSE(Win32DialogPostMessage(outerHandle, WM_USER + 1, 0, 0));
}

TEST_F(Dialogs, AScriptThatStopsActingCancelsAndRefusedPostsReportFailure) {
  Win32DialogScript script;
  script.step = [&](HWND dialog) {
    Win32SetDialogPostFailure(true);
    EXPECT_FALSE(Win32DialogPostMessage(dialog, WM_USER + 5, 1, 2));
    Win32SetDialogPostFailure(false);
    return false;
  };
  Win32SetDialogScript(script);
  TemplateBuilder b = Sample();
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, b.Get(), nullptr, RecordingProc, 0), 22);  // IDCANCEL
}

TEST_F(Dialogs, ATruncatedLookingTemplateWithTooManyItemsIsRefused) {
  TemplateBuilder b("Bad", 10, 10);
  LPCDLGTEMPLATEA t = b.Get();
  DLGTEMPLATE header;
  std::memcpy(&header, t, sizeof header);
  header.cdit = 1000;
  std::memcpy(const_cast<DLGTEMPLATE*>(t), &header, sizeof header);
  Win32DialogScript script;
  script.step = [](HWND) { return false; };
  Win32SetDialogScript(script);
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, t, nullptr, RecordingProc, 0), -1);
}

}  // namespace
