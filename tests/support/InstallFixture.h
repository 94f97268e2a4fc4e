#pragma once
// A real main window in state 2 against the local update server: product
// folders registered below a folder of its own, the server's hosts and port
// in the settings, the list read into lstUpd as the state-1 press would, and
// text files opened by a quiet stand-in instead of a viewer.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "run/Descriptor.h"
#include "run/InstallRun.h"
#include "sys/Reg.h"
#include "TestSupport.h"
#include "net/Transfers.h"
#include "run/Variable.h"
#include "WindowFixture.h"
#include "ui/WindowReporting.h"
#include "ui/main.h"
#include "test_net_server.h"

namespace testsupport {

// Points the shell's association for .txt at a command that copies the
// opened file to a marker path and ends, so no viewer stays open (Wine takes
// the association from HKEY_CLASSES_ROOT only, not from the user's classes).
// The earlier association comes back at the end.
class QuietTextViewer {
public:
    explicit QuietTextViewer(std::wstring marker) : marker_(std::move(marker)) {
        std::wstring now;
        hadValue_ = RegGet(HKEY_CLASSES_ROOT, L".txt", L"", &now);
        // A test that died before restoring leaves its own ProgID behind.
        previous_ = (hadValue_ && now == kProgId) ? std::wstring(L"txtfile") : now;
        RegSet(HKEY_CLASSES_ROOT, L".txt", L"", kProgId);
        // The copy gets its final name only once complete: a test that looks
        // while copy is still writing must not take a half-written marker
        // for what the viewer was given.
        RegSet(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\shell\\open\\command", L"",
               L"cmd /c copy /y \"%1\" \"" + marker_ + L".part\" >nul && move /y \"" + marker_ + L".part\" \"" +
                   marker_ + L"\" >nul");
    }
    ~QuietTextViewer() {
        if (hadValue_) {
            RegSet(HKEY_CLASSES_ROOT, L".txt", L"", previous_);
        } else {
            HKEY key;
            if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L".txt", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
                RegDeleteValueW(key, nullptr);
                RegCloseKey(key);
            }
        }
        const std::wstring id = kProgId;
        for (const std::wstring& key : {id + L"\\shell\\open\\command", id + L"\\shell\\open", id + L"\\shell", id})
            RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
    }
    QuietTextViewer(const QuietTextViewer&) = delete;
    QuietTextViewer& operator=(const QuietTextViewer&) = delete;

    // What the viewer was given, once it ran (waits a little for it).
    bool Opened(std::string* bytes) const {
        for (int i = 0; i < 100; ++i) {
            if (ReadFileBytes(marker_, bytes)) return true;
            Sleep(50);
        }
        return false;
    }

private:
    static constexpr const wchar_t* kProgId = L"UtestQuietTextViewer";
    std::wstring marker_;
    std::wstring previous_;
    bool hadValue_ = false;
};

class InstallFixture : public WindowFixture {
protected:
    const std::wstring kCad = L"\\SOFTWARE\\Talvero\\CAD\\Settings";

    void SetUp() override {
        ASSERT_TRUE(nettest::Server().ok) << Narrow(nettest::Server().problem);
        nettest::Control("reset=1");
        OpenWindow();
        DrainQuit();
        RegSet(HKEY_CURRENT_USER, kCad, L"Update Host", L"127.0.0.1:" + std::to_wstring(nettest::Server().httpPort));
        RegSet(HKEY_CURRENT_USER, kCad, L"FTP Host", L"127.0.0.1");
        RegSet(HKEY_CURRENT_USER, kCad, L"FTP Port", std::to_wstring(nettest::Server().ftpPort));
        session().updateBaseUrl = MakeUpdateBaseUrl(HKEY_CURRENT_USER);
        mirado_ = Product(L"Mirado19 Dir", L"Mirado19\\");
        pro_ = Product(L"Miradopro19 Dir", L"Miradopro19\\");
        viewer_ = std::make_unique<QuietTextViewer>(root_.path() + L"opened.bin");
    }

    void TearDown() override {
        nettest::Control("reset=1");
        viewer_.reset();
        WindowFixture::TearDown();
    }

    std::wstring Product(const wchar_t* value, const wchar_t* folder) {
        const std::wstring path = root_.path() + folder;
        CreateDirectoryW(path.c_str(), nullptr);
        RegSet(HKEY_CURRENT_USER, kCad, value, path);
        return path;
    }

    // The list as the server would send it, read into lstUpd.
    void List(const std::string& content) {
        WriteFileBytes(session().workFolder + L"update.cfg", content);
        ASSERT_TRUE(form().ReadUpdateList(session().workFolder + L"update.cfg"));
    }

    void Check(int index, bool checked) { CheckListSetChecked(form().Control(ControlId::lstUpd), index, checked); }

    std::vector<std::wstring> Items(HWND list) {
        std::vector<std::wstring> lines;
        for (int i = 0; i < ListCount(list); ++i) lines.push_back(ListItemText(list, i));
        return lines;
    }

    // The log's name as the user's short date gives it, with the characters
    // a file name cannot hold turned into dots.
    std::wstring LogPath() {
        wchar_t date[128] = L"";
        GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, 128);
        std::wstring text = date;
        for (wchar_t& c : text)
            if (std::wstring(L"\\/:*?\"<>|").find(c) != std::wstring::npos) c = L'.';
        return session().workFolder + L"Updates\\Download " + text + L" .txt";
    }

    // The log split at CR LF, read back through the ANSI code page; a last
    // line without CR LF is marked.
    std::vector<std::wstring> LogLines() {
        std::string bytes;
        if (!ReadFileBytes(LogPath(), &bytes)) return {L"<no log>"};
        std::vector<std::wstring> lines;
        for (size_t at = 0; at < bytes.size();) {
            const size_t end = bytes.find("\r\n", at);
            const std::string line = bytes.substr(at, end == std::string::npos ? std::string::npos : end - at);
            std::wstring wide(line.size(), L'\0');
            wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, line.data(), static_cast<int>(line.size()),
                                                                &wide[0], static_cast<int>(wide.size()))));
            lines.push_back(end == std::string::npos ? wide + L"<no CR LF>" : wide);
            at = end == std::string::npos ? bytes.size() : end + 2;
        }
        return lines;
    }

    // The one backup folder of a run inside target, or a marker text.
    std::wstring History(const std::wstring& target) {
        std::vector<std::wstring> found;
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((target + L"_History *").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) found.push_back(target + fd.cFileName + L"\\");
            } while (FindNextFileW(h, &fd));
            FindClose(h);
        }
        return found.size() == 1 ? found[0] : L"<" + std::to_wstring(found.size()) + L" backup folders>";
    }

    std::string Content(const std::wstring& path) {
        std::string bytes;
        return ReadFileBytes(path, &bytes) ? bytes : std::string("<missing>");
    }

    std::wstring Upper(std::wstring s) {
        if (!s.empty()) CharUpperBuffW(&s[0], static_cast<DWORD>(s.size()));
        return s;
    }

    BoxAnswerer boxes_;
    std::wstring mirado_, pro_;
    nettest::Published server_;
    std::unique_ptr<QuietTextViewer> viewer_;
};

}  // namespace testsupport
