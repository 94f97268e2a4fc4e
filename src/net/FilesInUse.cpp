#include "net/FilesInUse.h"

#include <algorithm>

#include "sys/LazyDlls.h"
#include "net/SideFiles.h"
#include "sys/Text.h"

bool HeldByAnotherProgram(const std::wstring& path, DWORD error) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return true;
    if (error != ERROR_ACCESS_DENIED) return false;
    // Opened the way a replace needs it, sharing everything: a holder that
    // did not allow deletion answers with a sharing violation. A file the
    // user may not delete, or a folder in its place, answers otherwise.
    HANDLE probe = CreateFileW(ApiPath(path).c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(probe);
    // A running program's own image, mapped with deletion allowed, still
    // cannot be replaced; only the Restart Manager knows it is held.
    return !ProgramsHolding(path).empty();
}

std::vector<std::wstring> ProgramsHolding(const std::wstring& path) {
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = L"";
    if (lazy::RmStartSession(&session, 0, key) != ERROR_SUCCESS) return {};
    std::vector<RM_PROCESS_INFO> found(4);
    LPCWSTR files[] = {path.c_str()};
    DWORD result = lazy::RmRegisterResources(session, 1, files, 0, nullptr, 0, nullptr);
    UINT count = 0;
    if (result == ERROR_SUCCESS) {
        // The holders may change between the two calls; one more try is
        // enough for a box.
        for (int attempt = 0; attempt < 2; ++attempt) {
            UINT needed = 0;
            count = static_cast<UINT>(found.size());
            DWORD reasons = 0;
            result = lazy::RmGetList(session, &needed, &count, found.data(), &reasons);
            if (result != ERROR_MORE_DATA) break;
            found.resize(needed + 1);
        }
    }
    lazy::RmEndSession(session);
    std::vector<std::wstring> names;
    if (result != ERROR_SUCCESS) return names;
    for (UINT i = 0; i < count && i < found.size(); ++i) {
        const RM_PROCESS_INFO& p = found[i];
        if (p.Process.dwProcessId == GetCurrentProcessId()) continue;
        std::wstring name(p.strAppName, wcsnlen(p.strAppName, CCH_RM_MAX_APP_NAME));
        if (name.empty()) continue;
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    return names;
}

std::wstring FileInUseQuestion(const std::wstring& name, const std::vector<std::wstring>& holders) {
    std::wstring text = L"Die Datei " + Upper(name) +
                        L" wird gerade von einem anderen Programm verwendet. Bitte schließen Sie das Programm und "
                        L"klicken Sie auf \"Wiederholen\".";
    if (holders.empty()) return text;
    text += L"\n\nVerwendet von: ";
    for (size_t i = 0; i < holders.size(); ++i) text += (i ? L", " : L"") + holders[i];
    return text;
}

std::wstring FileInUseLine(const std::wstring& name) {
    return Upper(name) + L" wird von einem anderen Programm verwendet und wurde nicht ersetzt";
}

bool AskToRetryHeld(const std::wstring& dest, const std::wstring& name, Frontend& frontend) {
    const std::wstring question = FileInUseQuestion(name, ProgramsHolding(dest));
    return frontend.Message(question, kAppTitle, MB_RETRYCANCEL | MB_ICONWARNING) == IDRETRY;
}

HeldReplace ReplaceWhileHeld(const std::function<bool()>& replace, const std::wstring& dest,
                             const std::function<bool()>& tryAgain) {
    for (;;) {
        if (replace()) return HeldReplace::Replaced;
        const DWORD error = GetLastError();
        if (!HeldByAnotherProgram(dest, error)) {
            SetLastError(error);
            return HeldReplace::Failed;
        }
        if (!tryAgain()) return HeldReplace::LeftInUse;
    }
}
