// The fetch of a file that replaces an installed one: which way it goes
// (FTP active, FTP passive, HTTP), how often it is tried, and the checks
// the whole file must pass before it replaces anything. Each try is an
// attempt of FtpTransfer.cpp or HttpTransfer.cpp.
#include <windows.h>

#include "sys/Dateien.h"
#include "net/FetchAttempts.h"
#include "net/FilesInUse.h"
#include "net/SideFiles.h"
#include "net/Transfers.h"

namespace {

// On every way out, errors included: default cursor, blank labels.
class DisplayReset {
public:
    DisplayReset(TransferProgress& progress, Frontend& frontend) : progress_(progress), frontend_(frontend) {}
    ~DisplayReset() {
        frontend_.ShowBusy(false);
        progress_.Reset();
    }
    DisplayReset(const DisplayReset&) = delete;
    DisplayReset& operator=(const DisplayReset&) = delete;

private:
    TransferProgress& progress_;
    Frontend& frontend_;
};

// What the user hears of a file that failed on HTTP after FTP was left:
// what FTP's failure would have said.
std::wstring FtpLeftBox(const FtpRoute& route, const FtpServer& server, const std::wstring& file) {
    return route.unreachable ? HostUnavailableBox(server.host) : FileNotFoundBox(file);
}

struct Source {
    const FtpServer& server;
    const std::wstring& folder;
    const std::wstring& file;
    const std::wstring& httpUrl;
};

// Tries the file until it is whole or cannot come: true when target holds
// it all, identity.size bytes.
bool FetchAll(const Source& source, FetchTarget& target, RemoteIdentity& identity, FtpRoute& route,
              const TransferLimits& limits, FetchFault& fault) {
    unsigned retries = 0;
    for (;;) {
        const Attempt a =
            route.way == FtpRoute::Way::Http
                ? HttpAttempt(source.httpUrl, target, identity, limits.stallMs)
                : FtpAttempt(source.server, source.folder, source.file,
                             route.way == FtpRoute::Way::Active ? FtpMode::Active : FtpMode::Passive, target,
                             identity, limits.stallMs);
        switch (a.end) {
        case AttemptEnd::Done:
            return true;
        case AttemptEnd::DataFailed:
            // The failed active try is nobody's concern: passive mode comes
            // at once, without a word.
            if (route.way == FtpRoute::Way::Active) {
                route.way = FtpRoute::Way::Passive;
                continue;
            }
            [[fallthrough]];
        case AttemptEnd::Unreachable:
            if (route.way != FtpRoute::Way::Http && !source.httpUrl.empty()) {
                route.way = FtpRoute::Way::Http;
                route.unreachable = a.end == AttemptEnd::Unreachable;
                continue;
            }
            break;
        case AttemptEnd::Broken:
            if (retries < sizeof limits.retryPausesMs / sizeof limits.retryPausesMs[0]) {
                PauseLive(limits.retryPausesMs[retries++], target.frontend);
                continue;
            }
            break;
        case AttemptEnd::Failed:
            break;
        }
        std::wstring box = a.box;
        if (route.way == FtpRoute::Way::Http && !source.httpUrl.empty())
            box = FtpLeftBox(route, source.server, source.file);
        fault = FetchFault{box, MB_OK};
        return false;
    }
}

}  // namespace

bool FtpDownload(const FtpServer& server, const std::wstring& remoteFolder, const std::wstring& remoteFile,
                 const std::wstring& localPath, TransferProgress& progress, Frontend& frontend, FetchFault& fault,
                 const TransferLimits& limits, DigestCheck* check, FtpRoute* route, const std::wstring& httpUrl,
                 HeldTarget* held) {
    FtpRoute own;
    FtpRoute& way = route ? *route : own;
    if (way.way == FtpRoute::Way::Http && httpUrl.empty()) way = FtpRoute();
    const DisplayReset reset(progress, frontend);
    SideFile side(localPath);
    if (side.path().empty()) return false;
    FetchTarget target{side.handle(), localPath, progress, frontend};
    if (check && check->expectedSize >= 0) target.expected = static_cast<uint64_t>(check->expectedSize);
    target.pace = limits;
    RemoteIdentity identity;
    const Source source{server, remoteFolder, remoteFile, httpUrl};
    const bool whole = FetchAll(source, target, identity, way, limits, fault);
    if (target.sizeMismatch && check) {
        check->sizeMismatch = true;
        fault = FetchFault();
    }
    // On the disk before it gets the name: a power cut after the rename
    // must not leave a program file that never was written. Next to the
    // transfer a flush costs nothing worth counting. One that fails leaves
    // it to the close to say whether the data is lost.
    if (whole) FlushFileBuffers(side.handle());
    if (!side.Close()) RaiseIoError(GetLastError());
    if (!whole || target.written != identity.size) return false;
    if (!PassesDigestCheck(side.path(), check)) return false;
    if (!held) return side.MoveOver(localPath);
    const HeldReplace replaced = ReplaceWhileHeld([&side, &localPath] { return side.MoveOver(localPath); }, localPath,
                                                  [&] { return AskToRetryHeld(localPath, held->name, frontend); });
    held->leftInUse = replaced == HeldReplace::LeftInUse;
    return replaced == HeldReplace::Replaced;
}
