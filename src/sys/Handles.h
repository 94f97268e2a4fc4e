#pragma once
// Thin owning wrappers for the handle kinds the program uses. Each closes its
// handle on every way out of a scope, errors included.
#include <windows.h>
#include <ole2.h>
#include <wininet.h>
#include <utility>

#include "sys/LazyDlls.h"

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
    static void close(HINTERNET h) noexcept { lazy::InternetCloseHandle(h); }
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

struct LocalMemTraits {
    static HLOCAL invalid() noexcept { return nullptr; }
    static void close(HLOCAL h) noexcept { LocalFree(h); }
};
struct MemoryDcTraits {
    static HDC invalid() noexcept { return nullptr; }
    static void close(HDC h) noexcept { DeleteDC(h); }
};

using RegKey = UniqueHandle<HKEY, RegKeyTraits>;
using InetHandle = UniqueHandle<HINTERNET, InetTraits>;
using FileHandle = UniqueHandle<HANDLE, FileTraits>;
using KernelHandle = UniqueHandle<HANDLE, KernelTraits>;
using GdiObject = UniqueHandle<HGDIOBJ, GdiTraits>;
using IconHandle = UniqueHandle<HICON, IconTraits>;
// Memory the system allocated for the caller (LocalAlloc, CRYPT_DECODE_ALLOC_FLAG).
using LocalMem = UniqueHandle<HLOCAL, LocalMemTraits>;
// A device context from CreateCompatibleDC.
using MemoryDC = UniqueHandle<HDC, MemoryDcTraits>;

// A window's device context from GetDC: it is given back to that window, so
// the window travels with it.
class WindowDC {
public:
    explicit WindowDC(HWND hwnd) noexcept : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
    ~WindowDC() { reset(); }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    WindowDC(WindowDC&& o) noexcept : hwnd_(o.hwnd_), dc_(std::exchange(o.dc_, nullptr)) {}
    WindowDC& operator=(WindowDC&& o) noexcept {
        if (this != &o) {
            reset();
            hwnd_ = o.hwnd_;
            dc_ = std::exchange(o.dc_, nullptr);
        }
        return *this;
    }
    HDC get() const noexcept { return dc_; }

private:
    void reset() noexcept {
        if (dc_) ReleaseDC(hwnd_, std::exchange(dc_, nullptr));
    }

    HWND hwnd_;
    HDC dc_;
};

// An object selected into a device context. Whatever it displaced goes back
// in when the scope ends, so the context is never handed on (or deleted)
// still holding a font or bitmap that its owner may free.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(SelectObject(dc, object)) {}
    ~SelectedObject() { restore(); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    SelectedObject(SelectedObject&& o) noexcept : dc_(o.dc_), old_(std::exchange(o.old_, nullptr)) {}
    SelectedObject& operator=(SelectedObject&& o) noexcept {
        if (this != &o) {
            restore();
            dc_ = o.dc_;
            old_ = std::exchange(o.old_, nullptr);
        }
        return *this;
    }

private:
    // A failed selection displaced nothing, so there is nothing to put back.
    void restore() noexcept {
        if (old_) SelectObject(dc_, std::exchange(old_, nullptr));
    }

    HDC dc_;
    HGDIOBJ old_;
};

// One reference to a COM interface, released on every way out.
template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    // For out-parameters of APIs that hand out an interface.
    T** put() noexcept {
        reset();
        return &p_;
    }
    void reset() noexcept {
        if (p_) std::exchange(p_, nullptr)->Release();
    }

private:
    T* p_ = nullptr;
};

// OLE on the calling thread for as long as the scope lasts. The wizard needs
// it only now and then (the folder browser, opening a file in its program),
// and taking it up front would load COM before the window can show.
class OleScope {
public:
    OleScope() noexcept : ok_(SUCCEEDED(lazy::OleInitialize(nullptr))) {}
    ~OleScope() {
        if (ok_) lazy::OleUninitialize();
    }
    OleScope(const OleScope&) = delete;
    OleScope& operator=(const OleScope&) = delete;

private:
    bool ok_;
};
