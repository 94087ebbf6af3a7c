// Internal: the dialog and control records of the dialog stand-in, the user
// actions both drivers share, and the window that shows a dialog to a person.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/win32_dialog.h"

namespace win32dialog {

enum class ControlKind {
  unknown,
  pushButton,
  defPushButton,
  checkBox,
  autoCheckBox,
  radioButton,
  autoRadioButton,
  groupBox,
  label,
  edit,
  comboBox,      // drop-down list with an edit field
  dropDownList,  // drop-down list without one
};

struct Dialog;

struct Control {
  ControlKind kind = ControlKind::unknown;
  DWORD style = 0;
  WORD id = 0;
  SHORT x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  std::string text;                     // label, button text, edit or combo edit text
  bool checked = false;
  bool enabled = true;
  std::vector<std::string> items;       // combo box list
  int selection = -1;
  std::size_t limit = 0x7FFFFFFE;       // edit text limit
  Dialog* owner = nullptr;
};

struct QueuedMessage {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

struct Dialog {
  DWORD style = 0;
  SHORT x = 0, y = 0, cx = 0, cy = 0;
  std::string caption;
  bool captionChanged = false;
  WORD fontSize = 8;
  std::string fontName;
  std::vector<std::unique_ptr<Control>> controls;
  DLGPROC proc = nullptr;
  bool enabled = true;
  bool ended = false;
  INT_PTR result = 0;
  std::mutex queueMutex;
  std::deque<QueuedMessage> queue;

  Control* Find(int controlId);
  INT_PTR Call(UINT message, WPARAM wParam, LPARAM lParam);
  void Notify(Control* control, WORD code);
  bool Post(UINT message, WPARAM wParam, LPARAM lParam);
  void DrainQueue();
  // As closing the window: WM_CLOSE, and IDCANCEL when the procedure ignores it.
  void Cancel();
};

Dialog* DialogOf(HWND handle);
Control* ControlOf(HWND handle);
std::string VisibleText(const Control& control);
bool Click(Control* control);
bool TypeText(Control* control, const char* text);
bool Choose(Control* control, int index);
bool Key(Dialog* dialog, int virtualKey);

// A window showing one dialog: draws its controls at their dialog-unit positions
// and turns mouse and keyboard input into user actions.
class WindowView {
public:
  virtual ~WindowView() = default;
  // Null when no display is available.
  static std::unique_ptr<WindowView> Create(Dialog* dialog);
  // Draws, waits briefly for input and handles it. False when the window was
  // closed by the user.
  virtual bool Serve() = 0;
};

}  // namespace win32dialog
