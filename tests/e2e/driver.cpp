#include "tests/e2e/driver.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "core/platform.h"

namespace e2e {
namespace {

constexpr DWORD kPollMs = 15;
constexpr DWORD kStartRetryMs = 2000;
constexpr wchar_t kExeName[] = L"grindvakt.exe";
constexpr wchar_t kPasswordFile[] = L"grindvakt.dat";
constexpr wchar_t kDialogClass[] = L"#32770";
constexpr int kMessageTextId = 0xFFFF;

}  // namespace

std::vector<HWND> TopLevelOf(DWORD processId) {
    struct State {
        DWORD processId;
        std::vector<HWND> found;
    } state{processId, {}};
    ::EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<State*>(param);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hwnd, &pid);
            if (pid == s->processId && ::IsWindowVisible(hwnd)) {
                s->found.push_back(hwnd);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&state));
    return state.found;
}

namespace {

bool IsDialogBox(HWND hwnd) {
    return ClassOf(hwnd) == kDialogClass;
}

// Window text without sending: safe inside enumeration, and enough for top-level captions.
std::wstring CaptionOf(HWND hwnd) {
    wchar_t buffer[512] = {};
    ::GetWindowTextW(hwnd, buffer, 512);
    return buffer;
}

MessageBoxInfo Describe(HWND box) {
    MessageBoxInfo info;
    info.hwnd = box;
    info.title = Text(box);
    if (HWND text = ::GetDlgItem(box, kMessageTextId)) {
        info.text = Text(text);
    }
    std::vector<std::pair<LONG, int>> buttons;
    for (HWND child : FindControls(box, L"Button")) {
        if (::IsWindowVisible(child)) {
            buttons.emplace_back(RectInParent(child).left, ::GetDlgCtrlID(child));
        }
    }
    std::sort(buttons.begin(), buttons.end());
    for (const auto& b : buttons) {
        info.buttons.push_back(b.second);
    }
    // The icon is a visible Static that holds an icon.
    for (HWND child : FindControls(box, L"Static")) {
        if (::IsWindowVisible(child) &&
            (::GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            DWORD_PTR icon = 0;
            if (::SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                                      &icon) &&
                icon != 0) {
                info.hasIcon = true;
            }
        }
    }
    return info;
}

LPARAM KeyData(WORD vk, bool up) {
    const UINT scan = ::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    DWORD data = 1u | (scan << 16);
    if (up) {
        data |= 0xC0000000u;  // previous state down, transition to up
    }
    return static_cast<LPARAM>(data);
}

}  // namespace

void Fail(std::string_view what, DWORD code) {
    throw std::runtime_error(std::string(what) + " failed (error " + std::to_string(code) + ")");
}

std::string Utf8(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                          nullptr, nullptr);
    return out;
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (done()) {
            return true;
        }
        if (::GetTickCount64() >= deadline) {
            return false;
        }
        ::Sleep(kPollMs);
    }
}

// --- Session -------------------------------------------------------------

Session::Session() {
    const std::wstring source = gvtest::Env(L"GV_EXE");
    if (source.empty()) {
        throw std::runtime_error("GV_EXE must name grindvakt.exe (a Windows path)");
    }
    exe_ = folder_.File(kExeName);
    if (!::CopyFileW(source.c_str(), exe_.c_str(), TRUE)) {
        const DWORD code = ::GetLastError();
        Fail("CopyFileW " + Utf8(source), code);
    }
}

Session::~Session() {
    held_.reset();
    radioHook_.reset();
    if (process_) {
        if (Running()) {
            ::TerminateProcess(process_.get(), kKilledByDriver);
        }
        ::WaitForSingleObject(process_.get(), kTimeoutMs);
        process_.reset();
        // Its windows outlive it for a moment; the next case must not see them go.
        WaitUntil([this] { return TopLevelOf(processId_).empty(); }, 3000);
    }
    // The program's files may stay held for a moment after its process has ended.
    WaitUntil([this] { return gvtest::TempFolder::Remove(folder_.Path()); }, 3000);
}

void Session::UseProgram(const std::wstring& exe) {
    if (Running()) {
        throw std::runtime_error("UseProgram: the run has not ended");
    }
    exe_ = exe;
    programFolder_ = exe.substr(0, exe.find_last_of(L'\\'));
}

std::wstring Session::PasswordFilePath() const {
    return Folder() + L"\\" + kPasswordFile;
}

void Session::WritePasswordFile(const Bytes& content) const {
    gvtest::WriteBytes(PasswordFilePath(), content);
}

void Session::MakeDirectoryAtPasswordFile() const {
    if (!::CreateDirectoryW(PasswordFilePath().c_str(), nullptr)) {
        Fail("CreateDirectoryW " + Utf8(PasswordFilePath()));
    }
}

void Session::HoldPasswordFile() {
    held_.reset(::CreateFileW(PasswordFilePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held_) {
        Fail("CreateFileW (share mode 0) " + Utf8(PasswordFilePath()));
    }
}

void Session::ReleasePasswordFile() {
    held_.reset();
}

std::optional<Bytes> Session::ReadPasswordFile() const {
    return gvtest::TryReadBytes(PasswordFilePath());
}

void Session::Start() {
    if (Running()) {
        throw std::runtime_error("Start: the previous run has not ended");
    }
    std::wstring commandLine = L"\"" + exe_ + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // Wine on a loaded machine now and then fails a start with an internal error.
    DWORD code = 0;
    const bool started = WaitUntil(
        [&] {
            if (::CreateProcessW(exe_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                 nullptr, Folder().c_str(), &si, &pi)) {
                return true;
            }
            code = ::GetLastError();
            return false;
        },
        kStartRetryMs);
    if (!started) {
        Fail("CreateProcessW " + Utf8(exe_), code);
    }
    const gv::UniqueHandle thread(pi.hThread);
    if (process_) {
        ended_.push_back(RunLine(process_.get(), processId_));
    }
    process_.reset(pi.hProcess);
    processId_ = pi.dwProcessId;
    threadId_ = pi.dwThreadId;
    // Into Wine's log of the case, between the lines of the runs before and after.
    std::fprintf(stderr, "e2e: start %zu of %s, pid 0x%lx\n", ended_.size() + 1, Utf8(exe_).c_str(),
                 static_cast<unsigned long>(processId_));
    std::fflush(stderr);
}

std::string Session::Story() const {
    if (!process_) {
        return "the program was not started\n";
    }
    std::string story;
    for (std::size_t i = 0; i <= ended_.size(); ++i) {
        const std::string line =
            i < ended_.size() ? ended_[i] : RunLine(process_.get(), processId_);
        story += "start " + std::to_string(i + 1) + ", " + line + "\n";
    }
    return story;
}

void Session::EmulateWindowsOptionButtons() {
    const std::wstring path = gvtest::OwnFolder() + L"\\gv_e2e_radio_hook.dll";
    HMODULE dll = ::LoadLibraryW(path.c_str());
    if (!dll) {
        Fail("LoadLibraryW " + Utf8(path));
    }
    const auto proc =
        reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(::GetProcAddress(dll, "RadioHookProc")));
    if (!proc) {
        Fail("GetProcAddress RadioHookProc");
    }
    radioHook_.reset(::SetWindowsHookExW(WH_CALLWNDPROCRET, proc, dll, threadId_));
    if (!radioHook_) {
        Fail("SetWindowsHookExW");
    }
}

bool Session::Running() const {
    return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Session::WaitForExit(DWORD timeoutMs) const {
    if (!process_ || ::WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process_.get(), &code);
    return code;
}

std::vector<HWND> Session::Windows() const {
    std::vector<HWND> windows = TopLevelOf(processId_);
    std::erase_if(windows, IsDialogBox);
    return windows;
}

HWND Session::FindWindowNamed(std::wstring_view caption) const {
    for (HWND hwnd : Windows()) {
        if (CaptionOf(hwnd) == caption) {
            return hwnd;
        }
    }
    return nullptr;
}

HWND Session::WaitForWindow(std::wstring_view caption, DWORD timeoutMs) const {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindWindowNamed(caption)) != nullptr; }, timeoutMs);
    return found;
}

std::optional<MessageBoxInfo> Session::FindMessageBox() const {
    for (HWND hwnd : TopLevelOf(processId_)) {
        if (IsDialogBox(hwnd)) {
            return Describe(hwnd);
        }
    }
    return std::nullopt;
}

std::optional<MessageBoxInfo> Session::WaitForMessageBox(DWORD timeoutMs) const {
    HWND box = nullptr;
    WaitUntil(
        [&] {
            for (HWND hwnd : TopLevelOf(processId_)) {
                // The text is filled in while the box is created; wait for the finished box.
                if (IsDialogBox(hwnd) && ::GetDlgItem(hwnd, kMessageTextId)) {
                    box = hwnd;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    if (!box) {
        return std::nullopt;
    }
    return Describe(box);
}

HWND Session::Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(threadId_, &info)) {
        return nullptr;
    }
    return info.hwndFocus;
}

bool Session::WaitForFocus(HWND control, DWORD timeoutMs) const {
    return WaitUntil([&] { return Focus() == control; }, timeoutMs);
}

bool Session::PressKey(WORD vk) const {
    HWND target = nullptr;
    // The focus is briefly nowhere, or on a window just destroyed, while windows come and go.
    const bool down = WaitUntil([&] {
        target = Focus();
        return target && ::PostMessageW(target, WM_KEYDOWN, vk, KeyData(vk, false));
    });
    // The key-down may already have ended the run, taking the window with it.
    if (down) {
        ::PostMessageW(target, WM_KEYUP, vk, KeyData(vk, true));
    }
    return down;
}

bool Session::PressAltKey(wchar_t letter) const {
    // Only the character, upper case: a posted key-down would be translated into a
    // second character, and a wrong one for letters such as Ä.
    wchar_t upper[2] = {letter, L'\0'};
    ::CharUpperBuffW(upper, 1);
    const DWORD altDown = 1u | (1u << 29);  // context code: Alt is held
    return WaitUntil([&] {
        HWND target = Focus();
        return target && ::PostMessageW(target, WM_SYSCHAR, upper[0], static_cast<LPARAM>(altDown));
    });
}

}  // namespace e2e
