#pragma once
// The shell of the application: the one owner window of every box, the
// message pump that long work on the window's thread calls, the boxes, and
// the busy cursor. Process-wide by nature (one window, one cursor); the
// window registers itself while it lives.
#include <windows.h>

#include <string>

// The window that owns every box from now on; nullptr when there is none.
void SetApplicationWindow(HWND window);
// Owner window for message boxes (the main window while it exists).
HWND ApplicationWindow();
// Lets the window repaint and take input: dispatches all pending messages.
void ProcessMessages();
// For long work on the window's thread (an extraction): called often, it
// lets the window repaint and answer about every 10 ms.
void KeepWindowAlive();
// The general error display: error icon, the title as caption, the message
// with a full stop added when its last character codes above '.'.
void ShowGeneralError(const std::wstring& message);
// The screen cursor: the hourglass while busy, else the default arrow.
void SetBusyCursor(bool busy);
// True from SetBusyCursor(true) to SetBusyCursor(false): the window and the
// banner keep the hourglass while the mouse moves over them.
bool BusyCursorShown();
// Message box owned by the application window.
int ShowMessage(const std::wstring& text, const std::wstring& caption, UINT flags);
