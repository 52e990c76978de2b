// Owners for Win32 handles, and the few platform facts the program needs.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>

namespace gv {

// One non-copyable, movable owner per handle kind; the empty value is part of the type.
template <typename Traits>
class Unique {
  public:
    using Handle = typename Traits::Handle;

    Unique() = default;
    explicit Unique(Handle h) noexcept : h_(h) {}
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    Unique(Unique&& other) noexcept : h_(std::exchange(other.h_, Traits::Empty())) {}
    Unique& operator=(Unique&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.h_, Traits::Empty()));
        }
        return *this;
    }
    ~Unique() { reset(); }

    Handle get() const noexcept { return h_; }
    // Hands the handle to a new owner, such as a window that destroys it with itself.
    Handle release() noexcept { return std::exchange(h_, Traits::Empty()); }
    explicit operator bool() const noexcept { return h_ != Traits::Empty(); }
    Handle* put() noexcept {
        reset();
        return &h_;
    }
    void reset(Handle h = Traits::Empty()) noexcept {
        if (h_ != Traits::Empty()) {
            Traits::Close(h_);
        }
        h_ = h;
    }

  private:
    Handle h_ = Traits::Empty();
};

struct FileTraits {
    using Handle = HANDLE;
    static Handle Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { ::CloseHandle(h); }
};
struct KernelTraits {
    using Handle = HANDLE;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::CloseHandle(h); }
};
struct KeyTraits {
    using Handle = HKEY;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::RegCloseKey(h); }
};
struct FindTraits {
    using Handle = HANDLE;
    static Handle Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { ::FindClose(h); }
};
struct FontTraits {
    using Handle = HFONT;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DeleteObject(h); }
};
struct IconTraits {
    using Handle = HICON;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DestroyIcon(h); }
};

struct MenuTraits {
    using Handle = HMENU;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DestroyMenu(h); }
};

// Memory the system allocated with LocalAlloc for the caller, such as a converted SID string.
template <typename T>
struct LocalTraits {
    using Handle = T*;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::LocalFree(h); }
};

using UniqueFile = Unique<FileTraits>;
using UniqueHandle = Unique<KernelTraits>;
using UniqueKey = Unique<KeyTraits>;
using UniqueFind = Unique<FindTraits>;
using UniqueFont = Unique<FontTraits>;
using UniqueIcon = Unique<IconTraits>;
using UniqueMenu = Unique<MenuTraits>;
template <typename T>
using UniqueLocal = Unique<LocalTraits<T>>;

// A window's device context, released with the window it came from.
class WindowDC {
  public:
    explicit WindowDC(HWND hwnd) noexcept : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() {
        if (dc_) {
            ::ReleaseDC(hwnd_, dc_);
        }
    }
    HDC get() const noexcept { return dc_; }

  private:
    HWND hwnd_;
    HDC dc_;
};

// Selects an object into a DC for one scope.
class SelectObjectScope {
  public:
    SelectObjectScope(HDC dc, HGDIOBJ obj) noexcept : dc_(dc), old_(::SelectObject(dc, obj)) {}
    SelectObjectScope(const SelectObjectScope&) = delete;
    SelectObjectScope& operator=(const SelectObjectScope&) = delete;
    ~SelectObjectScope() { ::SelectObject(dc_, old_); }

  private:
    HDC dc_;
    HGDIOBJ old_;
};

// The folder of the running executable, without a trailing separator
// (a drive root keeps its separator).
std::wstring ExeDirectory();

// A number as decimal digits; small, without the C library's formatting machinery.
std::wstring NumberText(long long value);

// The text of a window or control.
std::wstring WindowText(HWND hwnd);

// The Windows error text of an error code, without the trailing line break.
std::wstring SystemMessage(DWORD code);

// Raises a Win32 error code as a run-time error with the system's text, naming
// what failed. A call that failed without saying why raises "out of memory".
[[noreturn]] void RaiseSystemError(DWORD code, std::wstring_view what = {});

}  // namespace gv
