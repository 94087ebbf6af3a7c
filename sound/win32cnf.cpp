// The set-up dialog, the custom-quality dialog, and the settings stored in a file
// or in the registry. The dialogs work on a working pair (mixing rate and
// interpolation) that reaches the options only when the set-up dialog is
// confirmed.
#include "sound/win32cnf.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sound/errors.h"
#include "sound/rawf_nt.h"
#include "sound/sdevice.h"
#include "sound/soundint.h"

namespace {

using soundint::working;

// ---- In-memory dialog templates ----

class TemplateWriter {
public:
  TemplateWriter(DWORD style, SHORT cx, SHORT cy, const char* caption) {
    DLGTEMPLATE header{style, 0, 0, 0, 0, cx, cy};
    Append(&header, sizeof header);
    Word(0);  // no menu
    Word(0);  // the standard dialog class
    String(caption);
    Word(8);  // point size
    String("MS Sans Serif");
  }

  void Control(WORD classAtom, DWORD style, int id, const char* text, SHORT x, SHORT y, SHORT cx, SHORT cy) {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
    DLGITEMTEMPLATE item{static_cast<DWORD>(WS_CHILD | WS_VISIBLE) | style, 0, x, y, cx, cy, static_cast<WORD>(id)};
    Append(&item, sizeof item);
    Word(0xFFFF);
    Word(classAtom);
    String(text);
    Word(0);  // no creation data
    ++count_;
  }

  // The finished template, DWORD-aligned as DialogBox wants it.
  std::vector<DWORD> Finish() {
    std::memcpy(bytes_.data() + offsetof(DLGTEMPLATE, cdit), &count_, sizeof count_);
    std::vector<DWORD> words((bytes_.size() + 3) / 4, 0);
    std::memcpy(words.data(), bytes_.data(), bytes_.size());
    return words;
  }

private:
  void Append(const void* data, std::size_t size) {
    auto* p = static_cast<const unsigned char*>(data);
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

constexpr DWORD kDialogStyle =
    static_cast<DWORD>(DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT);
constexpr DWORD kEditStyle = static_cast<DWORD>(ES_NUMBER | WS_BORDER);

const std::vector<DWORD>& SetupTemplate() {
  static const std::vector<DWORD> words = [] {
    TemplateWriter t(kDialogStyle, 256, 137, "QUAVR Digital Audio System Setup");
    t.Control(DLG_CLASS_COMBOBOX, CBS_DROPDOWNLIST | WS_VSCROLL, cnfSoundCard, "", 48, 8, 80, 44);
    for (int i = 0; i < 5; ++i) {
      const SoundQualityPreset& preset = soundQualityPresets[i];
      t.Control(DLG_CLASS_BUTTON, BS_AUTORADIOBUTTON, preset.id, preset.text, 8, static_cast<SHORT>(40 + 12 * i),
                116, 10);
    }
    t.Control(DLG_CLASS_BUTTON, BS_AUTORADIOBUTTON | WS_TABSTOP, cnfCustom, "&Custom...", 8, 100, 116, 10);
    t.Control(DLG_CLASS_BUTTON, BS_AUTOCHECKBOX, cnfStereo, "&Stereo", 8, 116, 40, 10);
    t.Control(DLG_CLASS_BUTTON, BS_AUTOCHECKBOX, cnfNeverUseDSound, "&Never Use DirectSound", 136, 80,
              91, 10);
    t.Control(DLG_CLASS_EDIT, kEditStyle, cnfBufferLength, "", 204, 96, 28, 12);
    t.Control(DLG_CLASS_EDIT, kEditStyle, cnfDSoundBuffer, "", 204, 112, 28, 12);
    t.Control(DLG_CLASS_BUTTON, BS_DEFPUSHBUTTON, IDOK, "OK", 200, 4, 50, 14);
    t.Control(DLG_CLASS_BUTTON, BS_PUSHBUTTON, IDCANCEL, "Cancel", 200, 22, 50, 14);
    t.Control(DLG_CLASS_BUTTON, BS_GROUPBOX, -1, "Sound Quality", 4, 28, 124, 104);
    t.Control(DLG_CLASS_STATIC, SS_RIGHT, 1013, "S&ound Card:", 0, 8, 44, 8);
    t.Control(DLG_CLASS_STATIC, SS_RIGHT, 1014, "&Buffer Length:", 136, 96, 64, 8);
    t.Control(DLG_CLASS_STATIC, SS_LEFT, 1016, "ms", 236, 96, 12, 8);
    t.Control(DLG_CLASS_STATIC, SS_RIGHT, 1018, "&DirectSound Buffer:", 136, 112, 64, 8);
    t.Control(DLG_CLASS_STATIC, SS_LEFT, 1019, "ms", 236, 112, 12, 8);
    t.Control(DLG_CLASS_BUTTON, BS_GROUPBOX, 1024, "Advanced", 132, 68, 120, 64);
    return t.Finish();
  }();
  return words;
}

const std::vector<DWORD>& CustomTemplate() {
  static const std::vector<DWORD> words = [] {
    TemplateWriter t(kDialogStyle, 176, 77, "QUAVR Custom Sound Quality");
    t.Control(DLG_CLASS_COMBOBOX, CBS_DROPDOWN | WS_VSCROLL, cnfCustomRate, "", 52,
              8, 60, 44);
    t.Control(DLG_CLASS_BUTTON, BS_AUTORADIOBUTTON, cnfCustomNormal, "Normal (low quality)", 12, 40, 77, 10);
    t.Control(DLG_CLASS_BUTTON, BS_AUTORADIOBUTTON, cnfCustomInterpolating, "Interpolating (high quality)", 12, 52,
              96, 10);
    t.Control(DLG_CLASS_BUTTON, BS_DEFPUSHBUTTON, IDOK, "OK", 120, 4, 50, 14);
    t.Control(DLG_CLASS_BUTTON, BS_PUSHBUTTON, IDCANCEL, "Cancel", 120, 22, 50, 14);
    t.Control(DLG_CLASS_STATIC, SS_RIGHT, 1020, "Mixing Rate:", 4, 8, 44, 8);
    t.Control(DLG_CLASS_BUTTON, BS_GROUPBOX, 1021, "Mixing Mode", 8, 28, 104, 40);
    return t.Finish();
  }();
  return words;
}

// ---- Dialog helpers ----

void SetDecimal(HWND dialog, int id, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%u", value);
  SetDlgItemTextA(dialog, id, text);
}

// Up to 31 characters of a control's text as a decimal number: the leading
// digits count, text that does not start with a digit gives 0, and a number too
// large for 32 bits stops at the largest one.
unsigned ReadDecimal(HWND dialog, int id) {
  char text[32];
  GetDlgItemTextA(dialog, id, text, sizeof text);
  unsigned long long value = 0;
  for (const char* p = text; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + static_cast<unsigned>(*p - '0');
    if (value > 0xFFFFFFFFull) return 0xFFFFFFFFu;
  }
  return static_cast<unsigned>(value);
}

INT_PTR CALLBACK CustomDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      CheckDlgButton(dialog, working.interpolation != 0 ? cnfCustomInterpolating : cnfCustomNormal, BST_CHECKED);
      int match = -1;
      for (int i = 0; i < 8; ++i) {
        char text[16];
        std::snprintf(text, sizeof text, "%u", soundCustomRates[i]);
        SendDlgItemMessageA(dialog, cnfCustomRate, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        if (soundCustomRates[i] == working.rate && match < 0) match = i;
      }
      if (match >= 0) {
        SendDlgItemMessageA(dialog, cnfCustomRate, CB_SETCURSEL, static_cast<WPARAM>(match), 0);
      } else {
        SetDecimal(dialog, cnfCustomRate, working.rate);
      }
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        working.interpolation = IsDlgButtonChecked(dialog, cnfCustomInterpolating) == BST_CHECKED ? 1 : 0;
        unsigned rate = ReadDecimal(dialog, cnfCustomRate);
        if (rate != 0) working.rate = rate;
        EndDialog(dialog, 1);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

void InitSetupDialog(HWND dialog) {
  SetWindowTextA(dialog, "QUAVR Digital Audio System v1.1.2 Setup");
  CheckDlgButton(dialog, cnfCustom, BST_CHECKED);
  SendDlgItemMessageA(dialog, cnfSoundCard, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("No Sound"));
  SendDlgItemMessageA(dialog, cnfSoundCard, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Default"));
  SendDlgItemMessageA(dialog, cnfSoundCard, CB_SETCURSEL, 1, 0);
  std::intptr_t mode = SoundGetOption(soundOptOutputMode);
  if (mode == 0 || (mode & sdStereo) != 0) CheckDlgButton(dialog, cnfStereo, BST_CHECKED);
  working.rate = static_cast<unsigned>(SoundGetOption(soundOptMixRate));
  working.interpolation = SoundGetOption(soundOptInterpolation) != 0 ? 1 : 0;
  for (const SoundQualityPreset& preset : soundQualityPresets) {
    if (preset.rate == working.rate && preset.interpolation == working.interpolation) {
      CheckDlgButton(dialog, preset.id, BST_CHECKED);
      CheckDlgButton(dialog, cnfCustom, BST_UNCHECKED);
      break;
    }
  }
  SetDecimal(dialog, cnfBufferLength, static_cast<unsigned>(SoundGetOption(soundOptBufferLength)));
  SetDecimal(dialog, cnfDSoundBuffer, static_cast<unsigned>(SoundGetOption(soundOptDSoundBufferLength)));
  CheckDlgButton(dialog, cnfNeverUseDSound, SoundGetNeverUseDirectSound() != 0 ? BST_CHECKED : BST_UNCHECKED);
}

void ConfirmSetupDialog(HWND dialog) {
  SoundSetOption(soundOptMixRate, working.rate);
  SoundSetOption(soundOptInterpolation, working.interpolation);
  SoundSetOption(soundOptOutputMode, IsDlgButtonChecked(dialog, cnfStereo) == BST_CHECKED ? 10 : 9);
  unsigned length = ReadDecimal(dialog, cnfBufferLength);
  if (length != 0) SoundSetOption(soundOptBufferLength, length);
  length = ReadDecimal(dialog, cnfDSoundBuffer);
  if (length != 0) SoundSetOption(soundOptDSoundBufferLength, length);
  LRESULT card = SendDlgItemMessageA(dialog, cnfSoundCard, CB_GETCURSEL, 0, 0);
  SoundSetDevice(card == 0 ? soundDeviceNoSound : soundDeviceAuto);
  SoundSetNeverUseDirectSound(IsDlgButtonChecked(dialog, cnfNeverUseDSound) == BST_CHECKED ? 1 : 0);
}

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      InitSetupDialog(dialog);
      return TRUE;
    case cnfOpenCustomMessage: {
      INT_PTR result = DialogBoxIndirectParamA(GetModuleHandleA(nullptr), SoundCustomDialogTemplate(), dialog,
                                               CustomDialogProc, 0);
      if (result == -1) {
        SoundSetLastError(errUndefined);
        EndDialog(dialog, 0);
      }
      return TRUE;
    }
    case WM_COMMAND: {
      int id = LOWORD(wParam);
      if (id >= cnfPresetFirst && id <= cnfPresetLast && HIWORD(wParam) == BN_CLICKED) {
        const SoundQualityPreset& preset = soundQualityPresets[id - cnfPresetFirst];
        working.rate = preset.rate;
        working.interpolation = preset.interpolation;
        return TRUE;
      }
      if (id == cnfCustom && HIWORD(wParam) == BN_CLICKED) {
        if (IsDlgButtonChecked(dialog, cnfCustom) == BST_CHECKED &&
            !PostMessageA(dialog, cnfOpenCustomMessage, 0x11, 0x2A)) {
          SoundSetLastError(errUndefined);
          EndDialog(dialog, 0);
        }
        return TRUE;
      }
      if (id == IDOK) {
        ConfirmSetupDialog(dialog);
        EndDialog(dialog, 1);
        return TRUE;
      }
      if (id == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

// ---- Stored settings ----

// The five stored options, in file and registry order.
constexpr int kStoredOptions[5] = {soundOptMixRate, soundOptOutputMode, soundOptInterpolation, soundOptBufferLength,
                                   soundOptDSoundBufferLength};
constexpr const char* kRegistryNames[5] = {"MixingRate", "OutputMode", "Interpolation", "BufferLength",
                                           "DSoundBufferLength"};

int Fail(int code) {
  SoundSetLastError(code);
  return 0;
}

}  // namespace

const DLGTEMPLATE* SoundSetupDialogTemplate() { return reinterpret_cast<const DLGTEMPLATE*>(SetupTemplate().data()); }

const DLGTEMPLATE* SoundCustomDialogTemplate() {
  return reinterpret_cast<const DLGTEMPLATE*>(CustomTemplate().data());
}

int SoundConfigDialog() {
  SoundSetLastError(errOK);
  INT_PTR result =
      DialogBoxIndirectParamA(GetModuleHandleA(nullptr), SoundSetupDialogTemplate(), nullptr, SetupDialogProc, 0);
  if (result == -1) return Fail(errUndefined);
  return result == 1 ? 1 : 0;
}

int SoundLoadConfig(const char* fileName) {
  if (fileName == nullptr) return Fail(errInvalidArguments);
  RawFile* file = nullptr;
  int error = RawFileOpen(fileName, rfOpenRead, &file);
  if (error != errOK) return Fail(error);
  // Value by value: those read before a failure stay applied.
  for (int i = 0; i < 5; ++i) {
    unsigned char p[4];
    error = RawFileRead(file, p, sizeof p);
    if (error != errOK) break;
    const std::uint32_t value = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                                static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    soundint::StoreOption(kStoredOptions[i], static_cast<std::int32_t>(value));
  }
  const int closed = RawFileClose(file);
  if (error == errOK) error = closed;
  return error == errOK ? 1 : Fail(error);
}

int SoundSaveConfig(const char* fileName) {
  if (fileName == nullptr) return Fail(errInvalidArguments);
  unsigned char bytes[20];
  for (int i = 0; i < 5; ++i) {
    auto value = static_cast<std::uint32_t>(SoundGetOption(kStoredOptions[i]));
    for (int b = 0; b < 4; ++b) bytes[4 * i + b] = static_cast<unsigned char>(value >> (8 * b));
  }
  RawFile* file = nullptr;
  int error = RawFileOpen(fileName, rfOpenWrite, &file);
  if (error != errOK) return Fail(error);
  error = RawFileWrite(file, bytes, sizeof bytes);
  int closed = RawFileClose(file);
  if (error == errOK) error = closed;
  return error == errOK ? 1 : Fail(error);
}

int SoundReadConfigRegistry(HKEY rootKey, const char* subKey) {
  SoundSetLastError(errUndefined);
  HKEY key = nullptr;
  if (RegOpenKeyExA(rootKey, subKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return 0;
  for (int i = 0; i < 5; ++i) {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    LONG result = RegQueryValueExA(key, kRegistryNames[i], nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size);
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) {
      RegCloseKey(key);
      return 0;
    }
    soundint::StoreOption(kStoredOptions[i], static_cast<std::int32_t>(value));
  }
  RegCloseKey(key);
  SoundSetLastError(errOK);
  return 1;
}

int SoundWriteConfigRegistry(HKEY rootKey, const char* subKey) {
  SoundSetLastError(errUndefined);
  HKEY key = nullptr;
  if (RegCreateKeyExA(rootKey, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return 0;
  }
  bool ok = true;
  for (int i = 0; i < 5 && ok; ++i) {
    auto value = static_cast<DWORD>(SoundGetOption(kStoredOptions[i]));
    ok = RegSetValueExA(key, kRegistryNames[i], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value) == ERROR_SUCCESS;
  }
  ok = RegCloseKey(key) == ERROR_SUCCESS && ok;
  if (!ok) return 0;
  SoundSetLastError(errOK);
  return 1;
}
