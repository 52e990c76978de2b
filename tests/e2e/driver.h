// Drives grindvakt.exe from outside, as a user would: every case gets its own
// copy of the program in a fresh folder, finds its windows by caption and its
// controls by class and caption, and posts keys and clicks to them. Every wait
// is bounded, so a program that hangs fails its case instead of the suite.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/platform.h"
#include "tests/windows/support.h"

namespace e2e {

using Bytes = std::vector<std::uint8_t>;
using gvtest::ClassOf, gvtest::Hex, gvtest::RectInParent, gvtest::WindowDpi;

// Generous: a loaded machine under Wine can take seconds to show a window.
inline constexpr DWORD kTimeoutMs = 15000;
// A send to a window of the program gives up after this long, should it hang.
inline constexpr UINT kSendTimeoutMs = 5000;

// A run the driver ends itself; 1 is left to Wine, which ends a failed start with it.
inline constexpr UINT kKilledByDriver = 0xE2E;

// "pid 0x2c: exit code 1 (...) after 0.38 s", or "pid 0x2c: still running after 3.10 s".
std::string RunLine(HANDLE process, DWORD id);

// A Win32 failure while preparing a case, with the call and its error code.
[[noreturn]] void Fail(std::string_view what, DWORD code = ::GetLastError());

std::string Utf8(std::wstring_view text);

// The visible top-level windows of a process.
std::vector<HWND> TopLevelOf(DWORD processId);

// Polls until done() holds; false when the time ran out.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = kTimeoutMs);

struct MessageBoxInfo {
    HWND hwnd = nullptr;
    std::wstring title;
    std::wstring text;
    bool hasIcon = false;
    std::vector<int> buttons;  // ids of the visible buttons, left to right
};

// One run (or several runs in turn) of a private copy of the program.
class Session {
  public:
    // A fresh folder holding a copy of the program named by GV_EXE. Not started yet.
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const std::wstring& Folder() const noexcept { return programFolder_; }
    // Runs an installed program in its own folder from now on, instead of the copy;
    // the folder is left as it is when the session ends.
    void UseProgram(const std::wstring& exe);
    std::wstring PasswordFilePath() const;

    // Preparing the password file before a start.
    void WritePasswordFile(const Bytes& content) const;
    void MakeDirectoryAtPasswordFile() const;
    // Opens the file with share mode 0, so no other process can open it.
    void HoldPasswordFile();
    void ReleasePasswordFile();
    // Nothing when the file is missing or cannot be read.
    std::optional<Bytes> ReadPasswordFile() const;

    // Starts the program; a second start needs the first run to have ended.
    void Start();
    bool Running() const;
    // The exit code, or nothing when the run did not end in time.
    std::optional<DWORD> WaitForExit(DWORD timeoutMs = kTimeoutMs) const;
    // Every start so far, one line each: its process id, how long it ran and how it
    // ended. Wine's log of the case (scripts/wine-run.sh) marks each start by its id.
    std::string Story() const;
    // From now on until the run ends, the program's option buttons check themselves
    // when they get the focus, as Windows' do (a hook in the program's thread).
    void EmulateWindowsOptionButtons();

    // Visible top-level windows of the run other than message boxes.
    std::vector<HWND> Windows() const;
    HWND FindWindowNamed(std::wstring_view caption) const;
    HWND WaitForWindow(std::wstring_view caption, DWORD timeoutMs = kTimeoutMs) const;

    std::optional<MessageBoxInfo> FindMessageBox() const;
    std::optional<MessageBoxInfo> WaitForMessageBox(DWORD timeoutMs = kTimeoutMs) const;

    // The control that has the keyboard focus in the program's thread.
    HWND Focus() const;
    bool WaitForFocus(HWND control, DWORD timeoutMs = kTimeoutMs) const;

    // Keys go to the focused control, as the keyboard would send them.
    bool PressKey(WORD vk) const;
    // Alt+letter: the access key of a control; the letter as shown in its caption.
    bool PressAltKey(wchar_t letter) const;

  private:
    struct HookTraits {
        using Handle = HHOOK;
        static Handle Empty() noexcept { return nullptr; }
        static void Close(Handle h) noexcept { ::UnhookWindowsHookEx(h); }
    };

    gvtest::TempFolder folder_;
    std::wstring programFolder_ = folder_.Path();
    std::wstring exe_;
    gv::UniqueHandle process_;
    DWORD processId_ = 0;
    std::vector<std::string> ended_;  // the lines of the earlier starts
    DWORD threadId_ = 0;
    gv::UniqueFile held_;
    gv::Unique<HookTraits> radioHook_;
};

// Children of a window (at any depth) by class, compared without case, and
// optionally by exact caption. Null when there is none.
HWND FindControl(HWND parent, std::wstring_view className,
                 std::optional<std::wstring_view> caption = std::nullopt);
std::vector<HWND> FindControls(HWND parent, std::wstring_view className);

std::wstring Text(HWND hwnd);
bool SetText(HWND hwnd, std::wstring_view text);
// Posted, never sent: the click may open a modal box that would block a send.
bool Click(HWND button);
// The title bar's close box.
bool CloseBox(HWND window);
bool WaitUntilGone(HWND hwnd, DWORD timeoutMs = kTimeoutMs);

// Clicks the box's OK (or its only) button and waits until the box is gone.
bool Dismiss(const MessageBoxInfo& box, DWORD timeoutMs = kTimeoutMs);

// Geometry in pixels.
RECT ScreenRect(HWND window);
RECT WorkArea();
// The extent of text in the given font, measured here: one line, or with `lines`
// the widest of its lines by the height of them all.
SIZE TextExtent(std::wstring_view text, std::wstring_view face, int points, int dpi,
                bool lines = false);

// The folder named by GV_SHOTS, when screenshots are wanted.
std::optional<std::wstring> ShotsFolder();
// Copies the window's on-screen rectangle into a 24-bit .bmp file.
bool SaveScreenshot(HWND window, const std::wstring& path);

}  // namespace e2e
