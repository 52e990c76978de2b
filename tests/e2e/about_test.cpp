// The About window, driven from outside: the font it falls back to, the ways it
// closes, and how "&System Info..." finds the tool through the registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/e2e/common.h"
#include "gv_version.h"
#include "tests/e2e/driver.h"

namespace {

using e2e::Utf8;

constexpr wchar_t kCaption[] = L"Om Grindvakt";
constexpr wchar_t kUnavailable[] = L"System Information Is Unavailable At This Time";
constexpr wchar_t kVersionLine[] = L"Version: " GV_VERSION_SHORT_W;
constexpr wchar_t kFirstLine[] =
    L"Med det här programmet kan du hindra att obehöriga öppnar Registereditorn.";
constexpr wchar_t kMsinfoKey[] = L"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr wchar_t kLocationKey[] = L"SOFTWARE\\Microsoft\\Shared Tools Location";

class About : public e2e::Run {
  protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(LogIn()); }

    void Open() {
        ASSERT_TRUE(PostMenu(e2e::kMenuAbout));
        window = session.WaitForWindow(kCaption);
        ASSERT_NE(nullptr, window) << "the About window did not open";
        ok = e2e::FindControl(window, L"Button", L"OK");
        sysInfo = e2e::FindControl(window, L"Button", L"&System Info...");
        ASSERT_TRUE(ok && sysInfo) << "buttons \"OK\" and \"&System Info...\"";
        description = version = nullptr;
        for (HWND label : e2e::FindControls(window, L"Static")) {
            const std::wstring text = e2e::Text(label);
            description = text.starts_with(kFirstLine) ? label : description;
            version = text == kVersionLine ? label : version;
        }
        ASSERT_NE(nullptr, description) << "no label begins with the description's first line";
        ASSERT_NE(nullptr, version) << "no label reads \"" << Utf8(kVersionLine) << "\"";
    }

    HWND window = nullptr;
    HWND ok = nullptr;
    HWND sysInfo = nullptr;
    HWND description = nullptr;
    HWND version = nullptr;
};

class AboutWindow : public About {};

// Windows' Microsoft Sans Serif has widths of its own. Wine's stand-in for it makes
// the face exist with Tahoma's wider letters; each process reads it when it starts.
class AboutWideFont : public About {
  protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(replacement.SetText(L"Tahoma"));
        ASSERT_NO_FATAL_FAILURE(StartLogin());
        // The login window's label fits and keeps the first choice: sized in Tahoma,
        // it shows that the program sees the stand-in, which this test program cannot.
        dpi = e2e::CheckedDpi(login);
        const std::wstring caption = L"Lösenord:";
        HWND label = e2e::FindControl(login, L"Static", caption);
        ASSERT_NE(nullptr, label) << Utf8(caption);
        const SIZE wide = e2e::TextExtent(caption, L"Tahoma", 8, dpi);
        ASSERT_NE(e2e::TextExtent(caption, L"MS Sans Serif", 8, dpi).cx, wide.cx)
            << "the faces cannot be told apart by this label";
        const RECT r = e2e::RectInParent(label);
        ASSERT_EQ(wide.cx, r.right - r.left) << "the program does not see the stand-in";
        session.EmulateWindowsOptionButtons();
        ASSERT_NO_FATAL_FAILURE(EnterPassword(e2e::kDefaultPassword));
        ASSERT_NO_FATAL_FAILURE(AwaitMain());
    }

    e2e::SavedValue replacement{HKEY_CURRENT_USER, L"Software\\Wine\\Fonts\\Replacements",
                                L"Microsoft Sans Serif"};
    int dpi = 96;
};

TEST_F(AboutWideFont, FirstChoiceTooWideGivesMsSansSerifLayout) {
    // The main window's label would run into the option beside it in the stand-in:
    // the window keeps MS Sans Serif, in which it fits.
    const std::wstring caption = L"Åtkomst av registret:";
    HWND label = e2e::FindControl(main, L"Static", caption);
    ASSERT_NE(nullptr, label) << Utf8(caption);
    EXPECT_EQ(e2e::TextExtent(caption, L"MS Sans Serif", 8, dpi).cx,
              e2e::RectInParent(label).right - e2e::RectInParent(label).left);

    // The About window's description does not fit in it: the window falls back to
    // MS Sans Serif, in which its labels are sized and its text fits.
    ASSERT_NO_FATAL_FAILURE(Open());
    const std::wstring text = e2e::Text(description);
    const RECT box = e2e::RectInParent(description);
    ASSERT_GT(e2e::TextExtent(text, L"Tahoma", 8, dpi, true).cx, box.right - box.left)
        << "the stand-in should be too wide for the description";
    const SIZE need = e2e::TextExtent(text, L"MS Sans Serif", 8, dpi, true);
    EXPECT_LE(need.cx, box.right - box.left) << "the longest line would wrap";
    EXPECT_LE(need.cy, box.bottom - box.top) << "the last lines are cut off";
    const RECT v = e2e::RectInParent(version);
    EXPECT_EQ(e2e::TextExtent(e2e::Text(version), L"MS Sans Serif", 8, dpi).cx, v.right - v.left)
        << "the version is sized to its text in MS Sans Serif";
    e2e::ExpectCaptionFits(ok, L"MS Sans Serif", dpi);
    e2e::ExpectCaptionFits(sysInfo, L"MS Sans Serif", dpi);
}

TEST_F(AboutWindow, OkEnterAndCloseBoxEachClose) {
    std::wstring firstText;
    for (const char* way : {"OK", "Enter", "close box"}) {
        SCOPED_TRACE(way);
        const std::string_view w = way;
        ASSERT_NO_FATAL_FAILURE(Open());
        // Every opening builds the text anew, never adding to the last one.
        const std::wstring text = e2e::Text(description);
        EXPECT_EQ(Utf8(firstText.empty() ? text : firstText), Utf8(text));
        firstText = text;
        EXPECT_FALSE(::IsWindowEnabled(main)) << "the main window waits for the About window";
        ASSERT_TRUE(session.WaitForFocus(ok)) << "OK should have the focus at open";
        if (w == "OK") {
            e2e::Shot(window, L"about.bmp");
        }
        ASSERT_TRUE(w == "OK"      ? e2e::Click(ok)
                    : w == "Enter" ? session.PressKey(VK_RETURN)
                                   : e2e::CloseBox(window));
        ASSERT_TRUE(e2e::WaitUntilGone(window)) << "the window should close";
        EXPECT_TRUE(e2e::WaitUntil([&] { return ::IsWindowEnabled(main) != FALSE; }))
            << "the main window should be usable again";
    }
}

// --- "&System Info...": each case sets both registry values and puts back what was there.
// Where the build puts the marker program: beside this test program.
std::wstring MarkerProgram() {
    return gvtest::OwnFolder() + L"\\gv_e2e_marker.exe";
}

bool Ran(const std::wstring& program) {
    return ::GetFileAttributesW((program + L".ran").c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The command line the marker recorded; nothing while it is missing or still being written.
std::optional<std::wstring> CommandLineOf(const std::wstring& program) {
    const gv::UniqueFile file(::CreateFileW((program + L".ran").c_str(), GENERIC_READ,
                                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
        return std::nullopt;
    }
    std::wstring text(::GetFileSize(file.get(), nullptr) / sizeof(wchar_t), L'\0');
    DWORD read = 0;
    const auto size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    const bool ok = size == 0 || ::ReadFile(file.get(), text.data(), size, &read, nullptr);
    return ok && read == size ? std::optional(text) : std::nullopt;
}

class AboutSysInfo : public About {
  protected:
    void SetUp() override {
        path.Remove();
        location.Remove();
        // The tool starts with the shell's token; the program finds none without it.
        shell.emplace();
        ASSERT_NE(nullptr, ::GetShellWindow()) << "the stand-in did not become the shell";
        ASSERT_NO_FATAL_FAILURE(About::SetUp());
        // A program started by its bare name would come from the program's own folder first.
        bareName = PlaceTool(session.Folder());
        ASSERT_NO_FATAL_FAILURE(Open());
    }

    // A copy of the marker as folder\name; the folder is made when missing.
    std::wstring PlaceTool(const std::wstring& folder, const wchar_t* name = L"MSINFO32.EXE") {
        ::CreateDirectoryW(folder.c_str(), nullptr);
        const std::wstring tool = folder + L"\\" + name;
        if (!::CopyFileW(MarkerProgram().c_str(), tool.c_str(), FALSE)) {
            e2e::Fail("CopyFileW " + Utf8(MarkerProgram()) + " to " + Utf8(tool));
        }
        return tool;
    }

    // An unquoted path runs as the quoted command line of itself.
    void ExpectStarted(const std::wstring& tool, std::wstring commandLine = {}) {
        if (commandLine.empty()) {
            commandLine = L"\"" + tool + L"\"";
        }
        ASSERT_TRUE(e2e::Click(sysInfo));
        std::optional<std::wstring> got;
        EXPECT_TRUE(e2e::WaitUntil([&] { return (got = CommandLineOf(tool)).has_value(); }))
            << Utf8(tool) << " did not run";
        EXPECT_EQ(Utf8(commandLine), Utf8(got.value_or(L"(none)"))) << "the command line";
        // A reply means the click handler is done, or waiting in a box it opened.
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, e2e::kTimeoutMs, &ignored);
        const auto box = session.FindMessageBox();
        EXPECT_FALSE(box) << "unexpected box: " << Utf8(box ? box->text : L"");
        EXPECT_EQ(window, session.FindWindowNamed(kCaption)) << "the About window stays open";
    }

    void ExpectUnavailable() {
        ASSERT_TRUE(e2e::Click(sysInfo));
        ASSERT_NO_FATAL_FAILURE(
            ExpectBox(e2e::kAppTitle, kUnavailable, false, L"box-no-sysinfo.bmp"));
        EXPECT_EQ(window, session.FindWindowNamed(kCaption)) << "the About window stays open";
        EXPECT_TRUE(e2e::WaitUntil([&] { return ::IsWindowEnabled(window) != FALSE; }));
        // Nothing can signal that no program started; give one a moment to show.
        EXPECT_FALSE(e2e::WaitUntil([&] { return Ran(bareName); }, 1000))
            << "a program was started by its bare name";
    }

    e2e::SavedValue path{HKEY_LOCAL_MACHINE, kMsinfoKey, L"PATH"};
    e2e::SavedValue location{HKEY_LOCAL_MACHINE, kLocationKey, L"MSINFO"};
    std::wstring bareName;
    std::optional<gvtest::ShellStandIn> shell;
};

TEST_F(AboutSysInfo, NoValuesShowsMessage) {
    ASSERT_NO_FATAL_FAILURE(ExpectUnavailable());
}

TEST_F(AboutSysInfo, PathWithSpaceStartsThatProgramNotItsPrefix) {
    const std::wstring tool = PlaceTool(session.Folder() + L"\\Sys Info");
    // An unquoted command line would start "...\Sys.exe" instead.
    const std::wstring decoy = PlaceTool(session.Folder(), L"Sys.exe");
    path.SetText(tool);
    ASSERT_NO_FATAL_FAILURE(ExpectStarted(tool));
    EXPECT_FALSE(Ran(decoy)) << "the path was cut at its space";
}

TEST_F(AboutSysInfo, QuotedPathIsTheCommandLineWithItsArguments) {
    const std::wstring tool = PlaceTool(session.Folder() + L"\\Sys Info");
    const std::wstring decoy = PlaceTool(session.Folder(), L"Sys.exe");
    const std::wstring value = L"\"" + tool + L"\" /visa \"två ord\"";
    path.SetText(value);
    ASSERT_NO_FATAL_FAILURE(ExpectStarted(tool, value));
    EXPECT_FALSE(Ran(decoy)) << "the path was cut at its space";
}

TEST_F(AboutSysInfo, NoShellShowsMessageAndStartsNothing) {
    // Without the shell's token the tool would run with the program's own rights.
    const std::wstring tool = PlaceTool(session.Folder() + L"\\Sys Info");
    path.SetText(tool);
    shell.reset();
    ASSERT_EQ(nullptr, ::GetShellWindow()) << "a shell is still there";
    ASSERT_NO_FATAL_FAILURE(ExpectUnavailable());
    EXPECT_FALSE(Ran(tool)) << "the tool was started without a shell";
}

TEST_F(AboutSysInfo, DirectoryValueHoldingToolStartsIt) {
    const std::wstring folder = session.Folder() + L"\\Delade verktyg";
    const std::wstring tool = PlaceTool(folder);
    location.SetText(folder);
    ExpectStarted(tool);
}

TEST_F(AboutSysInfo, DirectoryValueWithoutToolShowsMessage) {
    const std::wstring folder = session.Folder() + L"\\Tom";
    const std::wstring other = PlaceTool(folder, L"MSINFO.EXE");
    location.SetText(folder);
    ASSERT_NO_FATAL_FAILURE(ExpectUnavailable());
    EXPECT_FALSE(Ran(other)) << "only MSINFO32.EXE may be started from that folder";
}

TEST_F(AboutSysInfo, ZeroSizePathShowsMessage) {
    // The read fails outright: the directory value is not tried.
    const std::wstring folder = session.Folder() + L"\\Delade verktyg";
    const std::wstring tool = PlaceTool(folder);
    location.SetText(folder);
    path.Set(REG_SZ, L"", 0);
    ASSERT_NO_FATAL_FAILURE(ExpectUnavailable());
    EXPECT_FALSE(Ran(tool)) << "the directory value should not be tried";
}

}  // namespace
