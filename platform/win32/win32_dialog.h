// Win32 stand-in: modal dialog boxes built from in-memory templates, their
// controls (buttons, check boxes, radio buttons, edits, combo boxes, group boxes,
// labels) and messages. A dialog runs its own modal loop on the calling thread:
// either an SDL window that draws the controls and takes mouse and keyboard, or a
// script that acts as the user (tests). Without either, DialogBox fails with -1,
// as it does on Windows when the dialog cannot be created.
#pragma once

#include <functional>

#include "platform/win32/win32_types.h"

// ---- Styles ----
#ifndef WS_POPUP
#define WS_POPUP 0x80000000L
#endif
#ifndef WS_CHILD
#define WS_CHILD 0x40000000L
#endif
#ifndef WS_VISIBLE
#define WS_VISIBLE 0x10000000L
#endif
#ifndef WS_DISABLED
#define WS_DISABLED 0x08000000L
#endif
#ifndef WS_CAPTION
#define WS_CAPTION 0x00C00000L
#endif
#ifndef WS_BORDER
#define WS_BORDER 0x00800000L
#endif
#ifndef WS_VSCROLL
#define WS_VSCROLL 0x00200000L
#endif
#ifndef WS_SYSMENU
#define WS_SYSMENU 0x00080000L
#endif
#ifndef WS_GROUP
#define WS_GROUP 0x00020000L
#endif
#ifndef WS_TABSTOP
#define WS_TABSTOP 0x00010000L
#endif

#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define DS_CENTER 0x0800L

#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_CHECKBOX 0x00000002L
#define BS_AUTOCHECKBOX 0x00000003L
#define BS_RADIOBUTTON 0x00000004L
#define BS_GROUPBOX 0x00000007L
#define BS_AUTORADIOBUTTON 0x00000009L
#define BS_TYPEMASK 0x0000000FL

#define SS_LEFT 0x00000000L
#define SS_CENTER 0x00000001L
#define SS_RIGHT 0x00000002L

#define ES_LEFT 0x0000L
#define ES_AUTOHSCROLL 0x0080L
#define ES_NUMBER 0x2000L

#define CBS_SIMPLE 0x0001L
#define CBS_DROPDOWN 0x0002L
#define CBS_DROPDOWNLIST 0x0003L
#define CBS_AUTOHSCROLL 0x0040L

// ---- Messages and notifications ----
#ifndef WM_SETTEXT
#define WM_SETTEXT 0x000C
#endif
#ifndef WM_GETTEXT
#define WM_GETTEXT 0x000D
#endif
#ifndef WM_GETTEXTLENGTH
#define WM_GETTEXTLENGTH 0x000E
#endif
#ifndef WM_CLOSE
#define WM_CLOSE 0x0010
#endif
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#ifndef WM_USER
#define WM_USER 0x0400
#endif

#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BM_CLICK 0x00F5
#define BST_UNCHECKED 0x0000
#define BST_CHECKED 0x0001

#define EM_LIMITTEXT 0x00C5

#define CB_ERR (-1)
#define CB_LIMITTEXT 0x0141
#define CB_ADDSTRING 0x0143
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_GETLBTEXT 0x0148
#define CB_GETLBTEXTLEN 0x0149
#define CB_RESETCONTENT 0x014B
#define CB_SETCURSEL 0x014E
#define CB_FINDSTRINGEXACT 0x0158

#define BN_CLICKED 0
#define CBN_SELCHANGE 1
#define CBN_EDITCHANGE 5
#define EN_CHANGE 0x0300

#ifndef IDOK
#define IDOK 1
#endif
#ifndef IDCANCEL
#define IDCANCEL 2
#endif

inline constexpr WPARAM MAKEWPARAM(WORD low, WORD high) {
  return static_cast<WPARAM>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16));
}

// ---- Templates, laid out as on Windows: 2-byte packing, each item on a 4-byte
// boundary, strings in 16-bit characters ----
#pragma pack(push, 2)
struct DLGTEMPLATE {
  DWORD style;
  DWORD dwExtendedStyle;
  WORD cdit;
  SHORT x;
  SHORT y;
  SHORT cx;
  SHORT cy;
};
struct DLGITEMTEMPLATE {
  DWORD style;
  DWORD dwExtendedStyle;
  SHORT x;
  SHORT y;
  SHORT cx;
  SHORT cy;
  WORD id;
};
#pragma pack(pop)
static_assert(sizeof(DLGTEMPLATE) == 18 && sizeof(DLGITEMTEMPLATE) == 18);
using LPCDLGTEMPLATEA = const DLGTEMPLATE*;

// Predefined control classes, by atom.
#define DLG_CLASS_BUTTON 0x0080
#define DLG_CLASS_EDIT 0x0081
#define DLG_CLASS_STATIC 0x0082
#define DLG_CLASS_LISTBOX 0x0083
#define DLG_CLASS_COMBOBOX 0x0085

using DLGPROC = INT_PTR (*)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Dialog calls ----
// Runs the dialog modally and returns what EndDialog was given, or -1 when the
// dialog cannot be created (bad template, no display and no script, refused by
// the script). A dialog owned by another one disables its owner while it runs.
INT_PTR DialogBoxIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA dialogTemplate, HWND owner,
                                DLGPROC dialogProc, LPARAM initParam);
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND control);
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size);
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
BOOL CheckRadioButton(HWND dialog, int firstId, int lastId, int checkId);
BOOL IsWindowEnabled(HWND window);

// Dialog windows have a queue and a caption of their own: posting to a dialog and
// setting its caption go through these (PostMessageA and SetWindowTextA on
// Windows). Posting answers FALSE for a handle that is not a live dialog.
BOOL Win32DialogPostMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
BOOL Win32DialogSetText(HWND dialog, LPCSTR text);
int Win32DialogGetText(HWND dialog, LPSTR buffer, int size);
// True for a handle of a live dialog or dialog control.
bool Win32IsDialogWindow(HWND window);

// The window the user works with: the dialog on the screen while one runs, else
// the key window (the most recently created window that still exists), or null.
HWND GetForegroundWindow();

// ---- What the user does (the SDL window and scripts both go through these) ----
// A mouse click on a button, check box or radio button (as BM_CLICK). FALSE when
// there is no such control or it cannot be clicked.
BOOL Win32DialogClick(HWND dialog, int id);
// Typing: replaces the text of an edit or of a combo box's edit field. A digits-
// only edit drops the other characters; the length limit applies.
BOOL Win32DialogType(HWND dialog, int id, LPCSTR text);
// Picks an entry of a combo box's list.
BOOL Win32DialogChoose(HWND dialog, int id, int index);
// Enter presses the default push button (IDOK); Escape is IDCANCEL.
BOOL Win32DialogKey(HWND dialog, int virtualKey);

// ---- Scripted driver (tests) ----
struct Win32DialogScript {
  // Asked before a dialog is created, with its caption; false makes it fail (-1).
  std::function<bool(const char* caption)> allowCreate;
  // Called whenever the innermost dialog waits for the user; acts as the user.
  // Returning false means nothing more will be done: the dialog is then cancelled.
  std::function<bool(HWND dialog)> step;
};
// Installs a script for the dialogs that follow; an empty script removes it.
void Win32SetDialogScript(Win32DialogScript script);
// Test hook: posts to dialogs are refused while set.
void Win32SetDialogPostFailure(bool fail);

// The dialog being run modally on this thread right now (innermost), or null.
HWND Win32ActiveDialog();
