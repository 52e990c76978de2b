#include "core/app.h"

#include <new>
#include <string>

#include "core/ansi.h"
#include "core/form.h"

namespace gv::app {
namespace {

bool g_failing = false;

// Keys can run handlers from here, outside any window procedure, so this is a
// boundary for escaped errors too.
void Dispatch(MSG& msg) {
    try {
        if (msg.hwnd && !g_failing) {
            if (Form* form = Form::FromHwnd(::GetAncestor(msg.hwnd, GA_ROOT))) {
                if (form->PreTranslate(msg)) {
                    return;
                }
            }
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    } catch (...) {
        FatalCurrentException();
    }
}

}  // namespace

int Run(const std::function<void()>& start) {
    try {
        start();
    } catch (...) {
        FatalCurrentException();
    }
    MSG msg{};
    for (;;) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            break;
        }
        Dispatch(msg);
    }
    return static_cast<int>(msg.wParam);
}

void PumpUntil(const std::function<bool()>& done) {
    MSG msg{};
    while (!done()) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // Leave WM_QUIT for the outermost loop.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (got == -1) {
            return;
        }
        Dispatch(msg);
    }
}

void End() {
    ::ExitProcess(0);
}

std::wstring ReasonOf(const RuntimeError& error) {
    return L"Orsak: " + FromUtf8(error.Text()) + L" (fel " + NumberText(error.Number()) + L").";
}

bool Failing() {
    return g_failing;
}

void Fatal(const RuntimeError& error) {
    g_failing = true;
    const std::wstring number = L"Körfel '" + NumberText(error.Number()) + L"':";
    const std::wstring reason = FromUtf8(error.Text());
    // Before the box, which may never show (no desktop) or never be answered.
    const std::wstring line = std::wstring(kAppTitle) + L": " + number + L" " + reason + L"\n";
    ::OutputDebugStringW(line.c_str());
    MsgBox(number + L"\r\n\r\n" + reason, MB_OK | MB_ICONERROR);
    ::ExitProcess(kFatalExitCode);
}

void FatalCurrentException() {
    try {
        throw;
    } catch (const RuntimeError& e) {
        Fatal(e);
    } catch (const std::bad_alloc&) {
        Fatal(RuntimeError(err::OutOfMemory));
    } catch (...) {
        Fatal(RuntimeError(51, "Internt fel"));
    }
}

int MsgBox(std::wstring_view text, UINT style, std::wstring_view title) {
    HWND owner = ::GetActiveWindow();
    if (owner && !Form::FromHwnd(owner)) {
        owner = nullptr;
    }
    const std::wstring t(text);
    const std::wstring caption = title.empty() ? std::wstring(kAppTitle) : std::wstring(title);
    return ::MessageBoxW(owner, t.c_str(), caption.c_str(), style);
}

}  // namespace gv::app
