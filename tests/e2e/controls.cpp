// Windows and controls seen from outside, geometry, and screenshots.
#include "tests/e2e/driver.h"

#include <algorithm>

#include "core/platform.h"

namespace e2e {
namespace {

constexpr DWORD kPaintWaitMs = 3000;

// The program's own owners, and two more of the same kind for the screenshots.
struct MemoryDcTraits {
    using Handle = HDC;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DeleteDC(h); }
};
struct BitmapTraits {
    using Handle = HBITMAP;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DeleteObject(h); }
};
using MemoryDc = gv::Unique<MemoryDcTraits>;
using Bitmap = gv::Unique<BitmapTraits>;

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool NeedsPaint(HWND window) {
    if (::GetUpdateRect(window, nullptr, FALSE)) {
        return true;
    }
    BOOL pending = FALSE;
    ::EnumChildWindows(
        window,
        [](HWND child, LPARAM param) -> BOOL {
            if (::GetUpdateRect(child, nullptr, FALSE)) {
                *reinterpret_cast<BOOL*>(param) = TRUE;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&pending));
    return pending != FALSE;
}

}  // namespace

// --- Windows and controls ------------------------------------------------

std::vector<HWND> FindControls(HWND parent, std::wstring_view className) {
    struct State {
        std::wstring_view cls;
        std::vector<HWND> found;
    } state{className, {}};
    ::EnumChildWindows(
        parent,
        [](HWND hwnd, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<State*>(param);
            if (EqualsNoCase(ClassOf(hwnd), s->cls)) {
                s->found.push_back(hwnd);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&state));
    return state.found;
}

HWND FindControl(HWND parent, std::wstring_view className,
                 std::optional<std::wstring_view> caption) {
    for (HWND hwnd : FindControls(parent, className)) {
        if (!caption || Text(hwnd) == *caption) {
            return hwnd;
        }
    }
    return nullptr;
}

std::wstring Text(HWND hwnd) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                               &length)) {
        return {};
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                               SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
        return {};
    }
    text.resize(std::min<std::size_t>(copied, length));
    return text;
}

bool SetText(HWND hwnd, std::wstring_view text) {
    const std::wstring copy(text);
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(copy.c_str()),
                                 SMTO_ABORTIFHUNG, kSendTimeoutMs, &result) &&
           result == TRUE;
}

bool Click(HWND button) {
    return button && ::PostMessageW(button, BM_CLICK, 0, 0);
}

bool CloseBox(HWND window) {
    return window && ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool WaitUntilGone(HWND hwnd, DWORD timeoutMs) {
    return WaitUntil([hwnd] { return !::IsWindow(hwnd); }, timeoutMs);
}

bool Dismiss(const MessageBoxInfo& box, DWORD timeoutMs) {
    HWND button = ::GetDlgItem(box.hwnd, IDOK);
    if (!button || !::IsWindowVisible(button)) {
        button = ::GetDlgItem(box.hwnd, IDCANCEL);
    }
    return Click(button) && WaitUntilGone(box.hwnd, timeoutMs);
}

// --- Geometry ------------------------------------------------------------

RECT ScreenRect(HWND window) {
    RECT rc{};
    ::GetWindowRect(window, &rc);
    return rc;
}

RECT WorkArea() {
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    ::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &mi);
    return mi.rcWork;
}

SIZE TextExtent(std::wstring_view text, std::wstring_view face, int points, int dpi, bool lines) {
    const std::wstring faceName(face);
    const gv::UniqueFont font(::CreateFontW(-::MulDiv(points, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE,
                                            FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                            DEFAULT_PITCH | FF_SWISS, faceName.c_str()));
    const gv::WindowDC screen(nullptr);
    const gv::SelectObjectScope select(screen.get(), font.get());
    RECT extent{0, 0, 0, 0};
    const std::wstring copy(text);
    ::DrawTextW(screen.get(), copy.c_str(), static_cast<int>(copy.size()), &extent,
                DT_CALCRECT | DT_LEFT | (lines ? 0 : DT_SINGLELINE));
    return SIZE{extent.right, extent.bottom};
}

// --- Screenshots ---------------------------------------------------------

std::optional<std::wstring> ShotsFolder() {
    std::wstring folder = gvtest::Env(L"GV_SHOTS");
    if (folder.empty()) {
        return std::nullopt;
    }
    return folder;
}

bool SaveScreenshot(HWND window, const std::wstring& path) {
    // Have the program paint everything afresh, and wait until it has; an
    // immediate repaint would be a send that a hung program never answers.
    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    WaitUntil([window] { return !NeedsPaint(window); }, kPaintWaitMs);

    const RECT rc = ScreenRect(window);
    const int width = rc.right - rc.left;
    const int height = rc.bottom - rc.top;
    if (width <= 0 || height <= 0) {
        return false;
    }
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = height;  // bottom-up, as .bmp files store rows
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD imageSize = stride * static_cast<DWORD>(height);
    bi.bmiHeader.biSizeImage = imageSize;

    const gv::WindowDC screen(nullptr);
    const MemoryDc memory(::CreateCompatibleDC(screen.get()));
    void* bits = nullptr;
    const Bitmap bitmap(::CreateDIBSection(screen.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) {
        return false;
    }
    {
        const gv::SelectObjectScope select(memory.get(), bitmap.get());
        if (!::BitBlt(memory.get(), 0, 0, width, height, screen.get(), rc.left, rc.top,
                      SRCCOPY | CAPTUREBLT)) {
            return false;
        }
    }
    ::GdiFlush();

    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;  // "BM"
    header.bfOffBits = sizeof header + sizeof bi.bmiHeader;
    header.bfSize = header.bfOffBits + imageSize;
    gv::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    DWORD wrote = 0;
    return ::WriteFile(file.get(), &header, sizeof header, &wrote, nullptr) &&
           ::WriteFile(file.get(), &bi.bmiHeader, sizeof bi.bmiHeader, &wrote, nullptr) &&
           ::WriteFile(file.get(), bits, imageSize, &wrote, nullptr) && wrote == imageSize;
}

}  // namespace e2e
