// An error that escapes a key handler ends the run through the run-time error
// box, with an exit code of its own, and no timer can end the run while that box
// shows; the text also goes to a debugger. The run is this test program started
// again as a child with GV_FATAL_CHILD set.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <optional>
#include <string>

#include "core/ansi.h"
#include "core/app.h"
#include "core/form.h"
#include "ui/frm_andrat.h"
#include "support.h"

namespace {

constexpr wchar_t kChildVariable[] = L"GV_FATAL_CHILD";

constexpr int kText = 901;
constexpr std::array kControls{
    gv::ControlSpec{gv::ControlKind::TextBox, kText, L"Text", L"", 75, 75, 2000, 315, 0}};
constexpr gv::FormSpec kSpec{
    .caption = L"Felprov", .clientWidth = 2200, .clientHeight = 500, .controls = kControls};

// A window whose Enter handler raises, as a faulty handler would.
class Faulty : public gv::Form {
  public:
    Faulty() : Form(kSpec) {}

  protected:
    bool OnEnterIn(int) override { gv::Raise(gv::err::InvalidCall); }
};

// The child's whole run: the confirmation window's 3-second timer is running
// when Enter reaches the faulty handler.
[[maybe_unused]] const bool g_child = [] {
    if (::GetEnvironmentVariableW(kChildVariable, nullptr, 0) == 0) {
        return false;
    }
    ::ExitProcess(static_cast<UINT>(gv::app::Run([] {
        gv::Default<gv::FrmÄndrat>().Show();
        auto& faulty = gv::Default<Faulty>();
        faulty.Show();
        faulty.SetFocusTo(kText);
        ::PostMessageW(faulty.Control(kText), WM_KEYDOWN, VK_RETURN, 0);
    })));
}();

struct Box {
    DWORD pid;
    HWND hwnd = nullptr;
};

BOOL CALLBACK FindBox(HWND w, LPARAM p) {
    auto& box = *reinterpret_cast<Box*>(p);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(w, &pid);
    if (pid == box.pid && gvtest::ClassOf(w) == L"#32770" && ::IsWindowVisible(w)) {
        box.hwnd = w;
        return FALSE;
    }
    return TRUE;
}

// Receives what other processes write with OutputDebugString while no debugger
// is attached: the buffer and events a debug monitor makes, which kernel32 looks for.
class DebugMonitor {
  public:
    DebugMonitor()
        : buffer_(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kSize,
                                       L"DBWIN_BUFFER")),
          bufferReady_(::CreateEventW(nullptr, FALSE, TRUE, L"DBWIN_BUFFER_READY")),
          dataReady_(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY")) {}

    // The next string written by the process, as far as the locale's code page holds it.
    std::wstring Next(DWORD pid, DWORD timeoutMs) const {
        const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
        for (ULONGLONG now = ::GetTickCount64(); buffer_ && now < deadline;
             now = ::GetTickCount64()) {
            if (::WaitForSingleObject(dataReady_.get(), static_cast<DWORD>(deadline - now)) !=
                WAIT_OBJECT_0) {
                break;
            }
            const void* view = ::MapViewOfFile(buffer_.get(), FILE_MAP_READ, 0, 0, kSize);
            DWORD from = 0;
            std::string text;
            if (view) {
                std::memcpy(&from, view, sizeof from);
                const char* chars = static_cast<const char*>(view) + sizeof from;
                text.assign(chars, strnlen(chars, kSize - sizeof from));
                ::UnmapViewOfFile(view);
            }
            ::SetEvent(bufferReady_.get());
            if (from == pid) {
                return gv::FromAnsi(text);
            }
        }
        return {};
    }

  private:
    static constexpr DWORD kSize = 4096;
    gv::UniqueHandle buffer_, bufferReady_, dataReady_;
};

}  // namespace

TEST(FatalError, KeyHandlerFaultShowsTheBoxAndNoTimerEndsTheRun) {
    const std::wstring exe = gvtest::OwnExe();
    // Every later OutputDebugString, this test's own failures too, waits for a
    // monitor that has gone quiet: it goes as soon as it has read the line.
    std::optional<DebugMonitor> monitor(std::in_place);
    ::SetEnvironmentVariableW(kChildVariable, L"1");
    const gvtest::Process child = gvtest::Start(exe, L"\"" + exe + L"\" --gtest_filter=None");
    ::SetEnvironmentVariableW(kChildVariable, nullptr);
    ASSERT_TRUE(child.started) << "CreateProcessW: error " << ::GetLastError();
    const gv::UniqueHandle& process = child.handle;

    Box box{child.id};
    for (int i = 0; i < 750 && !box.hwnd; ++i) {
        if (::WaitForSingleObject(process.get(), 20) == WAIT_OBJECT_0) {
            break;
        }
        ::EnumWindows(&FindBox, reinterpret_cast<LPARAM>(&box));
    }
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(process.get(), &code);
    ASSERT_NE(box.hwnd, nullptr) << "no error box came; the run ended with " << code;
    EXPECT_NE(gv::WindowText(::GetDlgItem(box.hwnd, 0xFFFF)).find(L"'5'"), std::wstring::npos)
        << gv::WindowText(::GetDlgItem(box.hwnd, 0xFFFF));
    const std::wstring debugText = monitor->Next(child.id, 5000);
    monitor.reset();
    EXPECT_EQ(debugText.rfind(L"Grindvakt: Körfel '5': ", 0), 0u)
        << "written to a debugger: \"" << gv::ToUtf8(debugText) << "\"";
    // Well past the confirmation window's 3 seconds.
    EXPECT_EQ(::WaitForSingleObject(process.get(), 4500), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the run ended while its error box showed";
    ::PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_EQ(::WaitForSingleObject(process.get(), 15000), static_cast<DWORD>(WAIT_OBJECT_0));
    ::GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, gv::app::kFatalExitCode) << "exit code after the error box";
}
