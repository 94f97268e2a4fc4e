#include "sys/Reg.h"

#include "sys/Handles.h"
#include "sys/Text.h"
#include "sys/UpdateError.h"

namespace {

// Key paths are written with a leading backslash (relative to the root);
// the registry API wants them without it.
std::wstring SubKey(const std::wstring& key) {
    return (!key.empty() && key[0] == L'\\') ? key.substr(1) : key;
}

bool KeyExistsUnder(HKEY root, const std::wstring& key) {
    RegKey h;
    return RegOpenKeyExW(root, SubKey(key).c_str(), 0, KEY_READ, h.put()) == ERROR_SUCCESS;
}

// Opens an existing key for full access; an empty handle when the key is
// missing or the rights are lacking (both read as "no value").
RegKey OpenForFullAccess(HKEY root, const std::wstring& key) {
    RegKey h;
    if (RegOpenKeyExW(root, SubKey(key).c_str(), 0, KEY_ALL_ACCESS, h.put()) != ERROR_SUCCESS) h.reset();
    return h;
}

// A missing value reads as empty; a value of another kind than text is a
// damaged setting the user has to hear about.
std::wstring QueryString(HKEY h, const std::wstring& name) {
    DWORD type = 0;
    DWORD size = 0;
    LONG rc = RegQueryValueExW(h, name.c_str(), nullptr, &type, nullptr, &size);
    if (rc == ERROR_FILE_NOT_FOUND) return std::wstring();
    if (rc != ERROR_SUCCESS) throw UpdateError(L"Fehler beim Holen der Daten für '" + name + L"'");

    // The value may grow between the two queries (another program writing);
    // ask again with the new size rather than reading a cut-off text.
    for (;;) {
        std::wstring buf(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
        rc = RegQueryValueExW(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&buf[0]), &got);
        if (rc == ERROR_MORE_DATA) {
            size = got;
            continue;
        }
        if (rc != ERROR_SUCCESS) throw UpdateError(L"Fehler beim Holen der Daten für '" + name + L"'");
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            throw UpdateError(L"Ungültiger Datentyp für '" + name + L"'");
        // Stored texts need not carry their terminating zero, and some carry
        // several: the text ends at the first one.
        buf.resize(got / sizeof(wchar_t));
        const size_t end = buf.find(L'\0');
        if (end != std::wstring::npos) buf.resize(end);
        return buf;
    }
}

std::wstring ReadStringUnder(HKEY root, const std::wstring& key, const std::wstring& name) {
    if (!KeyExistsUnder(root, key)) return std::wstring();
    const RegKey h = OpenForFullAccess(root, key);
    if (!h) return std::wstring();
    return QueryString(h.get(), name);
}

void WriteStringUnder(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& value) {
    RegKey h;
    if (RegCreateKeyExW(root, SubKey(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        h.put(), nullptr) != ERROR_SUCCESS)
        throw UpdateError(L"Erzeugung von Schlüssel " + key + L" misslungen");
    const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    if (RegSetValueExW(h.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes) !=
        ERROR_SUCCESS)
        throw UpdateError(L"Fehler beim Setzen der Daten für '" + name + L"'");
}

}  // namespace

HKEY DetermineRegistryRoot() {
    if (!KeyExistsUnder(HKEY_CURRENT_USER, kSettingsKey)) return HKEY_CURRENT_USER;
    // Only the exact words count; anything else (a typo, a blank in front)
    // is repaired to the safe per-user choice so the next start agrees.
    const std::wstring choice = AsciiUpper(ReadStringUnder(HKEY_CURRENT_USER, kSettingsKey, L"Rootkey"));
    if (choice == L"MACHINE") return HKEY_LOCAL_MACHINE;
    if (choice == L"USER") return HKEY_CURRENT_USER;
    WriteRootKey(L"USER");
    return HKEY_CURRENT_USER;
}

void WriteRootKey(const std::wstring& value) { WriteStringUnder(HKEY_CURRENT_USER, kSettingsKey, L"Rootkey", value); }

bool RegKeyExists(HKEY root, const std::wstring& key) { return KeyExistsUnder(root, key); }

std::wstring RegReadString(HKEY root, const std::wstring& key, const std::wstring& name) {
    return ReadStringUnder(root, key, name);
}

std::wstring RegReadStringOrInit(HKEY root, const std::wstring& key, const std::wstring& name,
                                 const std::wstring& defaultValue) {
    const std::wstring stored = RegReadString(root, key, name);
    if (!stored.empty()) return stored;
    // Storing the default is what fills in a fresh machine's settings; on a
    // root the user may not write this is also where that shows up.
    RegWriteString(root, key, name, defaultValue);
    return defaultValue;
}

void RegWriteString(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& value) {
    WriteStringUnder(root, key, name, value);
}
