#pragma once
// What the work layer (the transfers, the archive component, the install
// run) tells the user and needs from the user's side while it runs, so that
// it works with any display: the window implements these over its controls
// (WindowReporting.h), tests without a window. All calls come on the thread
// that runs the work.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The program's title: the window's title bar and the caption of every box,
// the work layer's included.
inline constexpr const wchar_t* kAppTitle = L"Talvero Liveupdate";

// Where the run's lines are shown as they come (the run keeps its own
// record of them: run/RunRecord.h).
class RunReport {
public:
    virtual ~RunReport() = default;
    virtual void AddLine(const std::wstring& text) = 0;
    virtual void Clear() = 0;
};

// The entries offered for installation, each checked or not by the user.
class UpdateSelection {
public:
    virtual ~UpdateSelection() = default;
    virtual int Count() const = 0;
    // Asked only when the run reaches the entry: the user may still change
    // later entries while earlier ones install.
    virtual bool IsChecked(int index) const = 0;
    // The update list's section the entry offers; empty when it has none.
    virtual std::wstring Section(int index) const = 0;
    virtual void Clear() = 0;
};

// The display of one transfer at a time.
class TransferProgress {
public:
    virtual ~TransferProgress() = default;
    // Once the size is known, before the first block.
    virtual void Prepare(uint64_t total) = 0;
    // After every block: called very often, so what has not changed should
    // cost nothing.
    virtual void Show(uint64_t received, uint64_t total, const std::wstring& localPath) = 0;
    // On every way out of a transfer, errors included, prepared or not.
    virtual void Reset() = 0;
};

// A transfer that nobody watches.
class NoProgressDisplay final : public TransferProgress {
public:
    void Prepare(uint64_t) override {}
    void Show(uint64_t, uint64_t, const std::wstring&) override {}
    void Reset() override {}
};

// The user's side: boxes, files opened for the user, the busy cursor, and
// the chance for the window to repaint and answer while the work runs on
// its thread.
class Frontend {
public:
    virtual ~Frontend() = default;
    // A message box (MB_ flags); the button pressed (IDOK, IDYES, ...).
    virtual int Message(const std::wstring& text, const std::wstring& caption, UINT flags) = 0;
    // Opens path with the program associated with it; verb nullptr means the
    // default action, show is an SW_ value.
    virtual void Open(const std::wstring& path, const wchar_t* verb, int show) = 0;
    virtual void ShowBusy(bool busy) = 0;
    // Handles every message waiting for the thread.
    virtual void Breathe() = 0;
    // For long work called very often (each block of an extraction): lets
    // the window answer now and then and otherwise costs next to nothing.
    virtual void KeepAlive() = 0;
};
