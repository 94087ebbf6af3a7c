// Modal dialogs from in-memory templates. The template is parsed into a dialog
// record with its controls; the controls behave as the Windows ones do for the
// calls and clicks the dialogs use, and report to the dialog procedure through
// WM_COMMAND. The modal loop runs on the calling thread and is driven either by a
// script (tests) or by the dialog window (window_sdl part below).
#include "platform/win32/win32_dialog.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <strings.h>

#include "platform/win32/win32_dialog_window.h"
#include "platform/win32/win32_window.h"

namespace win32dialog {

namespace {

std::mutex registryMutex;
std::vector<Dialog*> liveDialogs;
std::atomic<bool> postFailure{false};

std::mutex scriptMutex;
Win32DialogScript script;

thread_local std::vector<Dialog*> modalStack;
std::atomic<Dialog*> shownDialog{nullptr};

// Upper bounds that keep a damaged template from running away.
constexpr std::size_t kMaxTemplateString = 256;
constexpr int kMaxItems = 255;

constexpr int kVkReturn = 0x0D;
constexpr int kVkEscape = 0x1B;

HWND HandleOf(Dialog* dialog) { return reinterpret_cast<HWND>(dialog); }
HWND HandleOf(Control* control) { return reinterpret_cast<HWND>(control); }

// Reads the 16-bit strings and ordinals of a template.
class TemplateReader {
public:
  explicit TemplateReader(const void* start) : base_(static_cast<const BYTE*>(start)), at_(base_) {}

  WORD Word() {
    WORD value;
    std::memcpy(&value, at_, sizeof value);
    at_ += sizeof value;
    return value;
  }

  template <typename T>
  T Record() {
    T value;
    std::memcpy(&value, at_, sizeof value);
    at_ += sizeof value;
    return value;
  }

  // A string of 16-bit characters up to a 0; characters above 0xFF become '?'.
  bool String(std::string* text) {
    text->clear();
    for (std::size_t i = 0; i <= kMaxTemplateString; ++i) {
      WORD c = Word();
      if (c == 0) return true;
      if (text != nullptr) text->push_back(c < 0x100 ? static_cast<char>(c) : '?');
    }
    return false;
  }

  // A field that is 0 (none), 0xFFFF and an ordinal, or a string.
  bool StringOrOrdinal(std::string* text, WORD* ordinal) {
    text->clear();
    *ordinal = 0;
    WORD first;
    std::memcpy(&first, at_, sizeof first);
    if (first == 0xFFFF) {
      at_ += 2;
      *ordinal = Word();
      return true;
    }
    return String(text);
  }

  void AlignDword() {
    std::size_t offset = static_cast<std::size_t>(at_ - base_);
    at_ = base_ + ((offset + 3) & ~static_cast<std::size_t>(3));
  }

  void Skip(std::size_t bytes) { at_ += bytes; }

private:
  const BYTE* base_;
  const BYTE* at_;
};

ControlKind KindOf(WORD atom, const std::string& className, DWORD style) {
  std::string name = className;
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (atom == DLG_CLASS_BUTTON || name == "BUTTON") {
    switch (style & BS_TYPEMASK) {
      case BS_DEFPUSHBUTTON: return ControlKind::defPushButton;
      case BS_CHECKBOX: return ControlKind::checkBox;
      case BS_AUTOCHECKBOX: return ControlKind::autoCheckBox;
      case BS_RADIOBUTTON: return ControlKind::radioButton;
      case BS_AUTORADIOBUTTON: return ControlKind::autoRadioButton;
      case BS_GROUPBOX: return ControlKind::groupBox;
      default: return ControlKind::pushButton;
    }
  }
  if (atom == DLG_CLASS_EDIT || name == "EDIT") return ControlKind::edit;
  if (atom == DLG_CLASS_STATIC || name == "STATIC") return ControlKind::label;
  if (atom == DLG_CLASS_COMBOBOX || name == "COMBOBOX") {
    return (style & 3) == CBS_DROPDOWNLIST ? ControlKind::dropDownList : ControlKind::comboBox;
  }
  return ControlKind::unknown;
}

std::unique_ptr<Dialog> Parse(LPCDLGTEMPLATEA dialogTemplate) {
  if (dialogTemplate == nullptr) return nullptr;
  TemplateReader reader(dialogTemplate);
  auto header = reader.Record<DLGTEMPLATE>();
  if (header.cdit > kMaxItems || header.cx <= 0 || header.cy <= 0) return nullptr;
  auto dialog = std::make_unique<Dialog>();
  dialog->style = header.style;
  dialog->x = header.x;
  dialog->y = header.y;
  dialog->cx = header.cx;
  dialog->cy = header.cy;
  std::string text;
  WORD ordinal = 0;
  if (!reader.StringOrOrdinal(&text, &ordinal)) return nullptr;  // menu
  if (!reader.StringOrOrdinal(&text, &ordinal)) return nullptr;  // class
  if (!reader.String(&dialog->caption)) return nullptr;
  if ((header.style & DS_SETFONT) != 0) {
    dialog->fontSize = reader.Word();
    if (!reader.String(&dialog->fontName)) return nullptr;
  }
  for (int i = 0; i < header.cdit; ++i) {
    reader.AlignDword();
    auto item = reader.Record<DLGITEMTEMPLATE>();
    std::string className;
    WORD atom = 0;
    if (!reader.StringOrOrdinal(&className, &atom)) return nullptr;
    auto control = std::make_unique<Control>();
    WORD titleOrdinal = 0;
    if (!reader.StringOrOrdinal(&control->text, &titleOrdinal)) return nullptr;
    WORD extra = reader.Word();
    reader.Skip(extra);
    control->kind = KindOf(atom, className, item.style);
    control->style = item.style;
    control->id = item.id;
    control->x = item.x;
    control->y = item.y;
    control->cx = item.cx;
    control->cy = item.cy;
    control->owner = dialog.get();
    dialog->controls.push_back(std::move(control));
  }
  return dialog;
}

void Register(Dialog* dialog) {
  std::lock_guard<std::mutex> lock(registryMutex);
  liveDialogs.push_back(dialog);
}

void Unregister(Dialog* dialog) {
  std::lock_guard<std::mutex> lock(registryMutex);
  liveDialogs.erase(std::remove(liveDialogs.begin(), liveDialogs.end(), dialog), liveDialogs.end());
}

}  // namespace

Dialog* DialogOf(HWND handle) {
  if (handle == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(registryMutex);
  for (Dialog* dialog : liveDialogs) {
    if (HandleOf(dialog) == handle) return dialog;
  }
  return nullptr;
}

Control* ControlOf(HWND handle) {
  if (handle == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(registryMutex);
  for (Dialog* dialog : liveDialogs) {
    for (auto& control : dialog->controls) {
      if (HandleOf(control.get()) == handle) return control.get();
    }
  }
  return nullptr;
}

Control* Dialog::Find(int controlId) {
  for (auto& control : controls) {
    if (control->id == static_cast<WORD>(controlId)) return control.get();
  }
  return nullptr;
}

INT_PTR Dialog::Call(UINT message, WPARAM wParam, LPARAM lParam) {
  if (proc == nullptr) return 0;
  return proc(HandleOf(this), message, wParam, lParam);
}

void Dialog::Notify(Control* control, WORD code) {
  Call(WM_COMMAND, MAKEWPARAM(control->id, code), reinterpret_cast<LPARAM>(HandleOf(control)));
}

bool Dialog::Post(UINT message, WPARAM wParam, LPARAM lParam) {
  std::lock_guard<std::mutex> lock(queueMutex);
  if (queue.size() >= 10000) return false;  // the limit of a Windows queue
  queue.push_back(QueuedMessage{message, wParam, lParam});
  return true;
}

// Runs queued messages until the queue is empty or the dialog has ended.
void Dialog::DrainQueue() {
  while (!ended) {
    QueuedMessage message{};
    {
      std::lock_guard<std::mutex> lock(queueMutex);
      if (queue.empty()) return;
      message = queue.front();
      queue.pop_front();
    }
    Call(message.message, message.wParam, message.lParam);
  }
}

void Dialog::Cancel() {
  if (Call(WM_CLOSE, 0, 0) == 0 && !ended) Call(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

std::string VisibleText(const Control& control) {
  if (control.kind == ControlKind::dropDownList) {
    return control.selection >= 0 && control.selection < static_cast<int>(control.items.size())
               ? control.items[static_cast<std::size_t>(control.selection)]
               : std::string();
  }
  return control.text;
}

// Clicking a button as the user would: radio buttons check themselves and clear
// the other automatic radio buttons of their group; check boxes toggle.
bool Click(Control* control) {
  if (control == nullptr || !control->enabled) return false;
  Dialog* dialog = control->owner;
  switch (control->kind) {
    case ControlKind::autoRadioButton: {
      auto& all = dialog->controls;
      auto at = std::find_if(all.begin(), all.end(), [&](const auto& c) { return c.get() == control; });
      auto first = at;
      while (first != all.begin() && ((*first)->style & WS_GROUP) == 0) --first;
      auto last = at + 1;
      while (last != all.end() && ((*last)->style & WS_GROUP) == 0) ++last;
      for (auto it = first; it != last; ++it) {
        if ((*it)->kind == ControlKind::autoRadioButton) (*it)->checked = false;
      }
      control->checked = true;
      break;
    }
    case ControlKind::autoCheckBox:
      control->checked = !control->checked;
      break;
    case ControlKind::pushButton:
    case ControlKind::defPushButton:
    case ControlKind::checkBox:
    case ControlKind::radioButton:
      break;
    default:
      return false;
  }
  dialog->Notify(control, BN_CLICKED);
  return true;
}

bool TypeText(Control* control, const char* text) {
  if (control == nullptr || !control->enabled || text == nullptr) return false;
  if (control->kind != ControlKind::edit && control->kind != ControlKind::comboBox) return false;
  std::string typed;
  for (const char* p = text; *p != '\0'; ++p) {
    if ((control->style & ES_NUMBER) != 0 && control->kind == ControlKind::edit &&
        !std::isdigit(static_cast<unsigned char>(*p))) {
      continue;
    }
    if (typed.size() >= control->limit) break;
    typed.push_back(*p);
  }
  control->text = typed;
  if (control->kind == ControlKind::comboBox) control->selection = -1;
  control->owner->Notify(control, control->kind == ControlKind::edit ? EN_CHANGE : CBN_EDITCHANGE);
  return true;
}

bool Choose(Control* control, int index) {
  if (control == nullptr || !control->enabled) return false;
  if (control->kind != ControlKind::comboBox && control->kind != ControlKind::dropDownList) return false;
  if (index < 0 || index >= static_cast<int>(control->items.size())) return false;
  control->selection = index;
  control->text = control->items[static_cast<std::size_t>(index)];
  control->owner->Notify(control, CBN_SELCHANGE);
  return true;
}

bool Key(Dialog* dialog, int virtualKey) {
  if (dialog == nullptr) return false;
  if (virtualKey == kVkEscape) {
    dialog->Call(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return true;
  }
  if (virtualKey == kVkReturn) {
    WORD target = IDOK;
    for (auto& control : dialog->controls) {
      if (control->kind == ControlKind::defPushButton) target = control->id;
    }
    Control* button = dialog->Find(target);
    if (button != nullptr && !button->enabled) return false;
    dialog->Call(WM_COMMAND, MAKEWPARAM(target, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button != nullptr ? HandleOf(button) : nullptr));
    return true;
  }
  return false;
}

LRESULT ControlMessage(Control* control, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case BM_GETCHECK:
      return control->checked ? BST_CHECKED : BST_UNCHECKED;
    case BM_SETCHECK:
      control->checked = wParam == BST_CHECKED;
      return 0;
    case BM_CLICK:
      Click(control);
      return 0;
    case WM_SETTEXT:
      control->text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
      return TRUE;
    case WM_GETTEXT: {
      if (lParam == 0 || wParam == 0) return 0;
      std::string visible = VisibleText(*control);
      std::size_t n = std::min(visible.size(), static_cast<std::size_t>(wParam) - 1);
      std::memcpy(reinterpret_cast<char*>(lParam), visible.data(), n);
      reinterpret_cast<char*>(lParam)[n] = '\0';
      return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(VisibleText(*control).size());
    case EM_LIMITTEXT:
    case CB_LIMITTEXT:
      control->limit = wParam == 0 ? 0x7FFFFFFE : static_cast<std::size_t>(wParam);
      return TRUE;
    default:
      break;
  }
  bool combo = control->kind == ControlKind::comboBox || control->kind == ControlKind::dropDownList;
  if (!combo) return 0;
  auto count = static_cast<LRESULT>(control->items.size());
  switch (message) {
    case CB_ADDSTRING:
      if (lParam == 0) return CB_ERR;
      control->items.emplace_back(reinterpret_cast<const char*>(lParam));
      return count;
    case CB_GETCOUNT:
      return count;
    case CB_GETCURSEL:
      return control->selection;
    case CB_SETCURSEL: {
      auto index = static_cast<LRESULT>(static_cast<INT_PTR>(wParam));
      if (index < 0 || index >= count) {
        control->selection = -1;
        if (control->kind == ControlKind::comboBox) control->text.clear();
        return CB_ERR;
      }
      control->selection = static_cast<int>(index);
      control->text = control->items[static_cast<std::size_t>(index)];
      return index;
    }
    case CB_GETLBTEXTLEN: {
      auto index = static_cast<LRESULT>(static_cast<INT_PTR>(wParam));
      if (index < 0 || index >= count) return CB_ERR;
      return static_cast<LRESULT>(control->items[static_cast<std::size_t>(index)].size());
    }
    case CB_GETLBTEXT: {
      auto index = static_cast<LRESULT>(static_cast<INT_PTR>(wParam));
      if (index < 0 || index >= count || lParam == 0) return CB_ERR;
      const std::string& item = control->items[static_cast<std::size_t>(index)];
      std::memcpy(reinterpret_cast<char*>(lParam), item.c_str(), item.size() + 1);
      return static_cast<LRESULT>(item.size());
    }
    case CB_RESETCONTENT:
      control->items.clear();
      control->selection = -1;
      return 0;
    case CB_FINDSTRINGEXACT: {
      if (lParam == 0 || count == 0) return CB_ERR;
      const char* wanted = reinterpret_cast<const char*>(lParam);
      auto start = static_cast<LRESULT>(static_cast<INT_PTR>(wParam));
      if (start < -1 || start >= count) start = -1;
      for (LRESULT step = 1; step <= count; ++step) {
        LRESULT index = (start + step) % count;
        const std::string& item = control->items[static_cast<std::size_t>(index)];
        if (strcasecmp(item.c_str(), wanted) == 0) return index;
      }
      return CB_ERR;
    }
    default:
      return 0;
  }
}

Win32DialogScript CurrentScript() {
  std::lock_guard<std::mutex> lock(scriptMutex);
  return script;
}

}  // namespace win32dialog

using namespace win32dialog;

INT_PTR DialogBoxIndirectParamA(HINSTANCE, LPCDLGTEMPLATEA dialogTemplate, HWND owner, DLGPROC dialogProc,
                                LPARAM initParam) {
  std::unique_ptr<Dialog> dialog = Parse(dialogTemplate);
  if (dialog == nullptr || dialogProc == nullptr) return -1;
  dialog->proc = dialogProc;
  Win32DialogScript driver = CurrentScript();
  bool scripted = static_cast<bool>(driver.step);
  if (scripted) {
    if (driver.allowCreate && !driver.allowCreate(dialog->caption.c_str())) return -1;
  }
  std::unique_ptr<WindowView> view;
  if (!scripted) {
    view = WindowView::Create(dialog.get());
    if (view == nullptr) return -1;  // no display: the dialog cannot be created
  }

  Dialog* ownerDialog = DialogOf(owner);
  bool ownerWasEnabled = ownerDialog != nullptr && ownerDialog->enabled;
  if (ownerDialog != nullptr) ownerDialog->enabled = false;
  Register(dialog.get());
  modalStack.push_back(dialog.get());
  Dialog* previouslyShown = shownDialog.exchange(dialog.get());
  HWND handle = HandleOf(dialog.get());

  Control* firstTab = nullptr;
  for (auto& control : dialog->controls) {
    if ((control->style & WS_TABSTOP) != 0 && firstTab == nullptr) firstTab = control.get();
  }
  dialog->Call(WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTab != nullptr ? HandleOf(firstTab) : nullptr),
               initParam);

  bool dry = false;
  while (!dialog->ended) {
    dialog->DrainQueue();
    if (dialog->ended) break;
    if (scripted) {
      if (dry) {
        // The script has stopped acting and the dialog ignored the cancel.
        dialog->ended = true;
        dialog->result = -1;
        break;
      }
      if (!driver.step(handle)) {
        dry = true;
        dialog->Cancel();
      }
    } else if (!view->Serve()) {
      dialog->Cancel();
      if (!dialog->ended) view->Serve();
    }
  }

  INT_PTR result = dialog->result;
  modalStack.pop_back();
  shownDialog.store(previouslyShown);
  view.reset();
  Unregister(dialog.get());
  if (ownerDialog != nullptr && DialogOf(owner) == ownerDialog) ownerDialog->enabled = ownerWasEnabled;
  return result;
}

BOOL EndDialog(HWND handle, INT_PTR result) {
  Dialog* dialog = DialogOf(handle);
  if (dialog == nullptr) return FALSE;
  dialog->ended = true;
  dialog->result = result;
  return TRUE;
}

HWND GetDlgItem(HWND handle, int id) {
  Dialog* dialog = DialogOf(handle);
  if (dialog == nullptr) return nullptr;
  Control* control = dialog->Find(id);
  return control != nullptr ? reinterpret_cast<HWND>(control) : nullptr;
}

int GetDlgCtrlID(HWND handle) {
  Control* control = ControlOf(handle);
  return control != nullptr ? static_cast<SHORT>(control->id) : 0;
}

LRESULT SendDlgItemMessageA(HWND handle, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  Dialog* dialog = DialogOf(handle);
  Control* control = dialog != nullptr ? dialog->Find(id) : nullptr;
  return control != nullptr ? ControlMessage(control, message, wParam, lParam) : 0;
}

BOOL SetDlgItemTextA(HWND handle, int id, LPCSTR text) {
  Dialog* dialog = DialogOf(handle);
  Control* control = dialog != nullptr ? dialog->Find(id) : nullptr;
  if (control == nullptr) return FALSE;
  control->text = text != nullptr ? text : "";
  return TRUE;
}

UINT GetDlgItemTextA(HWND handle, int id, LPSTR buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = '\0';
  Dialog* dialog = DialogOf(handle);
  Control* control = dialog != nullptr ? dialog->Find(id) : nullptr;
  if (control == nullptr) return 0;
  return static_cast<UINT>(ControlMessage(control, WM_GETTEXT, static_cast<WPARAM>(size),
                                          reinterpret_cast<LPARAM>(buffer)));
}

BOOL SetDlgItemInt(HWND handle, int id, UINT value, BOOL isSigned) {
  char text[16];
  if (isSigned) {
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
  } else {
    std::snprintf(text, sizeof text, "%u", value);
  }
  return SetDlgItemTextA(handle, id, text);
}

UINT GetDlgItemInt(HWND handle, int id, BOOL* translated, BOOL isSigned) {
  char text[32];
  if (translated != nullptr) *translated = FALSE;
  if (GetDlgItemTextA(handle, id, text, sizeof text) == 0) return 0;
  const char* p = text;
  while (*p == ' ') ++p;
  bool negative = false;
  if (isSigned && *p == '-') {
    negative = true;
    ++p;
  }
  if (!std::isdigit(static_cast<unsigned char>(*p))) return 0;
  unsigned long long value = 0;
  while (std::isdigit(static_cast<unsigned char>(*p))) {
    value = value * 10 + static_cast<unsigned>(*p - '0');
    if (value > 0xFFFFFFFFull) return 0;
    ++p;
  }
  if (*p != '\0') return 0;
  if (translated != nullptr) *translated = TRUE;
  auto result = static_cast<UINT>(value);
  return negative ? 0u - result : result;
}

BOOL CheckDlgButton(HWND handle, int id, UINT check) {
  Dialog* dialog = DialogOf(handle);
  Control* control = dialog != nullptr ? dialog->Find(id) : nullptr;
  if (control == nullptr) return FALSE;
  control->checked = check == BST_CHECKED;
  return TRUE;
}

UINT IsDlgButtonChecked(HWND handle, int id) {
  Dialog* dialog = DialogOf(handle);
  Control* control = dialog != nullptr ? dialog->Find(id) : nullptr;
  return control != nullptr && control->checked ? BST_CHECKED : BST_UNCHECKED;
}

BOOL CheckRadioButton(HWND handle, int firstId, int lastId, int checkId) {
  Dialog* dialog = DialogOf(handle);
  if (dialog == nullptr) return FALSE;
  for (auto& control : dialog->controls) {
    if (control->id >= firstId && control->id <= lastId) control->checked = control->id == checkId;
  }
  return TRUE;
}

BOOL IsWindowEnabled(HWND handle) {
  if (Dialog* dialog = DialogOf(handle)) return dialog->enabled ? TRUE : FALSE;
  if (Control* control = ControlOf(handle)) return control->enabled ? TRUE : FALSE;
  return FALSE;
}

BOOL Win32DialogPostMessage(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  if (postFailure.load()) return FALSE;
  Dialog* dialog = DialogOf(handle);
  return dialog != nullptr && dialog->Post(message, wParam, lParam) ? TRUE : FALSE;
}

BOOL Win32DialogSetText(HWND handle, LPCSTR text) {
  if (Dialog* dialog = DialogOf(handle)) {
    dialog->caption = text != nullptr ? text : "";
    dialog->captionChanged = true;
    return TRUE;
  }
  if (Control* control = ControlOf(handle)) {
    control->text = text != nullptr ? text : "";
    return TRUE;
  }
  return FALSE;
}

int Win32DialogGetText(HWND handle, LPSTR buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = '\0';
  std::string text;
  if (Dialog* dialog = DialogOf(handle)) {
    text = dialog->caption;
  } else if (Control* control = ControlOf(handle)) {
    text = VisibleText(*control);
  } else {
    return 0;
  }
  std::size_t n = std::min(text.size(), static_cast<std::size_t>(size) - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

HWND GetForegroundWindow() {
  Dialog* shown = shownDialog.load();
  return shown != nullptr ? reinterpret_cast<HWND>(shown) : Win32KeyWindow();
}

bool Win32IsDialogWindow(HWND handle) { return DialogOf(handle) != nullptr || ControlOf(handle) != nullptr; }

BOOL Win32DialogClick(HWND handle, int id) {
  Dialog* dialog = DialogOf(handle);
  if (dialog == nullptr || !dialog->enabled) return FALSE;
  return Click(dialog->Find(id)) ? TRUE : FALSE;
}

BOOL Win32DialogType(HWND handle, int id, LPCSTR text) {
  Dialog* dialog = DialogOf(handle);
  if (dialog == nullptr || !dialog->enabled) return FALSE;
  return TypeText(dialog->Find(id), text) ? TRUE : FALSE;
}

BOOL Win32DialogChoose(HWND handle, int id, int index) {
  Dialog* dialog = DialogOf(handle);
  if (dialog == nullptr || !dialog->enabled) return FALSE;
  return Choose(dialog->Find(id), index) ? TRUE : FALSE;
}

BOOL Win32DialogKey(HWND handle, int virtualKey) {
  Dialog* dialog = DialogOf(handle);
  if (dialog == nullptr || !dialog->enabled) return FALSE;
  return Key(dialog, virtualKey) ? TRUE : FALSE;
}

void Win32SetDialogScript(Win32DialogScript newScript) {
  std::lock_guard<std::mutex> lock(scriptMutex);
  script = std::move(newScript);
}

void Win32SetDialogPostFailure(bool fail) { postFailure.store(fail); }

HWND Win32ActiveDialog() { return modalStack.empty() ? nullptr : reinterpret_cast<HWND>(modalStack.back()); }
