#pragma once
// Checks that what the update server sent is what the vendor published: the
// SHA-256 digest an update-list entry names for its file (HashNNN), and the
// vendor's RSA signature over the update list itself (update19.txt.sig).
// Windows CryptoAPI only.
#include <array>
#include <string>
#include <vector>

using Sha256Digest = std::array<unsigned char, 32>;

// Smallest RSA key whose signatures the wizard accepts.
inline constexpr unsigned kMinListKeyBits = 3072;

// "sha256:" followed by exactly 64 hex digits of either case, nothing
// around them; *out is set only on success.
bool ParseDigest(const std::wstring& value, Sha256Digest* out);

// SHA-256 of bytes in memory; false when the system has no SHA-256.
bool BytesSha256(const std::string& bytes, Sha256Digest* out);

// SHA-256 of a whole file, read in 64 KiB blocks; false when the file cannot
// be opened or read, or the system has no SHA-256.
bool FileSha256(const std::wstring& path, Sha256Digest* out);

// True only when `signature` (raw bytes as the tool writes them, most
// significant byte first) is an RSA PKCS#1 v1.5 SHA-256 signature over
// exactly `listBytes` by the key in `publicKeyPem` (PEM SubjectPublicKeyInfo
// "-----BEGIN PUBLIC KEY-----"), and that key has kMinListKeyBits or more.
// An empty or malformed key or signature is false, never an exception.
bool VerifyListSignature(const std::string& listBytes, const std::string& signature,
                         const std::string& publicKeyPem);

// The public key PEMs the build embedded (CMake UPDATE_LIST_PUBLIC_KEY,
// one or more files), as the resource holds them one after the other, or
// empty when this build has none.
std::string EmbeddedListKey();
// The same, one PEM block each: a list signed by any of them is the
// vendor's, so that a key can be changed without stranding the wizards
// already out there.
std::vector<std::string> EmbeddedListKeys();
