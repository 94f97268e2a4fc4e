#pragma once
// Thin owning wrappers for the handle kinds the program uses. Each closes its
// handle on every way out of a scope, errors included.
#include <windows.h>
#include <wininet.h>
#include <utility>

template <typename T, typename Traits>
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(T h) noexcept : h_(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    T get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != Traits::invalid(); }
    T release() noexcept { return std::exchange(h_, Traits::invalid()); }
    void reset(T h = Traits::invalid()) noexcept {
        if (h_ != Traits::invalid()) Traits::close(h_);
        h_ = h;
    }
    // For out-parameters of APIs that create a handle.
    T* put() noexcept { reset(); return &h_; }

private:
    T h_ = Traits::invalid();
};

struct RegKeyTraits {
    static HKEY invalid() noexcept { return nullptr; }
    static void close(HKEY h) noexcept { RegCloseKey(h); }
};
struct InetTraits {
    static HINTERNET invalid() noexcept { return nullptr; }
    static void close(HINTERNET h) noexcept { InternetCloseHandle(h); }
};
struct FileTraits {
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { CloseHandle(h); }
};
struct KernelTraits {
    static HANDLE invalid() noexcept { return nullptr; }
    static void close(HANDLE h) noexcept { CloseHandle(h); }
};
struct GdiTraits {
    static HGDIOBJ invalid() noexcept { return nullptr; }
    static void close(HGDIOBJ h) noexcept { DeleteObject(h); }
};
struct IconTraits {
    static HICON invalid() noexcept { return nullptr; }
    static void close(HICON h) noexcept { DestroyIcon(h); }
};

using RegKey = UniqueHandle<HKEY, RegKeyTraits>;
using InetHandle = UniqueHandle<HINTERNET, InetTraits>;
using FileHandle = UniqueHandle<HANDLE, FileTraits>;
using KernelHandle = UniqueHandle<HANDLE, KernelTraits>;
using GdiObject = UniqueHandle<HGDIOBJ, GdiTraits>;
using IconHandle = UniqueHandle<HICON, IconTraits>;
