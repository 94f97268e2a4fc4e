#include "run/ListHead.h"

#include <cwctype>

#include "sys/Reg.h"
#include "sys/Text.h"

namespace {

constexpr const wchar_t* kListName = L"update19.txt";
constexpr const wchar_t* kSerialValue = L"Liste Serie";
constexpr size_t kMaxSerialDigits = 18;

bool SameNoCase(const std::wstring& a, const wchar_t* b) { return _wcsicmp(a.c_str(), b) == 0; }

bool IsRealDay(uint64_t yyyymmdd) {
    const unsigned year = static_cast<unsigned>(yyyymmdd / 10000), month = static_cast<unsigned>(yyyymmdd / 100 % 100),
                   day = static_cast<unsigned>(yyyymmdd % 100);
    static const unsigned kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month != 2 || day < 29 || leap;
}

// The lines of the list as the INI functions see them: CR LF, LF or CR
// ends a line; blanks around a line do not count.
class Lines {
public:
    explicit Lines(const std::wstring& text) : text_(text) {}
    bool Next(std::wstring* line) {
        if (at_ >= text_.size()) return false;
        size_t end = text_.find_first_of(L"\r\n", at_);
        if (end == std::wstring::npos) end = text_.size();
        *line = Trimmed(text_.substr(at_, end - at_), IsBlankOrTab);
        at_ = end;
        if (at_ < text_.size() && text_[at_] == L'\r') ++at_;
        if (at_ < text_.size() && text_[at_] == L'\n') ++at_;
        return true;
    }

private:
    const std::wstring& text_;
    size_t at_ = 0;
};

bool IsSection(const std::wstring& line) { return line.size() >= 2 && line.front() == L'[' && line.back() == L']'; }

}  // namespace

bool ParseListHead(const std::string& listBytes, ListHead* head) {
    // Its keys and values are ASCII; other bytes only need to stay other.
    std::wstring text;
    text.reserve(listBytes.size());
    for (const char c : listBytes) text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    Lines lines(text);
    std::wstring line;
    // Blank lines and comments may come before the first section.
    bool found = false;
    while (lines.Next(&line)) {
        if (line.empty() || line[0] == L';') continue;
        found = IsSection(line) && SameNoCase(Trimmed(line.substr(1, line.size() - 2), IsBlankOrTab), L"Liste");
        break;
    }
    if (!found) return false;
    bool haveName = false, haveSerial = false, haveExpiry = false;
    ListHead read;
    while (lines.Next(&line) && !IsSection(line)) {
        const size_t eq = line.find(L'=');
        if (line.empty() || line[0] == L';' || eq == std::wstring::npos) continue;
        const std::wstring key = Trimmed(line.substr(0, eq), IsBlankOrTab);
        const std::wstring value = Trimmed(line.substr(eq + 1), IsBlankOrTab);
        // The first of a key counts, as with the INI functions.
        if (SameNoCase(key, L"Name") && !haveName) {
            read.name = value;
            haveName = true;
        } else if (SameNoCase(key, L"Serie") && !haveSerial) {
            if (!ParseDecimalDigits(value, kMaxSerialDigits, &read.serial)) return false;
            haveSerial = true;
        } else if (SameNoCase(key, L"Ablauf") && !haveExpiry) {
            uint64_t day = 0;
            if (value.size() != 8 || !ParseDecimalDigits(value, 8, &day) || !IsRealDay(day)) return false;
            read.expiry = static_cast<unsigned>(day);
            haveExpiry = true;
        }
    }
    if (!haveName || !haveSerial || !haveExpiry) return false;
    *head = read;
    return true;
}

HeadCheck CheckListHead(const std::string& listBytes, HKEY root, unsigned today) {
    ListHead head;
    if (!ParseListHead(listBytes, &head)) return HeadCheck::Malformed;
    if (!SameNoCase(head.name, kListName)) return HeadCheck::OtherList;
    // A value nobody can read as a number protects nothing; the list's own
    // number takes its place.
    const std::wstring stored = RegReadString(root, kSettingsKey, kSerialValue);
    uint64_t highest = 0;
    const bool known = ParseDecimalDigits(stored, kMaxSerialDigits, &highest);
    if (head.serial < highest) return HeadCheck::Older;
    if (today > head.expiry) return HeadCheck::Expired;
    if (!known || head.serial != highest)
        RegWriteString(root, kSettingsKey, kSerialValue, std::to_wstring(head.serial));
    return HeadCheck::Accepted;
}

std::wstring HeadRefusalText(HeadCheck check) {
    switch (check) {
    case HeadCheck::Accepted:
        break;
    case HeadCheck::Malformed:
        return L"Die Updateliste hat keinen gültigen Kopf und wird nicht verwendet.";
    case HeadCheck::OtherList:
        return L"Die Updateliste gehört nicht zu diesem Programm und wird nicht verwendet.";
    case HeadCheck::Older:
        return L"Die Updateliste ist älter als die zuletzt verwendete und wird nicht verwendet.";
    case HeadCheck::Expired:
        return L"Die Updateliste ist abgelaufen und wird nicht verwendet.";
    }
    return std::wstring();
}

unsigned LocalToday() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return static_cast<unsigned>(now.wYear) * 10000u + now.wMonth * 100u + now.wDay;
}
