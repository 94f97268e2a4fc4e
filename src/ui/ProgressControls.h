#pragma once
// A transfer's display in three controls: a progress bar, a label for the
// sizes and one for the file (the window's ProgressBar1, lblSize, lblFile).
// They are refreshed after every block, so each refresh skips what would
// not change the screen: an unchanged bar position or label text costs no
// message.
#include <windows.h>

#include <string>

#include "net/Reporting.h"

class ProgressControls final : public TransferProgress {
public:
    ProgressControls(HWND bar, HWND sizeLabel, HWND fileLabel) : bar_(bar), size_(sizeLabel), file_(fileLabel) {}

    // Shows the bar and the size label with "Download wird vorbereitet...".
    void Prepare(uint64_t total) override;
    // "<received> von <total> / <percent> %" and the local path.
    void Show(uint64_t received, uint64_t total, const std::wstring& localPath) override;
    // Blank labels; the bar stays where it stands.
    void Reset() override;

private:
    static void SetText(HWND label, std::wstring& shown, const std::wstring& text);

    HWND bar_, size_, file_;
    int pos_ = -1;
    std::wstring separator_, totalText_;
    // What this transfer last put into each label.
    std::wstring sizeShown_, fileShown_;
};
