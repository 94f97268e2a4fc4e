#include "sys/WinSystem.h"

#include "sys/Handles.h"

namespace {

constexpr const wchar_t* kUserShellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const wchar_t* kMachineVersion = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr const wchar_t* kMachineShellFolders =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// Value names of the per-user shell folders, indices 0 to 16.
constexpr const wchar_t* kUserFolderNames[] = {
    L"Desktop", L"Start Menu", L"Programs", L"Startup",   L"Personal",  L"AppData",
    L"Fonts",   L"SendTo",     L"Recent",  L"Favorites", L"Cache",     L"Cookies",
    L"History", L"NetHood",    L"PrintHood", L"Templates", L"Local AppData"};
// Value names below the machine version key, indices 21 to 26.
constexpr const wchar_t* kMachineFolderNames[] = {L"ProgramFilesDir", L"CommonFilesDir", L"ConfigPath",
                                                  L"DevicePath",      L"MediaPath",      L"WallPaperDir"};

static_assert(sizeof(kUserFolderNames) / sizeof(kUserFolderNames[0]) == 17, "indices 0 to 16");
static_assert(sizeof(kMachineFolderNames) / sizeof(kMachineFolderNames[0]) == 6, "indices 21 to 26");

constexpr uint8_t kFirstSystemCall = 17;
constexpr uint8_t kFirstMachineValue = 21;
constexpr uint8_t kCommonAppData = 27;
constexpr UINT kSystemCallBuffer = 254;

// The keys are opened the way a settings writer would open them: for full
// access. Without administrative rights that fails for the machine-wide keys,
// and the start-up then deliberately falls back to its other sources.
std::wstring ReadFolderValue(HKEY root, const wchar_t* key, const wchar_t* name) {
    RegKey h;
    if (RegCreateKeyExW(root, key, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, h.put(),
                        nullptr) != ERROR_SUCCESS)
        return std::wstring();
    DWORD type = 0;
    wchar_t buf[MAX_PATH * 2] = {};
    DWORD size = sizeof(buf) - sizeof(wchar_t);
    if (RegQueryValueExW(h.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) != ERROR_SUCCESS)
        return std::wstring();
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::wstring();
    return std::wstring(buf, wcsnlen(buf, size / sizeof(wchar_t)));
}

std::wstring SystemCallFolder(uint8_t index) {
    wchar_t buf[kSystemCallBuffer] = {};
    UINT n = 0;
    if (index == 19) {
        n = GetTempPathW(kSystemCallBuffer, buf);
    } else if (index == 17) {
        n = GetWindowsDirectoryW(buf, kSystemCallBuffer);
    } else {
        n = GetSystemDirectoryW(buf, kSystemCallBuffer);
    }
    // A result that does not fit is reported as the size needed, not as text.
    if (n == 0 || n >= kSystemCallBuffer) return std::wstring();
    std::wstring s(buf, n);
    if (index == 20) s.resize(s.size() < 2 ? s.size() : 2);
    return s;
}

}  // namespace

std::wstring GetSpecialFolder(uint8_t index) {
    std::wstring s;
    if (index < kFirstSystemCall) {
        s = ReadFolderValue(HKEY_CURRENT_USER, kUserShellFolders, kUserFolderNames[index]);
    } else if (index < kFirstMachineValue) {
        s = SystemCallFolder(index);
    } else if (index < kCommonAppData) {
        s = ReadFolderValue(HKEY_LOCAL_MACHINE, kMachineVersion, kMachineFolderNames[index - kFirstMachineValue]);
    } else if (index == kCommonAppData) {
        s = ReadFolderValue(HKEY_LOCAL_MACHINE, kMachineShellFolders, L"Common AppData");
    }
    if (!s.empty() && s.back() != L'\\') s += L'\\';
    return s;
}

std::wstring WindowsVersionName(DWORD platformId, DWORD major, DWORD minor) {
    std::wstring name;
    if (platformId == VER_PLATFORM_WIN32_NT) {
        if (major <= 4) name = L"Windows NT " + std::to_wstring(major);
        if (major == 5 && minor == 0) name = L"Windows 2000";
        else if (major == 5) name = L"Windows XP";
        else if (major == 6 && minor == 0) name = L"Windows Vista";
        else if (major == 6 && minor == 1) name = L"Windows 7";
        else if (major == 6 && minor == 2) name = L"Windows 8";
        else if (major == 10 && minor == 0) name = L"Windows 10";
    } else if (platformId == VER_PLATFORM_WIN32_WINDOWS) {
        if (major < 4 || (major == 4 && minor == 0)) name = L"Windows 95";
        else if (minor == 90) name = L"Windows ME";
        else name = L"Windows 98";
    }
    // Win32s is the oldest platform, and also the answer for NT versions
    // newer than this program knows (the start-up refuses those).
    return name.empty() ? L"Win32s" : name;
}

std::wstring GetWindowsVersionName() {
    static_assert(sizeof(OSVERSIONINFOW) == 276, "the record the platform expects");
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExW(&info)) return WindowsVersionName(0, 0, 0);
    return WindowsVersionName(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
}

std::wstring FileTypeSuffix(const std::wstring& name) {
    std::wstring s = name.substr(name.size() < 3 ? 0 : name.size() - 3);
    for (wchar_t& c : s)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return s;
}
