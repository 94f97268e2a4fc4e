#include "run/Unattended.h"

#include <exception>
#include <string>
#include <vector>

#include "net/Transfers.h"
#include "run/CustomerData.h"
#include "run/InstallRun.h"
#include "run/ListFetch.h"
#include "run/OfferedEntries.h"
#include "run/SessionSetup.h"
#include "sys/Handles.h"
#include "sys/Reg.h"
#include "sys/Trust.h"
#include "sys/WinSystem.h"
#include "zip/ZipExtractor.h"

namespace {

// Nobody to ask and nothing to show: every question gets the answer that
// changes nothing (Abbrechen for a held file, Nein for opening a file),
// and nothing is opened.
class QuietFrontend final : public Frontend {
public:
    int Message(const std::wstring&, const std::wstring&, UINT flags) override {
        switch (flags & MB_TYPEMASK) {
        case MB_RETRYCANCEL:
        case MB_OKCANCEL:
            return IDCANCEL;
        case MB_YESNO:
        case MB_YESNOCANCEL:
            return IDNO;
        default:
            return IDOK;
        }
    }
    void Open(const std::wstring&, const wchar_t*, int) override {}
    void ShowBusy(bool) override {}
    void Breathe() override {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    void KeepAlive() override {}
};

bool FindSession(Session* session) {
    const std::wstring versionName = GetWindowsVersionName();
    if (!AcceptedWindows(versionName)) return false;
    if (!LocateAppData(*session, DefaultAppDataRoot(versionName), nullptr)) return false;
    // The work folder comes made.
    DeriveFolders(*session);
    session->updateBaseUrl = MakeUpdateBaseUrl(session->registryRoot);
    return true;
}

// The entries the list offers on this machine, in its order.
bool ReadOffered(const std::wstring& listFile, HKEY root, std::vector<OfferedEntry>* entries) {
    const FileHandle file(HoldList(listFile));
    if (!file) return false;
    ReadOfferedEntries(file.get(), root, [entries](const OfferedEntry& e) {
        entries->push_back(e);
        return true;
    });
    return true;
}

// Nobody sees the box of a list that could not be used: the day's log
// says why the run ended with nothing done, in the box's words where it
// has some, else the line of a file that did not come.
RunResult ListUnused(const Session& session, const std::wstring& why) {
    SaveRunLog({why.empty() ? std::wstring(L"UPDATE19.TXT konnte nicht geladen werden") : why}, session.workFolder);
    return RunResult::ListFailed;
}

RunResult Install(const Session& session, const VerifiedList& verified, std::vector<OfferedEntry> entries,
                  QuietFrontend& frontend) {
    RunRecord record;
    OfferedSelection selection(std::move(entries));
    NoProgressDisplay progress;
    TZipExtractor zip;
    try {
        switch (InstallUpdates({record, selection, progress, frontend, zip, &verified}, session)) {
        case InstallEnd::Done:
            return RunResult::Installed;
        case InstallEnd::WithFaults:
            return RunResult::NotAllInstalled;
        case InstallEnd::ListChanged:
            return ListUnused(session, kChangedListText);
        }
    } catch (const std::exception&) {
        // The log says why the run ended there.
    }
    return RunResult::NotAllInstalled;
}

}  // namespace

RunResult RunUnattended(HKEY* root) {
    Session session;
    session.registryRoot = DetermineRegistryRoot();
    *root = session.registryRoot;
    try {
        if (!FindSession(&session)) return RunResult::StartupRefused;
    } catch (const std::exception&) {
        return RunResult::StartupRefused;
    }
    if (!StoredCustomerDataComplete(session.registryRoot)) return RunResult::CustomerIncomplete;
    QuietFrontend frontend;
    const std::wstring listFile = session.workFolder + L"update.cfg";
    const ListTrust trust{EmbeddedListKeys(), session.registryRoot};
    FetchedList fetched = FetchUpdateList(session.updateBaseUrl + L"update19.txt", listFile, trust, frontend,
                                          session.limits);
    if (fetched.result != ListFetchResult::Fetched) return ListUnused(session, fetched.refusal);
    session.listSigned = !trust.keys.empty();
    std::vector<OfferedEntry> entries;
    try {
        if (!ReadOffered(listFile, session.registryRoot, &entries)) return ListUnused(session, std::wstring());
    } catch (const std::exception&) {
        return ListUnused(session, std::wstring());
    }
    if (entries.empty()) return RunResult::Installed;
    return Install(session, fetched.verified, std::move(entries), frontend);
}
