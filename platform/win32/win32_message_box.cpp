#include "platform/win32/win32_message_box.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/win32.h"

namespace {

// Dialog units of the layout: an average character of the built-in font, a text
// line, the margin and the button.
constexpr int charWidth = 5;
constexpr int lineHeight = 10;
constexpr int margin = 8;
constexpr int buttonWidth = 50, buttonHeight = 14;
constexpr int firstLineId = 100;
constexpr std::size_t maxLines = 40;  // a longer text is cut; standard error has all of it

// An in-memory dialog template as DialogBoxIndirectParamA reads it.
class TemplateBytes {
public:
  TemplateBytes(DWORD style, int cx, int cy, const char* caption) {
    const DLGTEMPLATE header{style, 0, 0, 0, 0, static_cast<SHORT>(cx), static_cast<SHORT>(cy)};
    Append(&header, sizeof header);
    Word(0);  // no menu
    Word(0);  // the standard dialog class
    String(caption);
  }

  void Control(WORD classAtom, DWORD style, WORD id, const std::string& text, int x, int y, int cx, int cy) {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
    const DLGITEMTEMPLATE item{static_cast<DWORD>(WS_CHILD | WS_VISIBLE) | style, 0, static_cast<SHORT>(x),
                               static_cast<SHORT>(y), static_cast<SHORT>(cx), static_cast<SHORT>(cy), id};
    Append(&item, sizeof item);
    Word(0xFFFF);
    Word(classAtom);
    String(text.c_str());
    Word(0);  // no creation data
    ++count_;
  }

  // DWORD-aligned, with the control count filled in.
  std::vector<DWORD> Finish() {
    std::memcpy(bytes_.data() + offsetof(DLGTEMPLATE, cdit), &count_, sizeof count_);
    std::vector<DWORD> words((bytes_.size() + 3) / 4, 0);
    std::memcpy(words.data(), bytes_.data(), bytes_.size());
    return words;
  }

private:
  void Append(const void* data, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
  }
  void Word(WORD value) { Append(&value, sizeof value); }
  void String(const char* text) {
    for (const char* p = text; *p != '\0'; ++p) Word(static_cast<unsigned char>(*p));
    Word(0);
  }

  std::vector<unsigned char> bytes_;
  WORD count_ = 0;
};

// The text's lines; a newline at the end (as several start-up messages have)
// adds no empty line.
std::vector<std::string> LinesOf(const char* text) {
  std::vector<std::string> lines;
  std::string line;
  for (const char* p = text; *p != 0; ++p) {
    if (*p == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (*p != '\r') {
      line += *p;
    }
  }
  if (!line.empty() || lines.empty()) lines.push_back(line);
  if (lines.size() > maxLines) lines.resize(maxLines);
  return lines;
}

INT_PTR MessageBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, IDOK);
    return TRUE;
  }
  return FALSE;
}

}  // namespace

bool Win32ShowOwnMessageBox(const char* text, const char* caption) {
  const std::vector<std::string> lines = LinesOf(text != nullptr ? text : "");
  std::size_t longest = 0;
  for (const std::string& line : lines) longest = std::max(longest, line.size());
  const int width = std::max(140, static_cast<int>(longest) * charWidth + 2 * margin);
  const int buttonTop = margin + static_cast<int>(lines.size()) * lineHeight + margin;
  const int height = buttonTop + buttonHeight + margin;

  TemplateBytes bytes(static_cast<DWORD>(DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU), width, height,
                      caption != nullptr ? caption : "");
  for (std::size_t i = 0; i < lines.size(); ++i) {
    bytes.Control(DLG_CLASS_STATIC, SS_LEFT, static_cast<WORD>(firstLineId + i), lines[i], margin,
                  margin + static_cast<int>(i) * lineHeight, width - 2 * margin, lineHeight);
  }
  bytes.Control(DLG_CLASS_BUTTON, static_cast<DWORD>(BS_DEFPUSHBUTTON | WS_TABSTOP), IDOK, "OK",
                (width - buttonWidth) / 2, buttonTop, buttonWidth, buttonHeight);
  const std::vector<DWORD> words = bytes.Finish();
  return DialogBoxIndirectParamA(nullptr, reinterpret_cast<const DLGTEMPLATE*>(words.data()), nullptr,
                                 MessageBoxProc, 0) != -1;
}
