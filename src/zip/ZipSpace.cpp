#include "zip/ZipSpace.h"

#include <windows.h>

#include <cstdint>

#include "net/SideFiles.h"

namespace zipspace {
namespace {

uint64_t AddCapped(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

// Each file takes whole clusters; the margin covers the folders, the growth
// of the directories and what other programs write meanwhile. Declared sizes
// come from the archive, so the sum must not wrap.
uint64_t SpaceNeeded(const std::vector<zipread::Entry>& entries, uint64_t cluster) {
    uint64_t sum = 0;
    for (const zipread::Entry& e : entries) {
        const uint64_t clusters = e.uncompressedSize / cluster + (e.uncompressedSize % cluster != 0);
        sum = AddCapped(sum, clusters > UINT64_MAX / cluster ? UINT64_MAX : clusters * cluster);
    }
    return AddCapped(AddCapped(sum, uint64_t{1} << 20), sum / 100);
}

// "C:\\" or "\\\\server\\share\\" of a full path; empty when it has neither form.
std::wstring RootOf(const std::wstring& full) {
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return full.substr(0, 3);
    if (full.rfind(L"\\\\", 0) != 0 || full.rfind(L"\\\\?\\", 0) == 0) return {};
    const size_t server = full.find(L'\\', 2);
    if (server == std::wstring::npos) return {};
    const size_t share = full.find(L'\\', server + 1);
    return share == std::wstring::npos ? full + L'\\' : full.substr(0, share + 1);
}

// Bytes free to this user on the target's drive (quotas included); false when
// the system does not say. The target folder itself answers for a volume
// mounted below the root; it need not exist yet.
bool FreeBytes(const std::wstring& base, const std::wstring& root, uint64_t* bytes) {
    ULARGE_INTEGER avail{};
    if (!GetDiskFreeSpaceExW(ApiPath(base).c_str(), &avail, nullptr, nullptr) &&
        (root.empty() || !GetDiskFreeSpaceExW(root.c_str(), &avail, nullptr, nullptr)))
        return false;
    *bytes = avail.QuadPart;
    return true;
}

uint64_t ClusterSize(const std::wstring& root) {
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (!root.empty() &&
        GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters) &&
        sectorsPerCluster != 0 && bytesPerSector != 0)
        return uint64_t{sectorsPerCluster} * bytesPerSector;
    return 4096;
}

// "1,5 GB", as Explorer shows sizes to a German user.
std::wstring SizeText(uint64_t bytes) {
    if (bytes < 1024) return std::to_wstring(bytes) + L" Bytes";
    static const wchar_t* const units[] = {L"KB", L"MB", L"GB", L"TB"};
    size_t u = 0;
    uint64_t unit = 1024;
    while (u + 1 < sizeof units / sizeof units[0] && bytes / unit >= 1024) {
        unit *= 1024;
        ++u;
    }
    uint64_t whole = bytes / unit, tenths = ((bytes % unit) * 10 + unit / 2) / unit;
    if (tenths == 10) {
        ++whole;
        tenths = 0;
    }
    return std::to_wstring(whole) + L"," + std::to_wstring(tenths) + L" " + units[u];
}

}  // namespace

std::wstring NoRoomText(const std::vector<zipread::Entry>& entries, const std::wstring& base,
                        const std::wstring& archive) {
    const std::wstring root = RootOf(base);
    uint64_t freeBytes = 0;
    if (!FreeBytes(base, root, &freeBytes)) return {};
    const uint64_t needed = SpaceNeeded(entries, ClusterSize(root));
    if (needed <= freeBytes) return {};
    return L"Das Archiv \"" + archive + L"\" braucht " + SizeText(needed) + L", auf dem Ziellaufwerk sind nur " +
           SizeText(freeBytes) + L" frei. Es wird nicht entpackt.";
}

}  // namespace zipspace
