#pragma once
// The wizard's own controls: silver panels that hand their controls'
// messages on to the main window, labels that size themselves to their
// text, the banner and the picture button.
#include <windows.h>

#include <string>

inline constexpr COLORREF kSilver = RGB(192, 192, 192);
inline constexpr const wchar_t* kPanelClass = L"TPanel";
inline constexpr const wchar_t* kLabelClass = L"TLabel";

// The panel and label classes, on the given background.
bool RegisterControlClasses(HINSTANCE instance, HBRUSH background);
// A panel drawn with a raised bevel.
void SetPanelRaised(HWND panel);
// A label that keeps its width and breaks its text into lines.
void SetLabelWraps(HWND label);

// The banner JPEG kept in the resources as a bitmap, or null.
HBITMAP LoadBanner(HINSTANCE instance);
// The banner shows the hand of a link, and the hourglass while busy.
void UseLinkCursor(HWND banner);

struct ButtonPictures {
    HGDIOBJ normal, hot, disabled;
};
// An owner-drawn button that shows its hot picture while the mouse is over it.
void MakePictureButton(HWND button);
// The owner's WM_DRAWITEM for it: the caption in the given font, the 32x32
// picture beside it.
void DrawPictureButton(const DRAWITEMSTRUCT& di, const ButtonPictures& pictures, HGDIOBJ font);

std::wstring ControlText(HWND h);
