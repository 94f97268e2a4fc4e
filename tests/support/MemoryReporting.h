#pragma once
// The work layer's interfaces without a window: the lines shown and the
// selection held in memory, a progress display and a frontend that record what the work
// asked of them. Boxes are answered from a queue (IDOK when it is empty).
#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "net/Reporting.h"

namespace testsupport {

struct MemoryReport final : RunReport {
    void AddLine(const std::wstring& text) override { lines.push_back(text); }
    void Clear() override { lines.clear(); }
    std::vector<std::wstring> lines;
};

struct MemorySelection final : UpdateSelection {
    MemorySelection(std::vector<bool> checks, std::vector<std::wstring> offered)
        : checked(std::move(checks)), sections(std::move(offered)) {}
    int Count() const override { return static_cast<int>(checked.size()); }
    bool IsChecked(int index) const override {
        asked.push_back(index);
        return checked.at(static_cast<size_t>(index));
    }
    std::wstring Section(int index) const override { return sections.at(static_cast<size_t>(index)); }
    void Clear() override { checked.clear(); }
    std::vector<bool> checked;
    std::vector<std::wstring> sections;
    mutable std::vector<int> asked;  // in the order the work asked
};

struct CountingProgress final : TransferProgress {
    void Prepare(uint64_t) override { ++prepared; }
    void Show(uint64_t, uint64_t, const std::wstring&) override {}
    void Reset() override { ++resets; }
    int prepared = 0, resets = 0;
};

struct RecordingFrontend final : Frontend {
    int Message(const std::wstring& text, const std::wstring&, UINT) override {
        boxes.push_back(text);
        if (answers.empty()) return IDOK;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void Open(const std::wstring& path, const wchar_t*, int show) override { opened.emplace_back(path, show); }
    void ShowBusy(bool on) override { busy.push_back(on); }
    void Breathe() override {}
    void KeepAlive() override {}
    std::deque<int> answers;
    std::vector<std::wstring> boxes;
    std::vector<std::pair<std::wstring, int>> opened;
    std::vector<bool> busy;
};

}  // namespace testsupport
