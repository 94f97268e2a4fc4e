#include "run/OfferedEntries.h"

#include "run/Variable.h"
#include "sys/Dateien.h"
#include "sys/Reg.h"
#include "sys/Text.h"
#include "sys/UpdateError.h"

namespace {

// Offered on the pro product's settings key alone, compared as written.
constexpr const wchar_t* kListOnlyProduct = L"MIRADOPROII";
// The registry cannot hold a longer value name, so such a product key can
// never be registered and is not even asked for.
constexpr size_t kMaxValueName = 16383;

// Reads the list file line by line in the ANSI code page. A line ends at
// CR LF or at a bare LF; reading on after the end gives empty lines. A read
// error raises, as the file may then be anything but the list.
class ListLineReader {
public:
    explicit ListLineReader(HANDLE file) : file_(file) {}

    bool AtEnd() {
        Fill();
        return pos_ >= buf_.size();
    }

    std::wstring ReadLine() {
        std::string line;
        while (!AtEnd()) {
            const size_t lf = buf_.find('\n', pos_);
            if (lf != std::string::npos) {
                line.append(buf_, pos_, lf - pos_);
                pos_ = lf + 1;
                if (!line.empty() && line.back() == '\r') line.pop_back();
                break;
            }
            line.append(buf_, pos_, std::string::npos);
            pos_ = buf_.size();
        }
        return FromAnsi(line);
    }

private:
    void Fill() {
        if (pos_ < buf_.size() || ended_) return;
        buf_.resize(64 * 1024);
        DWORD got = 0;
        if (!ReadFile(file_, &buf_[0], static_cast<DWORD>(buf_.size()), &got, nullptr)) RaiseIoError(GetLastError());
        buf_.resize(got);
        pos_ = 0;
        ended_ = got == 0;
    }

    HANDLE file_;
    std::string buf_;
    size_t pos_ = 0;
    bool ended_ = false;
};

// The program folder registered for a product key, or empty.
std::wstring RegisteredFolder(HKEY root, const std::wstring& productKey) {
    const std::wstring name = productKey + L" Dir";
    if (name.size() > kMaxValueName || name.find(L'\0') != std::wstring::npos) return std::wstring();
    return Trimmed(RegReadString(root, kSettingsKey, name), IsBlankOrControl);
}

// Section ids are one character, as the lists have always had them. A
// header whose id is not a single character between brackets is not
// offered.
bool SingleCharacterId(const std::wstring& header, wchar_t* id) {
    if (header.size() != 3 || header.back() != L']') return false;
    *id = header[1];
    return true;
}

class UpdateListReader {
public:
    UpdateListReader(HANDLE file, HKEY root, const std::function<bool(const OfferedEntry&)>& take)
        : in_(file), root_(root), take_(take) {}

    // Offers every section that applies; returns the number taken.
    int Run() {
        while (!in_.AtEnd()) {
            const std::wstring line = in_.ReadLine();
            std::wstring folder;
            if (!line.empty() && line[0] == L'[') {
                const std::wstring productLine = in_.ReadLine();
                pendingProduct_ = productLine.size() > 4 ? productLine.substr(4) : std::wstring();
                if (!SingleCharacterId(line, &sectionId_)) {
                    pendingProduct_.clear();
                    continue;
                }
                folder = RegisteredFolder(root_, pendingProduct_);
            }
            // Not only header lines get here: a list-only product whose
            // registered folder is missing is still offered at the next line.
            if (!folder.empty()) {
                if (FolderExists(folder)) {
                    pendingProduct_.clear();
                    ListEntry();
                }
            } else if (pendingProduct_ == kListOnlyProduct) {
                pendingProduct_.clear();
                if (RegKeyExists(root_, kMiradopro19Key)) ListEntry();
            }
        }
        return entries_;
    }

private:
    void ListEntry() {
        const std::wstring captionLine = in_.ReadLine();
        const size_t eq = captionLine.find(L'=');
        const std::wstring caption = eq == std::wstring::npos ? captionLine : captionLine.substr(eq + 1);
        const bool checked = in_.ReadLine() != L"cek=0";
        if (take_(OfferedEntry{std::wstring(1, sectionId_), caption, checked})) ++entries_;
    }

    ListLineReader in_;
    HKEY root_;
    const std::function<bool(const OfferedEntry&)>& take_;
    std::wstring pendingProduct_;
    wchar_t sectionId_ = L'\0';
    int entries_ = 0;
};

}  // namespace

int ReadOfferedEntries(HANDLE file, HKEY root, const std::function<bool(const OfferedEntry&)>& take) {
    return UpdateListReader(file, root, take).Run();
}
