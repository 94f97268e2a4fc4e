#pragma once
// The install run's own account of what it did, line by line. The download
// log is written from it, with or without a window; a display (the
// window's message list, or a test's) only shows each line as it comes.
#include <string>
#include <vector>

#include "net/Reporting.h"

class RunRecord {
public:
    RunRecord() = default;
    RunRecord(const RunRecord&) = delete;
    RunRecord& operator=(const RunRecord&) = delete;

    // Where the lines are shown from now on; nullptr: nowhere.
    void ShowIn(RunReport* shown) noexcept { shown_ = shown; }
    void Add(const std::wstring& line) {
        lines_.push_back(line);
        if (shown_) shown_->AddLine(line);
    }
    void Clear() {
        lines_.clear();
        if (shown_) shown_->Clear();
    }
    const std::vector<std::wstring>& Lines() const noexcept { return lines_; }
    // A new run: no lines, no faults.
    void StartRun() {
        Clear();
        faults_ = 0;
    }
    // Faults of the run's steps (each with its line), kept across the
    // clearing that writing the log does.
    void CountFault() noexcept { ++faults_; }
    int Faults() const noexcept { return faults_; }

private:
    std::vector<std::wstring> lines_;
    int faults_ = 0;
    RunReport* shown_ = nullptr;
};
