// Internal: a message box drawn by the dialog stand-in's own window, for displays
// where the system's message box cannot be shown.
#pragma once

// Shows the text line by line above an OK button and waits until the user closes
// it. False when no dialog window can be shown.
bool Win32ShowOwnMessageBox(const char* text, const char* caption);
