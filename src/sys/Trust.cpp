#include "sys/Trust.h"

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "sys/Handles.h"
#include "res/listkey.h"

namespace {

struct CryptProvTraits {
    static HCRYPTPROV invalid() noexcept { return 0; }
    static void close(HCRYPTPROV h) noexcept { CryptReleaseContext(h, 0); }
};
struct CryptKeyTraits {
    static HCRYPTKEY invalid() noexcept { return 0; }
    static void close(HCRYPTKEY h) noexcept { CryptDestroyKey(h); }
};
struct CryptHashTraits {
    static HCRYPTHASH invalid() noexcept { return 0; }
    static void close(HCRYPTHASH h) noexcept { CryptDestroyHash(h); }
};
// A key or hash must go before the context it came from: declare the
// context first so it is released last.
using CryptProv = UniqueHandle<HCRYPTPROV, CryptProvTraits>;
using CryptKey = UniqueHandle<HCRYPTKEY, CryptKeyTraits>;
using CryptHash = UniqueHandle<HCRYPTHASH, CryptHashTraits>;

// SHA-256 came to CryptoAPI with XP SP3 (PROV_RSA_AES); the headers show it
// only to builds aimed above XP SP2, and this one aims at XP.
constexpr ALG_ID kSha256 = ALG_CLASS_HASH | ALG_TYPE_ANY | 12 /* ALG_SID_SHA_256 */;

constexpr DWORD kReadBlock = 64 * 1024;
// A PEM public key is a few kilobytes even for the largest RSA keys a
// provider takes; anything far beyond is not one.
constexpr size_t kMaxPemChars = 64 * 1024;

// RSA and SHA-256 without a key container of the user's: nothing is stored.
// One provider for the program's life: acquiring one loads the provider's
// DLL and releasing the last one unloads it again, which under Wine costs
// more than hashing a small file, and a run checks one digest per file.
// A provider without key container is safe to share between threads.
HCRYPTPROV AesProvider() {
    static const CryptProv shared = [] {
        CryptProv prov;
        if (!CryptAcquireContextW(prov.put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) prov.reset();
        return prov;
    }();
    return shared.get();
}

bool HashBytes(const CryptHash& hash, const unsigned char* data, size_t size) {
    while (size > 0) {
        const DWORD part = static_cast<DWORD>(std::min<size_t>(size, kReadBlock));
        if (!CryptHashData(hash.get(), data, part, 0)) return false;
        data += part;
        size -= part;
    }
    return true;
}

bool ReadDigest(const CryptHash& hash, Sha256Digest* out) {
    Sha256Digest value{};
    DWORD size = static_cast<DWORD>(value.size());
    if (!CryptGetHashParam(hash.get(), HP_HASHVAL, value.data(), &size, 0) || size != value.size()) return false;
    *out = value;
    return true;
}

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

bool PemToDer(const std::string& pem, std::vector<BYTE>* der) {
    if (pem.empty() || pem.size() > kMaxPemChars) return false;
    const DWORD chars = static_cast<DWORD>(pem.size());
    DWORD size = 0;
    if (!lazy::CryptStringToBinaryA(pem.data(), chars, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr) ||
        size == 0)
        return false;
    der->resize(size);
    if (!lazy::CryptStringToBinaryA(pem.data(), chars, CRYPT_STRING_BASE64HEADER, der->data(), &size, nullptr, nullptr))
        return false;
    der->resize(size);
    return true;
}

// The key of a SubjectPublicKeyInfo, if it is an RSA key of at least
// kMinListKeyBits; *bits gets its size.
bool ImportRsaKey(HCRYPTPROV prov, const std::vector<BYTE>& der, CryptKey* key, DWORD* bits) {
    CERT_PUBLIC_KEY_INFO* info = nullptr;
    DWORD infoSize = 0;
    if (!lazy::CryptDecodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, der.data(), static_cast<DWORD>(der.size()),
                             CRYPT_DECODE_ALLOC_FLAG, nullptr, &info, &infoSize))
        return false;
    const LocalMem owner(info);
    if (!info->Algorithm.pszObjId || std::strcmp(info->Algorithm.pszObjId, szOID_RSA_RSA) != 0) return false;
    if (!lazy::CryptImportPublicKeyInfo(prov, X509_ASN_ENCODING, info, key->put())) return false;
    DWORD size = sizeof(*bits);
    if (!CryptGetKeyParam(key->get(), KP_KEYLEN, reinterpret_cast<BYTE*>(bits), &size, 0)) return false;
    return *bits >= kMinListKeyBits;
}

}  // namespace

bool ParseDigest(const std::wstring& value, Sha256Digest* out) {
    static const std::wstring prefix = L"sha256:";
    Sha256Digest digest{};
    if (value.size() != prefix.size() + 2 * digest.size() || value.compare(0, prefix.size(), prefix) != 0)
        return false;
    for (size_t i = 0; i < digest.size(); ++i) {
        const int high = HexValue(value[prefix.size() + 2 * i]);
        const int low = HexValue(value[prefix.size() + 2 * i + 1]);
        if (high < 0 || low < 0) return false;
        digest[i] = static_cast<unsigned char>(high * 16 + low);
    }
    *out = digest;
    return true;
}

bool BytesSha256(const std::string& bytes, Sha256Digest* out) {
    const HCRYPTPROV prov = AesProvider();
    CryptHash hash;
    if (!prov || !CryptCreateHash(prov, kSha256, 0, 0, hash.put())) return false;
    if (!HashBytes(hash, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size())) return false;
    return ReadDigest(hash, out);
}

bool FileSha256(const std::wstring& path, Sha256Digest* out) {
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;
    const HCRYPTPROV prov = AesProvider();
    CryptHash hash;
    if (!prov || !CryptCreateHash(prov, kSha256, 0, 0, hash.put())) return false;
    std::vector<BYTE> block(kReadBlock);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), block.data(), kReadBlock, &got, nullptr)) return false;
        if (got == 0) break;
        if (!CryptHashData(hash.get(), block.data(), got, 0)) return false;
    }
    return ReadDigest(hash, out);
}

bool VerifyListSignature(const std::string& listBytes, const std::string& signature,
                         const std::string& publicKeyPem) {
    if (signature.empty()) return false;
    std::vector<BYTE> der;
    if (!PemToDer(publicKeyPem, &der)) return false;
    const HCRYPTPROV prov = AesProvider();
    CryptKey key;
    DWORD bits = 0;
    if (!prov || !ImportRsaKey(prov, der, &key, &bits)) return false;
    // An RSA signature is exactly as long as the key's modulus.
    if (signature.size() != (bits + 7) / 8) return false;
    CryptHash hash;
    if (!CryptCreateHash(prov, kSha256, 0, 0, hash.put())) return false;
    if (!HashBytes(hash, reinterpret_cast<const unsigned char*>(listBytes.data()), listBytes.size())) return false;
    // CryptoAPI takes the signature least significant byte first.
    const std::vector<BYTE> reversed(signature.rbegin(), signature.rend());
    return CryptVerifySignatureW(hash.get(), reversed.data(), static_cast<DWORD>(reversed.size()), key.get(),
                                 nullptr, 0) != FALSE;
}

std::string EmbeddedListKey() {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDR_LIST_KEY), MAKEINTRESOURCEW(10) /* RCDATA */);
    if (!found) return std::string();
    const HGLOBAL loaded = LoadResource(module, found);
    const DWORD size = SizeofResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return std::string();
    return std::string(static_cast<const char*>(data), size);
}

std::vector<std::string> EmbeddedListKeys() {
    const std::string all = EmbeddedListKey();
    const std::string begin = "-----BEGIN PUBLIC KEY-----", end = "-----END PUBLIC KEY-----";
    std::vector<std::string> keys;
    for (size_t at = all.find(begin); at != std::string::npos; at = all.find(begin, at)) {
        const size_t stop = all.find(end, at);
        if (stop == std::string::npos) break;
        keys.push_back(all.substr(at, stop + end.size() - at) + "\n");
        at = stop + end.size();
    }
    return keys;
}
