// Fault injection against the real update.exe (make reliability): installs
// with the FTP data connection cut at random byte offsets, hostile archives
// (one per refusal rule), hostile update lists, a locked and a read-only
// target file and a target folder that cannot be made; files in use, a run
// killed mid-extraction and a log-off; faults that pass (a
// transfer cut or silent once), no FTP at all and a server that cannot
// connect back. After every run each tracked file must be byte for byte its
// old version (with its backup where the run replaced it) or the new one,
// and the new one where the fault passed or another way was open, nothing may have changed outside the
// run's target folders, and the wizard must still answer. While it works, a
// probe asks its main window for an answer every 50 ms; a message left
// unanswered for 1 s counts the run as one whose window failed to answer.
//
//   wizard_reliability.exe <update.exe> <server state folder> <cut runs> <seed>
//
// Prints one line per run that went wrong, the summary line and one line
// of runs per fault class.
// RELIABILITY_ONLY=<text> runs only the cases whose name holds the text;
// RELIABILITY_TRACE=1 prints the time each step of each run took.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "../native/ZipBuilder.h"
#include "Driver.h"
#include "World.h"
#include "support/TestSupport.h"

using uidriver::Box;
using uidriver::Wizard;
using uidriver::World;

namespace {

unsigned httpPort = 0, ftpPort = 0;
std::wstring catalogue;

struct Totals {
    int runs = 0, faults = 0, files = 0, fresh = 0, lost = 0, outside = 0, unresponsive = 0, unanswering = 0,
        unseen = 0, missing = 0;
} totals;

// Runs per fault class, in the order the classes first ran.
struct FaultClass {
    std::string name;
    int runs = 0, unseen = 0;
};
std::vector<FaultClass> classes;

FaultClass& ClassNamed(const std::string& name) {
    for (FaultClass& f : classes)
        if (f.name == name) return f;
    classes.push_back({name});
    return classes.back();
}

void Report(const std::wstring& runName, const std::wstring& what) {
    printf("  %s: %s\n", uidriver::ToUtf8(runName).c_str(), uidriver::ToUtf8(what).c_str());
    fflush(stdout);
}

// Sends a window WM_NULL every 50 ms from a thread of its own and counts
// the messages it did not answer within 1 s, until stopped or the window
// is gone.
class AnswerProbe {
public:
    explicit AnswerProbe(HWND window) : window_(window), stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        thread_ = CreateThread(nullptr, 0, Loop, this, 0, nullptr);
    }
    ~AnswerProbe() {
        Stop();
        CloseHandle(stop_);
    }
    AnswerProbe(const AnswerProbe&) = delete;
    AnswerProbe& operator=(const AnswerProbe&) = delete;

    // The messages left unanswered.
    int Stop() {
        if (thread_) {
            SetEvent(stop_);
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
            thread_ = nullptr;
        }
        return missed_;
    }
    int Sent() const { return sent_; }

private:
    static DWORD WINAPI Loop(void* param) {
        auto* self = static_cast<AnswerProbe*>(param);
        do {
            DWORD_PTR result = 0;
            if (!IsWindow(self->window_)) break;
            ++self->sent_;
            if (!SendMessageTimeoutW(self->window_, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result) &&
                IsWindow(self->window_))
                ++self->missed_;
        } while (WaitForSingleObject(self->stop_, 50) == WAIT_TIMEOUT);
        return 0;
    }

    HWND window_;
    HANDLE stop_;
    HANDLE thread_ = nullptr;
    int missed_ = 0, sent_ = 0;
};

// A window of this program whose thread sleeps 1.5 s on WM_APP.
struct Sleeper {
    HWND window = nullptr;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    static DWORD WINAPI Main(void* param) {
        auto* self = static_cast<Sleeper*>(param);
        self->window = CreateWindowExW(0, L"STATIC", L"probe", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        SetEvent(self->ready);
        MSG m;
        while (GetMessageW(&m, nullptr, 0, 0) > 0) {
            if (m.message == WM_APP) Sleep(1500);
            DispatchMessageW(&m);
        }
        DestroyWindow(self->window);
        return 0;
    }
};

// The probe must count a window that sleeps and none that answers, or a
// clean result from it would mean nothing.
bool ProbeTellsSleepFromAnswer() {
    Sleeper sleeper;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, Sleeper::Main, &sleeper, 0, &id);
    if (!thread) return false;
    WaitForSingleObject(sleeper.ready, 10000);
    int calm = -1, asleep = 0;
    if (sleeper.window) {
        AnswerProbe awake(sleeper.window);
        Sleep(300);
        calm = awake.Stop();
        AnswerProbe dozing(sleeper.window);
        PostThreadMessageW(id, WM_APP, 0, 0);
        Sleep(2000);
        asleep = dozing.Stop();
    }
    PostThreadMessageW(id, WM_QUIT, 0, 0);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    CloseHandle(sleeper.ready);
    return calm == 0 && asleep > 0;
}

std::wstring ReadState(const std::wstring& folder, const wchar_t* name) {
    std::string bytes;
    uidriver::ReadBytes(folder + name, &bytes);
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.pop_back();
    return uidriver::FromUtf8(bytes);
}

bool Control(const std::wstring& query) {
    HINTERNET session = InternetOpenW(L"reliability", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (!session) return false;
    const std::wstring url = L"http://127.0.0.1:" + std::to_wstring(httpPort) + L"/_control?" + query;
    HINTERNET r = InternetOpenUrlW(session, url.c_str(), nullptr, 0,
                                   INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    DWORD status = 0, size = sizeof status;
    if (r) {
        HttpQueryInfoW(r, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
        InternetCloseHandle(r);
    }
    InternetCloseHandle(session);
    return status == 200;
}

std::string Random(std::mt19937& gen, size_t n) {
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(gen() & 0xFF);
    return s;
}

zipbuild::Item Entry(const std::string& name, const std::string& data, bool deflate = true) {
    zipbuild::Item it;
    it.name = name;
    it.data = data;
    it.deflate = deflate;
    return it;
}

// A file the run may touch: it must end as old (or absent when it had no
// old version) or new, and a replaced old version must be in the backup.
struct Tracked {
    std::wstring target;    // target folder of the file entry
    std::wstring relative;  // below it
    bool hadOld = false;
    std::string oldBytes, newBytes;
};

struct Case {
    std::wstring name;
    std::wstring list;                                       // update19.txt
    std::vector<std::pair<std::wstring, std::string>> files;  // lupd19\ name -> bytes
    std::vector<Tracked> tracked;
    std::vector<std::wstring> targets;  // folders the run may write below
    std::vector<std::wstring> forbidden;  // names that must not appear anywhere
    std::wstring control;               // server fault switches
    std::function<void()> before, after;  // around the install press
    int faults = 1;
    std::string kind;                   // fault class in the summary
    std::vector<std::wstring> roots;    // watched for outside writes besides the world's root
    // Set up after the old files are in place, before the snapshot; false
    // when the fault could not be set up.
    std::function<bool()> prepare;
    // Texts of which the run's download log or one of its message boxes
    // must hold one: the fault reached the program.
    std::vector<std::wstring> expect;
    // Not empty: the list fetch fails, the wizard shows this text (the
    // local list's path) in an error box and stays on its step.
    std::wstring listBox;
    // The fault passes or leaves another way open: every tracked file must
    // end as its new version.
    bool mustArrive = false;
    // A box about a file another program holds: onHeld runs first, then
    // the box is answered with heldAnswer.
    std::function<void()> onHeld;
    int heldAnswer = IDCANCEL;
    // Looked at while the run works; true once it ended the program itself
    // (a kill, a log-off). The run must not end before the fault came:
    // before during ended it, or before came says so.
    std::function<bool(Wizard&)> during;
    std::function<bool()> came;
};

bool StartsWithNoCase(const std::wstring& s, const std::wstring& prefix) {
    return s.size() >= prefix.size() && CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, s.c_str(),
                                                       static_cast<int>(prefix.size()), prefix.c_str(),
                                                       static_cast<int>(prefix.size())) == CSTR_EQUAL;
}

// Works one run of the wizard: customer page, confirmation, list,
// install (boxes answered), end. False when the program stopped answering.
// The probe ends before the window does; *unseen tells a failed list
// fetch that did not show as it should, *boxes gets the text of every box
// answered.
bool Drive(Wizard& w, const Case& c, AnswerProbe& probe, std::wstring* unseen, std::wstring* boxes) {
    auto answerAll = [&] {
        for (const Box& b : w.Boxes()) {
            *boxes += b.text + L"\n";
            if (b.Has(IDRETRY) && c.onHeld) c.onHeld();
            w.Answer(b, b.Has(IDRETRY) ? c.heldAnswer : b.Has(IDNO) ? IDNO : b.Has(IDOK) ? IDOK : IDYES);
        }
    };
    auto end = [&] {
        probe.Stop();
        answerAll();
        if (w.Caption() == L"Beenden") {
            w.PressUntil([&] { return !w.Running(); });
        } else {
            w.Close();
        }
        DWORD code = 1;
        return w.WaitExit(20000, &code);
    };
    if (!w.Press()) return false;
    if (!Wizard::WaitFor([&] { return w.Place(w.panAdr).x == 500; }, 15000)) return false;
    w.ClickCheck(0);
    if (!w.Press()) return false;
    if (!c.listBox.empty()) {
        // The first box must name the local list; afterwards the button
        // is back and the confirmation step still shows.
        bool boxed = false;
        std::wstring shown;
        if (!Wizard::WaitFor(
                [&] {
                    for (const Box& b : w.Boxes()) {
                        if (!boxed) shown = b.text;
                        boxed = true;
                        w.Answer(b, b.Has(IDOK) ? IDOK : IDYES);
                    }
                    // Without a box the list was read and the next step shows.
                    return w.Boxes().empty() && w.Enabled(w.cmdnex) && (boxed || w.Lines(w.lstAnw).size() == 1);
                },
                120000))  // a stalled fetch gives up after three tries of 30 s
            return false;
        if (!boxed)
            *unseen = L"no error box, the list was read";
        else if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, shown.c_str(), -1, c.listBox.c_str(), -1) !=
            CSTR_EQUAL)
            *unseen = L"error box \"" + shown + L"\" instead of the list's path";
        else if (w.Caption() != L"Weiter" || w.Count(w.lstUpd) != 1 || w.Lines(w.lstAnw).size() != 6)
            *unseen = L"the wizard left the confirmation step";
        return w.Responsive() && end();
    }
    if (!Wizard::WaitFor(
            [&] {
                answerAll();
                return w.Enabled(w.cmdnex) && w.Lines(w.lstAnw).size() == 1;
            },
            30000))
        return false;
    if (w.Caption() == L"Weiter" && w.Count(w.lstUpd) > 0) {
        if (c.before) c.before();
        if (!w.PressInstall()) return false;
        bool endedByFault = false;
        const bool ended = Wizard::WaitFor(
            [&] {
                if (c.during && c.during(w)) return endedByFault = true;
                answerAll();
                if (!w.Boxes().empty() || !w.Enabled(w.cmdnex)) return false;
                // An error that ends the run leaves "Weiter", after the log.
                const auto lines = w.Lines(w.lstAnw);
                return w.Caption() == L"Beenden" || (!lines.empty() && lines.back() == L" gespeichert");
            },
            120000);
        if (c.after) c.after();
        if (endedByFault) {
            probe.Stop();
            return w.WaitExit(20000);
        }
        if (c.during && !(c.came && c.came())) *unseen = L"the run ended before the fault came";
        // An error that ends the run early leaves "Weiter"; the program
        // must still answer and close.
        if (!ended && !w.Responsive()) return false;
    }
    if (!w.Responsive()) return false;
    return end();
}

bool IsFile(const std::wstring& path) {
    const DWORD attr = GetFileAttributesW(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

using Files = std::map<std::wstring, std::string>;

void Check(World& world, const Case& c, const std::vector<std::wstring>& roots, const std::vector<Files>& before) {
    for (const Tracked& t : c.tracked) {
        ++totals.files;
        std::string now;
        const bool present = uidriver::ReadBytes(t.target + t.relative, &now);
        const bool isNew = present && now == t.newBytes;
        const bool isOld = t.hadOld ? (present && now == t.oldBytes) : !present;
        if (isNew && !isOld) ++totals.fresh;
        if (c.mustArrive && !isNew) {
            ++totals.missing;
            Report(c.name, L"did not arrive although the fault passed: " + t.target + t.relative);
        }
        if (!isNew && !isOld) {
            ++totals.lost;
            Report(c.name, L"lost or corrupted: " + t.target + t.relative);
            continue;
        }
        if (isNew && t.hadOld && t.oldBytes != t.newBytes) {
            // One backup folder holds the old version; a run may find
            // others in the way that hold none.
            int copies = 0;
            std::string saved;
            for (const std::wstring& b : uidriver::FoldersStartingWith(t.target, L"_History "))
                if (IsFile(b + t.relative) && uidriver::ReadBytes(b + t.relative, &saved)) ++copies;
            if (copies != 1 || saved != t.oldBytes) {
                ++totals.lost;
                Report(c.name, L"replaced without its backup: " + t.target + t.relative);
            }
        }
    }
    // Everything else below the computer's root (and the case's further
    // roots) stays as it was.
    std::vector<std::wstring> allowed = c.targets;
    allowed.push_back(world.WorkFolder());
    allowed.push_back(world.OpenedCopy());
    auto isAllowed = [&](const std::wstring& path) {
        for (const std::wstring& a : allowed)
            if (StartsWithNoCase(path, a)) return true;
        return false;
    };
    for (size_t r = 0; r < roots.size(); ++r) {
        const Files after = uidriver::Snapshot(roots[r]);
        for (const auto& [rel, bytes] : after) {
            const auto old = before[r].find(rel);
            if ((old == before[r].end() || old->second != bytes) && !isAllowed(roots[r] + rel)) {
                ++totals.outside;
                Report(c.name, L"written outside the target: " + roots[r] + rel);
            }
        }
        for (const auto& [rel, bytes] : before[r])
            if (!after.count(rel) && !isAllowed(roots[r] + rel)) {
                ++totals.outside;
                Report(c.name, L"removed outside the target: " + roots[r] + rel);
            }
    }
    for (const std::wstring& name : c.forbidden)
        for (const std::wstring& where : {std::wstring(L"C:\\"), std::wstring(L"C:\\utest\\"), world.Root(),
                                          std::wstring(L"C:\\windows\\")})
            if (uidriver::Exists(where + name)) {
                ++totals.outside;
                Report(c.name, L"written outside the target: " + where + name);
                DeleteFileW((where + name).c_str());
            }
}

// Empty when the run's download log or one of its boxes holds one of the
// texts that show the case's fault, else what is missing.
std::wstring MissingFault(const World& world, const Case& c, const std::wstring& boxes) {
    std::string bytes;
    uidriver::ReadBytes(world.LogPath(), &bytes);
    const std::wstring account = uidriver::FromAnsi(bytes) + boxes;
    std::wstring wanted;
    for (const std::wstring& e : c.expect) {
        if (account.find(e) != std::wstring::npos) return std::wstring();
        wanted += (wanted.empty() ? L"\"" : L" or \"") + e + L"\"";
    }
    return wanted.empty() ? wanted : L"no " + wanted + L" in the download log or a message box";
}

// update.exe /unattended under the case's fault, watched from outside: it
// must end within its time with 0 when every tracked file arrived, else
// with 1 (a file not installed) or 2 (the list did not come). False when
// it hung; *problem says what else went wrong.
bool RunUnattended(const std::wstring& exe, const Case& c, World& world, std::wstring* problem) {
    const DWORD code = testsupport::RunToEnd(L"\"" + exe + L"\" /unattended", 300000);
    if (code == testsupport::kNotRun) return false;
    bool allNew = true;
    for (const Tracked& t : c.tracked) {
        std::string bytes;
        if (!uidriver::ReadBytes(t.target + t.relative, &bytes) || bytes != t.newBytes) allNew = false;
    }
    const bool listFailed = !c.listBox.empty();
    const bool fits = listFailed ? code == 2 : allNew ? code == 0 : code == 1 || code == 2;
    if (!fits) *problem = L"exit code " + std::to_wstring(code) + (allNew ? L" with every file new" : L"");
    if (uidriver::Exists(world.OpenedCopy())) *problem += L" the log was opened";
    return true;
}

void RunCase(const std::wstring& exe, const std::function<Case(World&)>& make, bool unattended = false) {
    const DWORD a0 = GetTickCount();
    World world(httpPort, ftpPort, catalogue);
    world.InstallProducts();
    world.PointAtServer();
    world.SetCustomer({L"Muster AG", L"Zürich", L"Hans", L"PC-07", L"044", L"hm@muster.ch"});
    world.HarmlessTextViewer();
    Case c = make(world);
    if (unattended) {
        c.name = L"unattended " + c.name;
        c.kind = "unattended " + c.kind;
    }
    if (const char* only = getenv("RELIABILITY_ONLY"))
        if (uidriver::ToUtf8(c.name).find(only) == std::string::npos) return;
    for (const Tracked& t : c.tracked) {
        if (!t.hadOld) continue;
        const std::wstring path = t.target + t.relative;
        uidriver::MakeFolders(path.substr(0, path.find_last_of(L'\\')));
        uidriver::WriteBytes(path, t.oldBytes);
    }
    for (const auto& [name, bytes] : c.files) world.Publish(L"lupd19\\" + name, bytes);
    world.PublishList(c.list);
    std::wstring unseen = !c.prepare || c.prepare() ? L"" : L"the fault could not be set up";
    const DWORD a1 = GetTickCount();
    Control(L"reset=1" + c.control);
    const DWORD a2 = GetTickCount();
    std::vector<std::wstring> roots = {world.Root()};
    roots.insert(roots.end(), c.roots.begin(), c.roots.end());
    std::vector<Files> before;
    for (const std::wstring& r : roots) before.push_back(uidriver::Snapshot(r));
    if (getenv("RELIABILITY_TRACE")) printf("  setup %lu ms, control %lu ms, snapshot %lu ms\n", a1 - a0, a2 - a1, GetTickCount() - a2);
    ++totals.runs;
    totals.faults += c.faults;
    FaultClass& kind = ClassNamed(c.kind);
    ++kind.runs;
    bool answered = false;
    std::wstring boxes;
    if (unattended) {
        std::wstring problem;
        answered = RunUnattended(exe, c, world, &problem);
        if (!answered) {
            ++totals.unresponsive;
            Report(c.name, L"the unattended run did not end");
        } else if (!problem.empty()) {
            ++totals.unseen;
            ++kind.unseen;
            Report(c.name, problem);
        }
    } else {
        Wizard w;
        const DWORD t0 = GetTickCount();
        answered = w.Start(exe) && w.FindControls();
        AnswerProbe probe(w.Main());
        const DWORD t1 = GetTickCount();
        answered = answered && Drive(w, c, probe, &unseen, &boxes);
        if (const int missed = probe.Stop()) {
            ++totals.unanswering;
            Report(c.name, L"the window left " + std::to_wstring(missed) + L" messages unanswered for 1 s");
        }
        if (getenv("RELIABILITY_TRACE"))
            printf("  %s: start %lu ms, run %lu ms, %d probes\n", uidriver::ToUtf8(c.name).c_str(), t1 - t0,
                   GetTickCount() - t1, probe.Sent());
        if (!answered) {
            ++totals.unresponsive;
            Report(c.name, L"the wizard stopped answering or did not end");
        }
    }
    const DWORD b0 = GetTickCount();
    Control(L"reset=1");
    const DWORD b1 = GetTickCount();
    Check(world, c, roots, before);
    if (!unattended && answered && unseen.empty() && c.listBox.empty()) unseen = MissingFault(world, c, boxes);
    if (!unseen.empty()) {
        ++totals.unseen;
        ++kind.unseen;
        Report(c.name, L"the fault did not show: " + unseen);
    }
    if (getenv("RELIABILITY_TRACE")) printf("  control %lu ms, check %lu ms\n", b1 - b0, GetTickCount() - b1);
}

// ---- the cases --------------------------------------------------------------

// One section with a big file, an archive (unless left out) and a small
// new file, all fetched over FTP.
Case TransferCase(World& w, std::mt19937& gen, int n, bool archive = true) {
    Case c;
    const std::string big = Random(gen, 20000 + gen() % 100000);
    const std::string small = "klein " + std::to_string(n);
    const std::wstring dat = w.WorkFolder() + L"Dat\\";
    c.targets = {w.Mirado19(), dat};
    c.tracked = {{w.Mirado19(), L"big.bin", true, Random(gen, 5000), big}, {dat, L"klein.txt", false, "", small}};
    c.files = {{L"big.bin", big}, {L"klein.txt", small}};
    c.list = L"[1]\nPrg=MIRADO19\nText=Mirado\ncek=1\n"
             L"File001=big.bin\nName001=big.bin\nPath001=\n"
             L"File002=klein.txt\nName002=klein.txt\nPath002=DAT\n";
    if (!archive) return c;
    const std::string s1 = Random(gen, 3000 + gen() % 20000), s2 = Random(gen, 5000 + gen() % 20000);
    const std::string s3 = "Symbol " + std::to_string(n);
    const std::string zip = zipbuild::Build({Entry("Elektro/S01.sym", s1), Entry("Elektro/Neu/S02.sym", s2, false),
                                             Entry("liesmich.txt", s3)})
                                .bytes;
    c.files.push_back({L"sym.zip", zip});
    c.list += L"File003=sym.zip\nName003=sym.zip\nPath003=SYMBOLE\n";
    const std::wstring sym = w.Mirado19Iec() + L"Symbole\\";
    c.targets.push_back(sym);
    c.tracked.insert(c.tracked.end(), {{sym, L"sym.zip", false, "", zip},
                                       {sym, L"Elektro\\S01.sym", true, "S01 alt", s1},
                                       {sym, L"Elektro\\Neu\\S02.sym", false, "", s2},
                                       {sym, L"liesmich.txt", true, "liesmich alt", s3}});
    return c;
}

// The FTP data connection breaks after cut bytes.
Case CutCase(World& w, std::mt19937& gen, int n) {
    Case c = TransferCase(w, gen, n);
    c.name = L"cut " + std::to_wstring(n);
    c.kind = "cut ftp";
    const unsigned cut = 1 + gen() % (static_cast<unsigned>(c.files[0].second.size()) + 2000);
    c.control = L"&ftp_cut=" + std::to_wstring(cut) + (gen() % 2 ? L"&ftp_cut_rst=1" : L"");
    return c;
}

// Faults that pass: the first transfer of each file the fault reaches breaks
// off (cut, or reset) or falls silent, the next try gets through; sometimes
// the server cannot resume (no REST). Every file must arrive. A stall waits
// the program's 30 s once per file it hits, so those runs leave the archive
// out.
Case TransientFtpCase(World& w, std::mt19937& gen, int n, bool stall) {
    Case c = TransferCase(w, gen, n, !stall);
    c.name = std::wstring(stall ? L"transient stall ftp " : L"transient cut ftp ") + std::to_wstring(n);
    c.kind = stall ? "transient stall ftp" : "transient cut ftp";
    const unsigned at = 64 + gen() % (static_cast<unsigned>(c.files[0].second.size()) - 64);
    c.control = L"&fault_once=1&" + std::wstring(stall ? L"ftp_stall=" : L"ftp_cut=") + std::to_wstring(at);
    if (!stall && gen() % 2) c.control += L"&ftp_cut_rst=1";
    if (gen() % 3 == 0) c.control += L"&ftp_rest=0";
    c.mustArrive = true;
    return c;
}

// FTP cannot be reached at all (nothing listens, or a server that never
// greets), or the server cannot open its connection back to the workstation
// (PORT refused, 425, nothing comes): every file comes another way.
Case OtherWayCase(World& w, std::mt19937& gen, int n, const std::string& kind, const std::wstring& fault) {
    Case c = TransferCase(w, gen, n);
    c.name = uidriver::FromUtf8(kind) + L" " + std::to_wstring(n) + L" (" + fault + L")";
    c.kind = kind;
    c.control = L"&" + fault;
    c.mustArrive = true;
    return c;
}

// The big file's data connection falls silent inside it and stays open;
// the small file after it is shorter than the stall and arrives whole.
Case StalledFtpCase(World& w, std::mt19937& gen, int n) {
    Case c = TransferCase(w, gen, n, false);
    c.name = L"stalled ftp " + std::to_wstring(n);
    c.kind = "stalled ftp";
    const unsigned stall = 64 + gen() % (static_cast<unsigned>(c.files[0].second.size()) - 64);
    c.control = L"&ftp_stall=" + std::to_wstring(stall);
    c.expect = {L"BIG.BIN konnte nicht geladen werden"};
    return c;
}

// The FTP listing understates every file by delta bytes; the data
// connection sends the real file.
Case OverlongFtpCase(World& w, std::mt19937& gen, int n) {
    Case c = TransferCase(w, gen, n);
    c.name = L"overlong ftp " + std::to_wstring(n);
    c.kind = "overlong ftp";
    const unsigned delta = 1 + (gen() % 2 ? gen() % 16 : gen() % 8000);
    c.control = L"&ftp_size_delta=-" + std::to_wstring(delta);
    c.expect = {L"BIG.BIN konnte nicht geladen werden"};
    return c;
}

// A file the list says to keep (Repl=0) whose installed version exists:
// the new one comes over HTTP and is parked in the updates folder, whole
// or not at all, and the installed one stays. A file replaced over FTP
// follows it. fault: the HTTP switch (http_cut or http_stall) and its
// byte count, chosen below the file's size.
Case KeepPathCase(World& w, std::mt19937& gen, int n, const std::string& kind, const std::wstring& fault) {
    Case c;
    c.name = uidriver::FromUtf8(kind) + L" " + std::to_wstring(n);
    c.kind = kind;
    const std::string keep = Random(gen, 2000 + gen() % 60000);
    const std::string ok = "ok neu " + std::to_string(n);
    c.files = {{L"keep.dat", keep}, {L"ok.txt", ok}};
    c.list = L"[1]\nPrg=MIRADO19\nText=Mirado\ncek=1\n"
             L"File001=keep.dat\nName001=keep.dat\nRepl001=0\n"
             L"File002=ok.txt\nName002=ok.txt\n";
    c.targets = {w.Mirado19()};
    const std::string installed = Random(gen, 3000);
    c.tracked = {{w.Mirado19(), L"keep.dat", true, installed, installed},
                 {w.UpdatesFolder(), L"keep.dat", false, "", keep},
                 {w.Mirado19(), L"ok.txt", true, "ok alt", ok}};
    const unsigned at = 1 + gen() % (static_cast<unsigned>(keep.size()) - 1);
    c.control = L"&" + fault + L"=" + std::to_wstring(at) + L"&http_match=lupd19/keep.dat";
    c.expect = {L"KEEP.DAT konnte nicht geladen werden"};
    return c;
}

// The update list's own HTTP body ends early (cut or stalled); a note
// after the entry makes most ends fall where the part received would
// still read as a list. Nothing may change.
Case ListFetchCase(World& w, std::mt19937& gen, int n, const std::string& kind, const std::wstring& fault) {
    Case c;
    c.name = uidriver::FromUtf8(kind) + L" " + std::to_wstring(n);
    c.kind = kind;
    c.list = L"[1]\nPrg=MIRADO19\nText=Mirado\ncek=1\nFile001=ok.txt\nName001=ok.txt\nNote=" +
             std::wstring(500 + gen() % 3000, L'x') + L"\n";
    c.files = {{L"ok.txt", "ok neu"}};
    c.targets = {w.Mirado19()};
    c.tracked = {{w.Mirado19(), L"ok.txt", true, "ok alt", "ok alt"}};
    c.listBox = w.WorkFolder() + L"update.cfg";
    // On the server every line ends in CR LF.
    const size_t bytes = c.list.size() + static_cast<size_t>(std::count(c.list.begin(), c.list.end(), L'\n'));
    const unsigned at = 1 + gen() % static_cast<unsigned>(bytes - 1);
    c.control = L"&" + fault + L"=" + std::to_wstring(at) + L"&http_match=update19.txt";
    return c;
}

// An archive with good entries around one that breaks a refusal rule.
Case ArchiveCase(World& w, const std::wstring& rule, zipbuild::Item bad, const std::string& evilName) {
    Case c;
    c.name = L"archive " + rule;
    c.kind = "hostile archive";
    std::vector<zipbuild::Item> items = {Entry("ok1.sym", "ok1 neu"), bad, Entry("sub/ok2.sym", "ok2 neu")};
    c.files = {{L"hostile.zip", zipbuild::Build(items).bytes}};
    c.list = L"[1]\nPrg=MIRADO19\nText=Mirado\ncek=1\nFile001=hostile.zip\nName001=hostile.zip\nPath001=SYMBOLE\n";
    const std::wstring sym = w.Mirado19Iec() + L"Symbole\\";
    c.targets = {sym};
    c.tracked = {{sym, L"ok1.sym", true, "ok1 alt", "ok1 neu"}, {sym, L"sub\\ok2.sym", false, "", "ok2 neu"}};
    if (!evilName.empty()) c.forbidden = {uidriver::FromUtf8(evilName)};
    return c;
}

Case ListCase(World& w, const std::wstring& name, const std::wstring& list, std::vector<std::wstring> forbidden) {
    Case c;
    c.name = L"list " + name;
    c.kind = "hostile list";
    c.list = list;
    c.files = {{L"ok.txt", "ok neu"}};
    c.targets = {w.Mirado19()};
    c.tracked = {{w.Mirado19(), L"ok.txt", true, "ok alt", "ok neu"}};
    c.forbidden = std::move(forbidden);
    return c;
}

// Every "_History <stamp>" folder below target that a run started within
// the next seconds may name (and the second before, should the clock
// turn meanwhile).
std::vector<std::wstring> HistoryFolders(const std::wstring& target, int seconds) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME ft;
    SystemTimeToFileTime(&now, &ft);
    const unsigned long long second = 10000000ull;
    const unsigned long long start = ((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) -
                                     second;
    std::vector<std::wstring> folders;
    for (int s = 0; s <= seconds + 1; ++s) {
        const unsigned long long at = start + static_cast<unsigned long long>(s) * second;
        const FILETIME f{static_cast<DWORD>(at), static_cast<DWORD>(at >> 32)};
        SYSTEMTIME t;
        FileTimeToSystemTime(&f, &t);
        wchar_t name[40];
        swprintf(name, 40, L"_History %04u%02u%02u-%02u%02u%02u\\", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                 t.wSecond);
        folders.push_back(target + name);
    }
    return folders;
}

// The backup copy of an installed file cannot be made, so the file must
// stay as it was: a folder stands where the copy of a plain file or of
// an archive entry belongs, or a file where the entry's folder belongs,
// in every backup folder the run may name; or the installed entry is
// held open without sharing. Another file beside it is replaced.
Case BackupCase(World& w, int variant) {
    static const wchar_t* const names[] = {L"backup folder at a file's copy", L"backup folder at an entry's copy",
                                           L"backup file at an entry's folder", L"backup source held open"};
    Case c;
    c.name = names[variant];
    c.kind = "backup blocked";
    const std::wstring sym = w.Mirado19Iec() + L"Symbole\\";
    if (variant == 0) {
        c.files = {{L"ok.txt", "ok neu"}, {L"frei.txt", "frei neu"}};
        c.list = L"[1]\nPrg=MIRADO19\nText=Mirado\ncek=1\nFile001=ok.txt\nName001=ok.txt\n"
                 L"File002=frei.txt\nName002=frei.txt\n";
        c.targets = {w.Mirado19()};
        c.tracked = {{w.Mirado19(), L"ok.txt", true, "ok alt", "ok neu"},
                     {w.Mirado19(), L"frei.txt", true, "frei alt", "frei neu"}};
        const std::wstring target = w.Mirado19();
        c.before = [target] {
            for (const std::wstring& h : HistoryFolders(target, 25)) uidriver::MakeFolders(h + L"ok.txt");
        };
        c.expect = {L"OK.TXT konnte nicht gesichert werden und wurde nicht ersetzt"};
        return c;
    }
    const std::string zip = zipbuild::Build({Entry("liesmich.txt", "liesmich neu"), Entry("Elektro/S01.sym", "S01 neu"),
                                             Entry("Elektro/Neu/S02.sym", "S02 neu")})
                                .bytes;
    c.files = {{L"sym.zip", zip}};
    c.list = L"[1]\nPrg=MIRADO19\nText=Mirado\ncek=1\nFile001=sym.zip\nName001=sym.zip\nPath001=SYMBOLE\n";
    c.targets = {sym};
    c.tracked = {{sym, L"sym.zip", false, "", zip},
                 {sym, L"liesmich.txt", true, "liesmich alt", "liesmich neu"},
                 {sym, L"Elektro\\S01.sym", true, "S01 alt", "S01 neu"},
                 {sym, L"Elektro\\Neu\\S02.sym", false, "", "S02 neu"}};
    c.expect = {L"Fehler beim entpacken der Datei: "};
    if (variant == 1) {
        c.before = [sym] {
            for (const std::wstring& h : HistoryFolders(sym, 25)) uidriver::MakeFolders(h + L"Elektro\\S01.sym");
        };
    } else if (variant == 2) {
        c.before = [sym] {
            for (const std::wstring& h : HistoryFolders(sym, 25)) {
                uidriver::MakeFolders(h);
                uidriver::WriteBytes(h + L"Elektro", "eine Datei, wo der Ordner sein sollte");
            }
        };
    } else {
        auto held = std::make_shared<HANDLE>(INVALID_HANDLE_VALUE);
        const std::wstring path = sym + L"Elektro\\S01.sym";
        c.before = [held, path] {
            *held = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        };
        c.after = [held] {
            if (*held != INVALID_HANDLE_VALUE) CloseHandle(*held);
        };
    }
    return c;
}

// The product's folders lie on a small drive (drive, "T:") filled until
// only leave bytes are free, and the update does not fit there: a big file
// over a small installed one, and an archive whose entries need more than
// the drive leaves. A small file for the computer's own drive comes last.
Case FullDiskCase(World& w, std::mt19937& gen, int n, const std::wstring& drive, unsigned leave) {
    Case c;
    c.name = L"full disk " + std::to_wstring(n) + L" (" + std::to_wstring(leave / 1024) + L" KiB free)";
    c.kind = "full disk";
    const std::wstring base = drive + L"\\rel\\";
    testsupport::RemoveTree(base);
    const std::wstring program = base + L"Mirado19\\", sym = base + L"Profiles\\qon_iec\\Symbole\\";
    testsupport::RegSet(HKEY_CURRENT_USER, uidriver::kSettingsKey, L"Mirado19 Dir", program);
    testsupport::RegSet(HKEY_CURRENT_USER, L"SOFTWARE\\Talvero\\Mirado19\\Settings", L"Profiles Dir",
                        base + L"Profiles\\");
    const std::string big = Random(gen, 1200000 + gen() % 300000);
    const std::string s1 = Random(gen, 250000 + gen() % 50000), s2 = Random(gen, 250000 + gen() % 50000);
    const std::string zip = zipbuild::Build({Entry("liesmich.txt", "liesmich neu"), Entry("Elektro/S01.sym", s1, false),
                                             Entry("Elektro/Neu/S02.sym", s2, false)})
                                .bytes;
    const std::string small = "klein " + std::to_string(n);
    c.files = {{L"big.bin", big}, {L"sym.zip", zip}, {L"klein.txt", small}};
    // Where the archive itself fits, it comes first: its entries then
    // meet the drive's last bytes.
    const bool archiveFirst = leave > zip.size() + (64u << 10);
    auto entry = [](int k, const std::wstring& name, const std::wstring& path) {
        const std::wstring nnn = L"00" + std::to_wstring(k);
        return L"File" + nnn + L"=" + name + L"\nName" + nnn + L"=" + name + L"\nPath" + nnn + L"=" + path + L"\n";
    };
    c.list = L"[1]\nPrg=MIRADO19\nText=Mirado\ncek=1\n" +
             (archiveFirst ? entry(1, L"sym.zip", L"SYMBOLE") + entry(2, L"big.bin", L"")
                           : entry(1, L"big.bin", L"") + entry(2, L"sym.zip", L"SYMBOLE")) +
             entry(3, L"klein.txt", L"DAT");
    const std::wstring dat = w.WorkFolder() + L"Dat\\";
    c.targets = {program, sym, dat};
    c.tracked = {{program, L"big.bin", true, Random(gen, 60000), big},
                 {sym, L"sym.zip", false, "", zip},
                 {sym, L"liesmich.txt", true, "liesmich alt", "liesmich neu"},
                 {sym, L"Elektro\\S01.sym", true, "S01 alt", s1},
                 {sym, L"Elektro\\Neu\\S02.sym", false, "", s2},
                 {dat, L"klein.txt", false, "", small}};
    c.roots = {drive + L"\\"};
    c.prepare = [drive, base, leave] {
        const std::wstring root = drive + L"\\";
        ULARGE_INTEGER free{};
        if (!GetDiskFreeSpaceExW(root.c_str(), &free, nullptr, nullptr) || free.QuadPart <= leave) return false;
        uidriver::WriteBytes(base + L"filler.bin", std::string(static_cast<size_t>(free.QuadPart - leave), '\0'));
        return GetDiskFreeSpaceExW(root.c_str(), &free, nullptr, nullptr) && free.QuadPart <= leave + 65536;
    };
    // The file not fetched or not saved, or the run ended for the full drive.
    c.expect = {L"BIG.BIN konnte nicht", L"Festplatte voll"};
    return c;
}

}  // namespace

// The kept file's or the list's HTTP body breaks off or stalls once; the
// retry (a Range request, or the whole file where ranges are off) brings
// it, and the run goes on as without the fault.
Case TransientHttpCase(World& w, std::mt19937& gen, int n, const std::string& kind, const std::wstring& fault,
                       bool list) {
    Case c = list ? ListFetchCase(w, gen, n, kind, fault) : KeepPathCase(w, gen, n, kind, fault);
    c.control = L"&fault_once=1" + c.control + (gen() % 3 == 0 ? L"&http_range=0" : L"");
    c.expect.clear();
    if (list) {
        c.listBox.clear();
        c.tracked = {{w.Mirado19(), L"ok.txt", true, "ok alt", "ok neu"}};
    }
    c.mustArrive = true;
    return c;
}

// Another program (this one) holds the big file and an installed archive
// entry open with read sharing only, as a running Mirado holds its files.
// Wiederholen once it let go: both arrive; Abbrechen: both stay as they were.
Case InUseCase(World& w, std::mt19937& gen, int n, int answer) {
    Case c = TransferCase(w, gen, n);
    c.name = answer == IDRETRY ? L"files in use, Wiederholen" : L"files in use, Abbrechen";
    c.kind = "files in use";
    c.faults = 2;
    c.heldAnswer = answer;
    c.mustArrive = answer == IDRETRY;
    c.expect = {answer == IDRETRY ? L"wird gerade von einem anderen Programm verwendet. Bitte schließen Sie"
                                  : L"BIG.BIN wird von einem anderen Programm verwendet und wurde nicht ersetzt"};
    auto held = std::make_shared<std::vector<HANDLE>>();
    const std::vector<std::wstring> paths = {w.Mirado19() + L"big.bin",
                                             w.Mirado19Iec() + L"Symbole\\Elektro\\S01.sym"};
    const auto release = [held] {
        for (HANDLE h : *held) CloseHandle(h);
        held->clear();
    };
    c.before = [held, paths] {
        for (const std::wstring& p : paths)
            held->push_back(CreateFileW(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    };
    if (answer == IDRETRY) c.onHeld = release;
    c.after = release;
    return c;
}

// The run is killed while it writes an archive's new files (big ones, so
// the kill falls inside one): none may be there half written.
Case KilledExtractionCase(World& w, std::mt19937& gen, int n) {
    Case c;
    c.name = L"killed during the extraction of new files " + std::to_wstring(n);
    c.kind = "killed extraction";
    const std::wstring sym = w.Mirado19Iec() + L"Symbole\\";
    std::vector<zipbuild::Item> items;
    for (int i = 0; i < 4; ++i) {
        const std::string name = "Neu/gross" + std::to_string(i) + ".bin";
        items.push_back(Entry(name, Random(gen, 3000000 + gen() % 2000000), false));
        c.tracked.push_back({sym, L"Neu\\gross" + std::to_wstring(i) + L".bin", false, "", items.back().data});
    }
    const std::string zip = zipbuild::Build(items).bytes;
    c.files = {{L"neu.zip", zip}};
    c.list = L"[1]\nPrg=MIRADO19\nText=Mirado\ncek=1\nFile001=neu.zip\nName001=neu.zip\nPath001=SYMBOLE\n";
    c.targets = {sym};
    c.tracked.push_back({sym, L"neu.zip", false, "", zip});
    // Once the first of them is being written.
    c.during = [sym](Wizard& wiz) {
        WIN32_FIND_DATAW fd;
        const HANDLE find = FindFirstFileW((sym + L"Neu\\gross*.bin").c_str(), &fd);
        if (find == INVALID_HANDLE_VALUE) return false;
        FindClose(find);
        TerminateProcess(wiz.Process(), 9);
        return true;
    };
    return c;
}

// A log-off while a file arrives: asked for, it is held off and the run
// completes; ended anyway, the log says so and every file is old or new.
Case EndSessionCase(World& w, std::mt19937& gen, bool anyway) {
    Case c = TransferCase(w, gen, anyway ? 2 : 1, false);
    c.name = anyway ? L"session ended anyway" : L"log-off held off";
    c.kind = "end-session";
    // Slow enough that the log-off comes while the big file arrives: one
    // asked for after the run would end the program, and the run's end
    // would not come.
    c.files[0].second = c.tracked[0].newBytes = Random(gen, 400000);
    c.control = L"&throttle=40000";
    c.mustArrive = !anyway;
    if (anyway) c.expect = {L"Abgebrochen: Windows wurde beendet."};
    auto asked = std::make_shared<bool>(false);
    c.during = [asked, anyway](Wizard& wiz) {
        if (wiz.ProgressPos() < 5) return false;
        if (!*asked) {
            *asked = true;
            uidriver::AskToEndSession();
        }
        return anyway && uidriver::EndSessionAnyway(wiz.Process(), wiz.Main());
    };
    c.came = [asked] { return *asked; };
    return c;
}

int wmain(int argc, wchar_t** argv) {
    if (argc < 5) {
        fprintf(stderr, "usage: wizard_reliability.exe <update.exe> <server state folder> <cut runs> <seed>\n");
        return 2;
    }
    const std::wstring exe = argv[1];
    std::wstring state = argv[2];
    if (state.back() != L'\\') state += L'\\';
    httpPort = static_cast<unsigned>(_wtoi(ReadState(state, L"http_port").c_str()));
    ftpPort = static_cast<unsigned>(_wtoi(ReadState(state, L"ftp_port").c_str()));
    catalogue = ReadState(state, L"catalogue_win");
    const int cutRuns = _wtoi(argv[3]);
    std::mt19937 gen(static_cast<unsigned>(_wtoi(argv[4])));
    if (!httpPort || !ftpPort || catalogue.empty() || !Control(L"reset=1")) {
        fprintf(stderr, "no update server in %s\n", uidriver::ToUtf8(state).c_str());
        return 2;
    }
    if (!ProbeTellsSleepFromAnswer()) {
        fprintf(stderr, "the answer probe cannot tell a sleeping window from one that answers\n");
        return 2;
    }

    for (int n = 1; n <= cutRuns; ++n) {
        const DWORD t = GetTickCount();
        RunCase(exe, [&](World& w) { return CutCase(w, gen, n); });
        if (getenv("RELIABILITY_TRACE")) printf("  whole %lu ms\n", GetTickCount() - t);
    }
    for (int n = 1; n <= 8; ++n) RunCase(exe, [&](World& w) { return OverlongFtpCase(w, gen, n); });
    for (int n = 1; n <= 5; ++n) {
        RunCase(exe, [&](World& w) { return KeepPathCase(w, gen, n, "cut http", L"http_cut"); });
        RunCase(exe, [&](World& w) { return ListFetchCase(w, gen, n, "cut http list", L"http_cut"); });
    }
    // Each of these waits the program's 30 s for a silent transfer.
    for (int n = 1; n <= 3; ++n) RunCase(exe, [&](World& w) { return StalledFtpCase(w, gen, n); });
    RunCase(exe, [&](World& w) { return KeepPathCase(w, gen, 1, "stalled http", L"http_stall"); });
    RunCase(exe, [&](World& w) { return ListFetchCase(w, gen, 1, "stalled http list", L"http_stall"); });

    // Faults that pass, and networks where FTP does not get through.
    for (int n = 1; n <= 5; ++n) RunCase(exe, [&](World& w) { return TransientFtpCase(w, gen, n, false); });
    for (int n = 1; n <= 2; ++n) RunCase(exe, [&](World& w) { return TransientFtpCase(w, gen, n, true); });
    for (int n = 1; n <= 3; ++n) {
        RunCase(exe, [&](World& w) { return TransientHttpCase(w, gen, n, "transient cut http", L"http_cut", false); });
        RunCase(exe, [&](World& w) {
            return TransientHttpCase(w, gen, n, "transient cut http list", L"http_cut", true);
        });
    }
    RunCase(exe, [&](World& w) { return TransientHttpCase(w, gen, 1, "transient stall http", L"http_stall", false); });
    int way = 0;
    for (const wchar_t* fault : {L"ftp_off=1", L"ftp_off=1", L"ftp_silent=1"})
        RunCase(exe, [&](World& w) { return OtherWayCase(w, gen, ++way, "ftp blocked", fault); });
    way = 0;
    for (const wchar_t* fault : {L"ftp_active=1", L"ftp_active=2", L"ftp_active=3"})
        RunCase(exe, [&](World& w) { return OtherWayCase(w, gen, ++way, "active refused", fault); });

    // The same faults under an unattended run: nobody answers, nothing
    // hangs, nothing is lost, and the exit code says what happened.
    for (int n = 1; n <= 3; ++n) RunCase(exe, [&](World& w) { return CutCase(w, gen, n); }, true);
    RunCase(exe, [&](World& w) { return OverlongFtpCase(w, gen, 1); }, true);
    RunCase(exe, [&](World& w) { return KeepPathCase(w, gen, 1, "cut http", L"http_cut"); }, true);
    RunCase(exe, [&](World& w) { return ListFetchCase(w, gen, 1, "cut http list", L"http_cut"); }, true);
    RunCase(exe, [&](World& w) { return TransientFtpCase(w, gen, 1, false); }, true);
    RunCase(exe, [&](World& w) { return OtherWayCase(w, gen, 1, "ftp blocked", L"ftp_off=1"); }, true);

    // Hostile archives, one per refusal rule.
    auto item = [](const std::string& name, const std::string& data) { return Entry(name, data, false); };
    zipbuild::Item link = item("link.sym", "../../../../rel_evil_link.txt");
    link.versionMadeBy = 0x0314;  // made on Unix
    link.externalAttr = 0120777u << 16;
    zipbuild::Item crc = item("crc.sym", "Pruefsumme falsch");
    crc.crc = zipbuild::Crc(crc.data) ^ 1u;
    zipbuild::Item secret = item("secret.sym", "verschluesselt");
    secret.flags = 1;
    const struct {
        const wchar_t* rule;
        zipbuild::Item bad;
        std::string evil;
    } archives[] = {
        {L"traversal", item("../../../../rel_evil_t.txt", "x"), "rel_evil_t.txt"},
        {L"absolute", item("/rel_evil_a.txt", "x"), "rel_evil_a.txt"},
        {L"backslash absolute", item("\\rel_evil_b.txt", "x"), "rel_evil_b.txt"},
        {L"drive", item("C:/rel_evil_d.txt", "x"), "rel_evil_d.txt"},
        {L"drive relative", item("C:rel_evil_e.txt", "x"), "rel_evil_e.txt"},
        {L"device name", item("sub/CON.txt", "x"), ""},
        {L"symlink", link, "rel_evil_link.txt"},
        {L"overlap", item("ok1.sym", "zweites ok1"), ""},
        {L"file and folder", item("sub", "datei statt ordner"), ""},
        {L"CRC flip", crc, ""},
        {L"encrypted", secret, ""},
    };
    for (const auto& a : archives) RunCase(exe, [&](World& w) { return ArchiveCase(w, a.rule, a.bad, a.evil); });

    // Hostile update lists.
    const std::wstring head = L"[1]\nPrg=MIRADO19\nText=Mirado\ncek=1\nFile001=ok.txt\nName001=ok.txt\n";
    std::wstring garbage;
    for (int i = 0; i < 4000; ++i) garbage += static_cast<wchar_t>(i % 7 == 0 ? L'\n' : i % 13 == 0 ? L'[' : 0x20 + gen() % 200);
    std::wstring many = L"[1]\nPrg=MIRADO19\nText=Mirado\ncek=1\n";
    for (int i = 2; i <= 21; ++i) {
        wchar_t n[8];
        swprintf(n, 8, L"%03d", i - 1);
        many += std::wstring(L"File") + n + L"=fehlt" + std::to_wstring(i) + L".bin\nName" + n + L"=f" + std::to_wstring(i) +
                L".bin\n";
    }
    const struct {
        const wchar_t* name;
        std::wstring list;
        std::vector<std::wstring> forbidden;
    } lists[] = {
        {L"name traversal", head + L"File002=ok.txt\nName002=..\\..\\..\\..\\rel_evil_n.txt\n", {L"rel_evil_n.txt"}},
        {L"name absolute", head + L"File002=ok.txt\nName002=C:\\rel_evil_m.txt\n", {L"rel_evil_m.txt"}},
        {L"name device", head + L"File002=ok.txt\nName002=CON\nFile003=ok.txt\nName003=ok.txt:strom\n", {}},
        {L"long section ids", L"[12]\nPrg=MIRADO19\nText=zu lang\ncek=1\nFile001=ok.txt\nName001=x.txt\n" + head + L"[", {}},
        {L"binary garbage", garbage, {}},
        {L"huge caption", L"[1]\nPrg=MIRADO19\nText=" + std::wstring(200000, L'A') + L"\ncek=1\nFile001=ok.txt\nName001=ok.txt\n",
         {}},
        {L"missing server files", many, {}},
        {L"empty", L"", {}},
    };
    for (const auto& l : lists) RunCase(exe, [&](World& w) { return ListCase(w, l.name, l.list, l.forbidden); });

    // A target file held open by another program, one that is read-only,
    // and a target folder that cannot be made (a file lies in its place).
    HANDLE held = INVALID_HANDLE_VALUE;
    RunCase(exe, [&](World& w) {
        Case c = ListCase(w, L"", head, {});
        c.name = L"locked target";
        c.kind = "blocked target";
        const std::wstring path = w.Mirado19() + L"ok.txt";
        c.before = [path, &held] {
            held = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        };
        c.after = [&held] {
            if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
            held = INVALID_HANDLE_VALUE;
        };
        return c;
    });
    RunCase(exe, [&](World& w) {
        Case c = ListCase(w, L"", head, {});
        c.name = L"read-only target";
        c.kind = "blocked target";
        const std::wstring path = w.Mirado19() + L"ok.txt";
        c.before = [path] { SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY); };
        return c;
    });
    RunCase(exe, [&](World& w) {
        Case c = ListCase(w, L"", L"[1]\nPrg=MIRADO19\nText=Mirado\ncek=1\n"
                                  L"File001=ok.txt\nName001=ok.txt\nPath001=SYMBOLE\n"
                                  L"File002=ok.txt\nName002=ok.txt\n",
                          {});
        c.name = L"unwritable target folder";
        c.kind = "blocked target";
        const std::wstring sym = w.Mirado19Iec() + L"Symbole";
        uidriver::MakeFolders(w.Mirado19Iec());
        uidriver::WriteBytes(sym, "eine Datei, wo der Ordner sein sollte");
        c.tracked.push_back({w.Mirado19Iec(), L"Symbole", true, "eine Datei, wo der Ordner sein sollte",
                             "eine Datei, wo der Ordner sein sollte"});
        return c;
    });

    for (int variant = 0; variant < 4; ++variant) RunCase(exe, [&](World& w) { return BackupCase(w, variant); });

    // A workstation's own faults: files in use, a killed run, a log-off.
    for (int answer : {IDRETRY, IDCANCEL}) RunCase(exe, [&](World& w) { return InUseCase(w, gen, 1, answer); });
    for (int n = 1; n <= 3; ++n) RunCase(exe, [&](World& w) { return KilledExtractionCase(w, gen, n); });
    for (bool anyway : {false, true}) RunCase(exe, [&](World& w) { return EndSessionCase(w, gen, anyway); });

    // A drive that fills up: tools/reliability.sh maps a small one as
    // RELIABILITY_FULL_DRIVE, or names in RELIABILITY_FULL_SKIP why not.
    const char* full = getenv("RELIABILITY_FULL_DRIVE");
    const std::wstring fullDrive = full ? uidriver::FromUtf8(full) : std::wstring();
    if (!fullDrive.empty()) {
        int n = 0;
        for (unsigned leave : {4u << 10, 48u << 10, 200u << 10, 700u << 10, 1100u << 10}) {
            ++n;
            RunCase(exe, [&](World& w) { return FullDiskCase(w, gen, n, fullDrive, leave); });
        }
        testsupport::RemoveTree(fullDrive + L"\\rel");
    }

    printf("reliability: %d runs, %d faults injected, %d files checked (%d new, the rest old), "
           "%d files lost or corrupted (goal 0), %d files that did not arrive although the fault passed (goal 0), "
           "%d writes outside the target (goal 0), "
           "%d runs without an answer (goal 0), %d windows that failed to answer within 1 s (goal 0)\n",
           totals.runs, totals.faults, totals.files, totals.fresh, totals.lost, totals.missing, totals.outside, totals.unresponsive,
           totals.unanswering);
    for (const FaultClass& f : classes) {
        printf("  %s: %d runs", f.name.c_str(), f.runs);
        if (f.unseen) printf(", %d where the fault did not show", f.unseen);
        printf("\n");
    }
    if (fullDrive.empty()) {
        const char* why = getenv("RELIABILITY_FULL_SKIP");
        printf("  full disk: skipped (%s)\n", why && *why ? why : "no small drive");
    }
    return totals.lost || totals.missing || totals.outside || totals.unresponsive || totals.unanswering || totals.unseen ? 1 : 0;
}
