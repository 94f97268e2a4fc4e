#include "run/Descriptor.h"

#include <windows.h>

#include <cstdio>

#include "sys/Ini.h"
#include "sys/Reg.h"
#include "sys/Text.h"
#include "run/Variable.h"
#include "zip/ZipReader.h"

namespace {

// Values longer than this are not folder or file names but damage; they are
// cut off rather than grown without end.
constexpr size_t kMaxValueChars = 1u << 20;
// The default that marks a missing key. A value of just this control
// character reads as missing too; a signed list refuses that entry all the
// same, and an unsigned one could leave the key out anyway.
const std::wstring kNoValue = L"\x01";

// A whole decimal integer with an optional sign that fits 32 bits, or nothing.
bool ParseInteger(const std::wstring& text, long long* value) {
    size_t i = (!text.empty() && (text[0] == L'+' || text[0] == L'-')) ? 1 : 0;
    if (i == text.size()) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9') return false;
        v = v * 10 + (text[i] - L'0');
        if (v > 0x80000000LL) return false;
    }
    v = (text[0] == L'-') ? -v : v;
    if (v > 0x7FFFFFFFLL) return false;
    *value = v;
    return true;
}

// The sibling product keeps its catalogue folders in its own configuration
// file; a missing key is added empty so the product's users see where to
// set it.
std::wstring CatalogueFolder(const Session& session, const wchar_t* key) {
    return ReadIniValueOrInit(L"Path", key, std::wstring(), GetNorvix19Folder(session) + L"norvix4.cfg");
}

std::wstring DataTemp(const Session& session) { return session.dataTempFolder; }
std::wstring ProData(const Session& session) { return session.proFolder; }
std::wstring StdData(const Session& session) { return session.stdFolder; }
std::wstring CatalogQon5(const Session& session) { return CatalogueFolder(session, L"Catalog_Qon5"); }
std::wstring CatalogQonPage(const Session& session) { return CatalogueFolder(session, L"Catalog_QonPage"); }

struct TargetRow {
    const wchar_t* product;
    const wchar_t* keyword;  // compared after upper-casing both sides
    std::wstring (*base)(const Session&);
    const wchar_t* suffix;
};

// The first matching row wins. Note the data folders: the standard product
// shares the updater's "talvero\temp\" folder, the pro product has its own,
// and the s product keeps help and dialogs in its program folder.
const TargetRow kTargetRows[] = {
    {L"MIRADO19", L"", GetMirado19Folder, L""},
    {L"MIRADO19", L"PROFIL", GetMirado19IecFolder, L""},
    {L"MIRADO19", L"PROFILES", GetMirado19ProfilesFolder, L""},
    {L"MIRADO19", L"SYMBOLE", GetMirado19IecFolder, L"Symbole\\"},
    {L"MIRADO19", L"TEMPLATE", GetMirado19IecFolder, L"Template\\"},
    {L"MIRADO19", L"BMP", GetMirado19IecFolder, L"BMP\\"},
    {L"MIRADO19", L"LAYERS", GetMirado19IecFolder, L"Layers\\"},
    {L"MIRADO19", L"DAT", DataTemp, L"Dat\\"},
    {L"MIRADO19", L"HELP", DataTemp, L"Help\\"},
    {L"MIRADO19", L"DIALOG", DataTemp, L"dialog\\"},
    {L"MIRADO19", L"APPDATA", DataTemp, L""},
    {L"MIRADO19", L"MENU", GetMenuFolder, L""},

    {L"MIRADOPRO19", L"", GetMiradopro19Folder, L""},
    {L"MIRADOPRO19", L"X86", GetMiradopro19Folder, L"X86\\"},
    {L"MIRADOPRO19", L"X64", GetMiradopro19Folder, L"X64\\"},
    {L"MIRADOPRO19", L"PROFIL", GetMiradopro19IecFolder, L""},
    {L"MIRADOPRO19", L"PROFILES", GetMiradopro19ProfilesFolder, L""},
    {L"MIRADOPRO19", L"SYMBOLE", GetMiradopro19IecFolder, L"Symbole\\"},
    {L"MIRADOPRO19", L"TEMPLATE", GetMiradopro19IecFolder, L"Template\\"},
    {L"MIRADOPRO19", L"BMP", GetMiradopro19IecFolder, L"BMP\\"},
    {L"MIRADOPRO19", L"LAYERS", GetMiradopro19IecFolder, L"Layers\\"},
    {L"MIRADOPRO19", L"DAT", ProData, L"Dat\\"},
    {L"MIRADOPRO19", L"HELP", ProData, L"Help\\"},
    {L"MIRADOPRO19", L"DIALOG", ProData, L"dialog\\"},
    {L"MIRADOPRO19", L"APPDATA", ProData, L""},

    {L"MIRADOS19", L"", GetMirados19Folder, L""},
    {L"MIRADOS19", L"SYMBOLE", GetSymbolFolder, L""},
    {L"MIRADOS19", L"BMP", GetMirados19Folder, L"BMP\\"},
    {L"MIRADOS19", L"TEMPLATE", GetTemplateFolder, L""},
    {L"MIRADOS19", L"HELP", GetMirados19Folder, L"Help\\"},
    {L"MIRADOS19", L"DIALOG", GetMirados19Folder, L"dialog\\"},
    {L"MIRADOS19", L"APPDATA", StdData, L""},

    {L"NORVIX19", L"", GetNorvix19Folder, L""},
    {L"NORVIX19", L"BMP", GetNorvix19Folder, L"BMP\\"},
    {L"NORVIX19", L"Catalog_Qon5", CatalogQon5, L""},
    {L"NORVIX19", L"Catalog_Qon5_Block", CatalogQon5, L"Block\\"},
    {L"NORVIX19", L"Catalog_Qon5_Device", CatalogQon5, L"Device\\"},
    {L"NORVIX19", L"Catalog_Qon5_Macro", CatalogQon5, L"Macro\\"},
    {L"NORVIX19", L"Catalog_Qon5_WMF", CatalogQon5, L"WMF\\"},
    {L"NORVIX19", L"Catalog_QonPage", CatalogQonPage, L""},
    {L"NORVIX19", L"Catalog_QonPage_Block", CatalogQonPage, L"Block\\"},
    {L"NORVIX19", L"Catalog_QonPage_Device", CatalogQonPage, L"Device\\"},
    {L"NORVIX19", L"Catalog_QonPage_Macro", CatalogQonPage, L"Macro\\"},
    {L"NORVIX19", L"Catalog_QonPage_WMF", CatalogQonPage, L"WMF\\"},
};

}  // namespace

std::wstring EntryNumberText(int n) {
    wchar_t text[16];
    swprintf(text, 16, L"%03d", n);
    return text;
}

std::wstring FtpFileName(const std::wstring& serverName) {
    const size_t n = serverName.size();
    if (n < 3 || Upper(serverName.substr(n - 3)) != L"PRG") return serverName;
    return serverName.substr(0, n - 3) + L"EXE";
}

bool IsPlainFileName(const std::wstring& name) {
    if (name.empty()) return false;
    for (const wchar_t c : name)
        if (IsForbiddenInFileName(c)) return false;
    // Windows drops trailing dots and blanks, so "x." would land on "x" and
    // "." or ".." on a folder itself.
    if (name.back() == L'.' || name.back() == L' ') return false;
    return !zipread::IsDeviceName(std::u16string(name.begin(), name.end()));
}

bool IsSafeLocalName(const std::wstring& name) {
    if (name.empty() || name.back() == L'\\' || name.back() == L'/') return false;
    if (zipread::UnsafeNameReason(std::u16string(name.begin(), name.end())) != nullptr) return false;
    // No part may lead into a backup folder of the run.
    size_t start = 0;
    while (start < name.size()) {
        size_t stop = name.find_first_of(L"\\/", start);
        if (stop == std::wstring::npos) stop = name.size();
        if (StartsWithBackupPrefix(name.substr(start, stop - start))) return false;
        start = stop + 1;
    }
    return true;
}

bool StartsWithBackupPrefix(const std::wstring& part) { return StartsWithNoCase(part, kBackupPrefix); }

std::wstring RefusedEntryLine(const FileEntry& entry) {
    const std::wstring start = L"Datei " + entry.F + L" nicht übernommen: ";
    switch (entry.refusal) {
    case EntryRefusal::BadDigest:
        return start + L"ungültige Prüfsumme";
    case EntryRefusal::NoDigest:
        return start + L"keine Prüfsumme";
    case EntryRefusal::BadSize:
        return start + L"ungültige Dateigröße";
    case EntryRefusal::NoSize:
        return start + L"keine Dateigröße";
    default:
        return start + L"\"" + entry.N + L"\" ist kein zulässiger Dateiname";
    }
}

std::wstring UpdateDescriptor::ReadText(const std::wstring& section, const std::wstring& key,
                                        const std::wstring& defaultValue) const {
    std::vector<wchar_t> buf(512);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buf.size());
        const DWORD n = GetPrivateProfileStringW(section.c_str(), key.c_str(), defaultValue.c_str(), buf.data(), size,
                                                 fileName_.c_str());
        // A value that fills the buffer to the last place may have been cut.
        if (n + 1 < size || buf.size() >= kMaxValueChars) return std::wstring(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

bool UpdateDescriptor::ReadFlag(const std::wstring& section, const std::wstring& key, bool defaultValue) const {
    long long value = 0;
    if (!ParseInteger(ReadText(section, key), &value)) return defaultValue;
    return value != 0;
}

std::wstring UpdateDescriptor::Product(const std::wstring& section) const {
    return Upper(ReadText(section, L"Prg"));
}

FileEntry UpdateDescriptor::Entry(const std::wstring& section, int n) const {
    const std::wstring nnn = EntryNumberText(n);
    FileEntry e;
    e.number = n;
    e.F = ReadText(section, L"File" + nnn);
    if (e.F.empty()) return e;
    e.FtpName = FtpFileName(e.F);
    e.R = ReadFlag(section, L"Repl" + nnn, true);
    e.O = ReadFlag(section, L"Open" + nnn, false);
    e.N = ReadText(section, L"Name" + nnn);
    e.Path = ReadText(section, L"Path" + nnn);
    // The default marks a missing key: "Hash001=" with nothing after it is
    // a damaged digest, not an entry without one.
    const std::wstring hash = ReadText(section, L"Hash" + nnn, kNoValue);
    const bool hashGiven = hash != kNoValue;
    e.hasDigest = hashGiven && ParseDigest(hash, &e.digest);
    const std::wstring size = ReadText(section, L"Size" + nnn, kNoValue);
    const bool sizeGiven = size != kNoValue;
    e.hasSize = sizeGiven && ParseDecimalDigits(size, 18, &e.size);
    if (!IsSafeLocalName(e.N))
        e.refusal = EntryRefusal::UnsafeName;
    else if (hashGiven && !e.hasDigest)
        e.refusal = EntryRefusal::BadDigest;
    else if (digestsRequired_ && !e.hasDigest)
        e.refusal = EntryRefusal::NoDigest;
    else if (sizeGiven && !e.hasSize)
        e.refusal = EntryRefusal::BadSize;
    else if (digestsRequired_ && !e.hasSize)
        e.refusal = EntryRefusal::NoSize;
    return e;
}

std::vector<FileEntry> UpdateDescriptor::Entries(const std::wstring& section) const {
    std::vector<FileEntry> entries;
    for (int n = 1; n <= kMaxFileEntries; ++n) {
        FileEntry e = Entry(section, n);
        if (e.F.empty()) break;
        entries.push_back(std::move(e));
    }
    return entries;
}

std::wstring ResolveTargetFolder(const Session& session, const std::wstring& product, const std::wstring& pathValue) {
    const std::wstring p = Upper(product);
    const std::wstring v = Upper(pathValue);
    for (const TargetRow& row : kTargetRows)
        if (p == row.product && v == Upper(row.keyword)) return row.base(session) + row.suffix;
    // Anything the tables do not know is a folder of its own; an empty one
    // leaves the file relative to the current folder.
    return v;
}
