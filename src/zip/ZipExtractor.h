#pragma once
// TZipExtractor: the window's archive component (Zip1).
#include <functional>
#include <string>

enum class ExtractOption : unsigned { KeepFolderNames = 1, CreateFolders = 2, OverwriteFiles = 4 };

class TZipExtractor {
public:
    // Folder the engine would be loaded from; kept for the install run's lookup.
    std::wstring EngineFolder;
    bool EngineLoad = false;
    std::wstring ExtractFolder;
    unsigned ExtractOptions = static_cast<unsigned>(ExtractOption::KeepFolderNames) |
                              static_cast<unsigned>(ExtractOption::CreateFolders);
    bool Silent = false;
    // Called before an existing file is replaced (path of that file, entry name).
    std::function<void(const std::wstring& existing, const std::wstring& entryName)> OnBeforeReplace;

    void SetArchiveName(const std::wstring& name);
    const std::wstring& ArchiveName() const { return archiveName_; }
    void AddOption(ExtractOption o) { ExtractOptions |= static_cast<unsigned>(o); }
    // Extracts every entry; returns the number of files written.
    int Extract();
    int ErrorCode() const { return errorCode_; }
    const std::wstring& ErrorText() const { return errorText_; }
    int ExtractedCount() const { return extractedCount_; }

private:
    std::wstring archiveName_;
    int errorCode_ = 0;
    std::wstring errorText_;
    int extractedCount_ = 0;
};
