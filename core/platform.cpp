#include "core/platform.h"

#include <vector>

#include "core/ansi.h"
#include "core/errors.h"

namespace gv {

std::wstring ExeDirectory() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n < buffer.size()) {
            std::wstring path(buffer.data(), n);
            const auto slash = path.find_last_of(L"\\/");
            if (slash == std::wstring::npos) {
                return path;
            }
            // "C:\grindvakt.exe" keeps the root's separator: "C:\".
            const bool root = slash == 2 && path[1] == L':';
            return path.substr(0, root ? slash + 1 : slash);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring NumberText(long long value) {
    const bool negative = value < 0;
    unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value)
                                            : static_cast<unsigned long long>(value);
    std::wstring digits;
    do {
        digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    return negative ? L"-" + digits : digits;
}

std::wstring WindowText(HWND hwnd) {
    const int length = ::GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = ::GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return text;
}

std::wstring SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n ? std::wstring(buffer, n) : L"";
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
        text.pop_back();
    }
    return text;
}

void RaiseSystemError(DWORD code, std::wstring_view what) {
    if (code == ERROR_SUCCESS) {
        Raise(err::OutOfMemory);
    }
    std::wstring text = SystemMessage(code);
    if (!what.empty()) {
        text += L" (";
        text += what;
        text += L")";
    }
    throw RuntimeError(static_cast<int>(code), ToUtf8(text));
}

}  // namespace gv
