#pragma once
// The entries an update list offers on this machine: each section whose
// product is installed here (its registered folder exists), with its
// caption and whether it starts checked ("cek=0" unchecks). The window
// shows them as its check list; an unattended run installs the checked ones.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "net/Reporting.h"

struct OfferedEntry {
    std::wstring section;
    std::wstring caption;
    bool checked = true;
};

// Reads the list from file (open for reading) and hands each offered entry
// to take, which says whether it took it; returns the number taken. A read
// error raises UpdateError.
int ReadOfferedEntries(HANDLE file, HKEY root, const std::function<bool(const OfferedEntry&)>& take);

// The offered entries as a selection: the checked ones are installed.
class OfferedSelection final : public UpdateSelection {
public:
    explicit OfferedSelection(std::vector<OfferedEntry> entries) : entries_(std::move(entries)) {}
    int Count() const override { return static_cast<int>(entries_.size()); }
    bool IsChecked(int index) const override { return entries_.at(static_cast<size_t>(index)).checked; }
    std::wstring Section(int index) const override { return entries_.at(static_cast<size_t>(index)).section; }
    void Clear() override { entries_.clear(); }

private:
    std::vector<OfferedEntry> entries_;
};
