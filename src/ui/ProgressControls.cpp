#include "ui/ProgressControls.h"

#include <commctrl.h>

#include <climits>

#include "net/Transfers.h"

namespace {

constexpr const wchar_t* kBlanks = L"   ";
// A fresh label may show anything, so a transfer's first refresh always
// writes: no text compares equal to this marker.
constexpr const wchar_t* kNeverSet = L"\1";

int64_t AsSigned(uint64_t n) { return n > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(n); }

}  // namespace

void ProgressControls::Prepare(uint64_t total) {
    sizeShown_ = fileShown_ = kNeverSet;
    separator_ = UserDecimalSeparator();
    totalText_ = L" von " + SizeTextWith(AsSigned(total), separator_) + L" / ";
    SendMessageW(bar_, PBM_SETRANGE32, 0, 100);
    pos_ = static_cast<int>(SendMessageW(bar_, PBM_GETPOS, 0, 0));
    ShowWindow(bar_, SW_SHOW);
    SetText(size_, sizeShown_, L"Download wird vorbereitet...");
    ShowWindow(size_, SW_SHOW);
}

void ProgressControls::Show(uint64_t received, uint64_t total, const std::wstring& localPath) {
    const int pos = ProgressPercent(received, total);
    if (pos != pos_) {
        SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
        pos_ = pos;
    }
    SetText(size_, sizeShown_,
            SizeTextWith(AsSigned(received), separator_) + totalText_ + std::to_wstring(pos) + L" %");
    SetText(file_, fileShown_, localPath);
}

void ProgressControls::Reset() {
    SetWindowTextW(file_, kBlanks);
    SetWindowTextW(size_, kBlanks);
}

void ProgressControls::SetText(HWND label, std::wstring& shown, const std::wstring& text) {
    if (text == shown) return;
    SetWindowTextW(label, text.c_str());
    shown = text;
}
