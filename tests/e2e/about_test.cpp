// The About window, driven from outside: its text and layout, the ways it
// closes, and how "&System Info..." finds the tool through the registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "tests/e2e/common.h"
#include "gv_version.h"
#include "tests/e2e/driver.h"

namespace {

using e2e::CheckedDpi, e2e::Pixels, e2e::Placed, e2e::Shot, e2e::TwipsRect, e2e::Utf8;

constexpr wchar_t kMainCaption[] = L"Grindvakt";
constexpr wchar_t kCaption[] = L"Om Grindvakt";
constexpr WPARAM kMenuAbout = 213;
constexpr wchar_t kUnavailable[] = L"System Information Is Unavailable At This Time";
constexpr wchar_t kVersionLine[] = L"Version: " GV_VERSION_SHORT_W;
constexpr wchar_t kFirstLine[] =
    L"Med det här programmet kan du hindra att obehöriga öppnar Registereditorn.";
constexpr wchar_t kMsinfoKey[] = L"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr wchar_t kLocationKey[] = L"SOFTWARE\\Microsoft\\Shared Tools Location";

std::vector<std::wstring> SplitCrLf(const std::wstring& text) {
    std::vector<std::wstring> lines;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(L"\r\n", start);
        lines.push_back(text.substr(start, end == std::wstring::npos ? end : end - start));
        if (end == std::wstring::npos) {
            return lines;
        }
        start = end + 2;
    }
}

// One registry value, put back as it was (with its key gone again, where that was new).
class SavedValue {
  public:
    SavedValue(HKEY root, const wchar_t* key, const wchar_t* name)
        : root_(root), key_(key), name_(name) {
        HKEY h = nullptr;
        keyExisted_ = ::RegOpenKeyExW(root_, key, 0, KEY_READ, &h) == ERROR_SUCCESS;
        DWORD size = 0;
        if (keyExisted_ && ::RegQueryValueExW(h, name, nullptr, &type_, nullptr, &size) == 0) {
            old_.resize(size);
            valueExisted_ = ::RegQueryValueExW(h, name, nullptr, &type_, old_.data(), &size) == 0;
        }
        ::RegCloseKey(h);
    }
    SavedValue(const SavedValue&) = delete;
    SavedValue& operator=(const SavedValue&) = delete;
    ~SavedValue() {
        if (!keyExisted_) {
            ::RegDeleteTreeW(root_, key_);
        } else if (valueExisted_) {
            Set(type_, old_.data(), static_cast<DWORD>(old_.size()));
        } else {
            Remove();
        }
    }

    // Creates the key where it is missing.
    void Set(DWORD type, const void* data, DWORD size) const {
        const LSTATUS status = ::RegSetKeyValueW(root_, key_, name_, type, data, size);
        if (status != ERROR_SUCCESS) {
            e2e::Fail("RegSetKeyValueW " + Utf8(key_) + "\\" + Utf8(name_),
                      static_cast<DWORD>(status));
        }
    }
    void SetText(const std::wstring& text) const {
        Set(REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    void Remove() const { ::RegDeleteKeyValueW(root_, key_, name_); }

  private:
    HKEY root_;
    const wchar_t* key_;
    const wchar_t* name_;
    bool keyExisted_ = false;
    bool valueExisted_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> old_;
};

class About : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(e2e::StartAndType(session, L"Vinga"));
        main = session.WaitForWindow(kMainCaption);
        ASSERT_NE(nullptr, main) << "logging in failed";
    }

    void Open() {
        ASSERT_TRUE(::PostMessageW(main, WM_COMMAND, kMenuAbout, 0));
        window = session.WaitForWindow(kCaption);
        ASSERT_NE(nullptr, window) << "the About window did not open";
        ok = e2e::FindControl(window, L"Button", L"OK");
        sysInfo = e2e::FindControl(window, L"Button", L"&System Info...");
        ASSERT_TRUE(ok && sysInfo) << "buttons \"OK\" and \"&System Info...\"";
        description = nullptr;
        for (HWND label : e2e::FindControls(window, L"Static")) {
            if (e2e::Text(label).starts_with(kFirstLine)) {
                description = label;
            }
        }
        ASSERT_NE(nullptr, description) << "no label begins with the description's first line";
    }

    e2e::Session session;
    HWND main = nullptr;
    HWND window = nullptr;
    HWND ok = nullptr;
    HWND sysInfo = nullptr;
    HWND description = nullptr;
};

// The widest of the lines, and the height of them all, in a face.
SIZE LinesExtent(const std::vector<std::wstring>& lines, std::wstring_view face, int dpi) {
    SIZE all{0, 0};
    for (const std::wstring& line : lines) {
        const SIZE extent = e2e::TextExtent(line, face, 8, dpi);
        all.cx = std::max(all.cx, extent.cx);
        all.cy += extent.cy;
    }
    return all;
}

class AboutWindow : public About {
  protected:
    // Every control where the design puts it, in the face the window must use: the
    // first choice where the description fits in it, else the design's MS Sans Serif.
    void ExpectLaidOut(const std::wstring& firstChoice) {
        HWND version = e2e::FindControl(window, L"Static", kVersionLine);
        ASSERT_NE(nullptr, version) << "label \"" << Utf8(kVersionLine) << "\"";
        const int dpi = CheckedDpi(window);
        const SIZE client{Pixels(6375, dpi), Pixels(3120, dpi)};
        const RECT box = TwipsRect(750, 600, 5490, 2040, dpi);
        const std::vector<std::wstring> lines = SplitCrLf(e2e::Text(description));
        const SIZE first = LinesExtent(lines, firstChoice, dpi);
        const std::wstring face =
            first.cx <= box.right - box.left && first.cy <= box.bottom - box.top ? firstChoice
                                                                                 : L"MS Sans Serif";
        HWND icon = nullptr;
        for (HWND label : e2e::FindControls(window, L"Static")) {
            if ((::GetWindowLongPtrW(label, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
                icon = label;
            }
        }
        ASSERT_NE(nullptr, icon) << "no icon control";
        const SIZE versionText = e2e::TextExtent(kVersionLine, face, 8, dpi);
        RECT versionAt = TwipsRect(750, 225, 0, 0, dpi);
        versionAt.right += versionText.cx;
        versionAt.bottom += versionText.cy;
        const std::tuple<const char*, HWND, RECT> placed[] = {
            {"OK", ok, TwipsRect(5025, 2700, 1260, 345, dpi)},
            {"&System Info...", sysInfo, TwipsRect(3675, 2700, 1245, 345, dpi)},
            {"description", description, box},
            {"version, sized to its text", version, versionAt},
            {"icon", icon, TwipsRect(75, 75, 480, 480, dpi)},
        };
        if (dpi == 96) {
            std::string computed = std::to_string(client.cx) + "x" + std::to_string(client.cy);
            for (const auto& entry : placed) {
                computed += "; " + Placed(std::get<RECT>(entry));
            }
            EXPECT_EQ("425x208; 335,180 84x23; 245,180 83x23; 50,40 366x136; 50,15 " +
                          std::to_string(versionText.cx) + "x" + std::to_string(versionText.cy) +
                          "; 5,5 32x32",
                      computed)
                << "the twips at 96 DPI";
        }
        const SIZE got = e2e::ClientSize(window);
        EXPECT_EQ(std::to_string(client.cx) + "x" + std::to_string(client.cy),
                  std::to_string(got.cx) + "x" + std::to_string(got.cy))
            << "client area";
        for (const auto& [name, control, expectedAt] : placed) {
            EXPECT_EQ(Placed(expectedAt), Placed(e2e::RectInParentClient(control)))
                << name << " in " << Utf8(face);
        }
        EXPECT_LE(versionAt.right, client.cx) << "the version runs past the window's edge";

        // The buttons' captions clear their frame and focus rectangle, 3 px a side at 96 DPI.
        for (HWND button : {ok, sysInfo}) {
            const SIZE extent = e2e::TextExtent(e2e::Text(button), face, 8, dpi);
            const RECT r = e2e::RectInParentClient(button);
            EXPECT_LE(extent.cx + 2 * Pixels(45, dpi), r.right - r.left) << Utf8(e2e::Text(button));
            EXPECT_LE(extent.cy + 2 * Pixels(45, dpi), r.bottom - r.top) << Utf8(e2e::Text(button));
        }

        // The description is ten lines with no wrapping: its longest line fits the
        // label's width and all ten lines its height.
        const SIZE need = LinesExtent(lines, face, dpi);
        EXPECT_LE(need.cx, box.right - box.left) << Utf8(face) << ": the longest line would wrap";
        EXPECT_LE(need.cy, box.bottom - box.top) << Utf8(face) << ": the last lines are cut off";
    }
};

TEST_F(AboutWindow, TextLayoutAndNoTaskbarButton) {
    ASSERT_NO_FATAL_FAILURE(Open());
    const std::wstring text = e2e::Text(description);
    const std::vector<std::wstring> lines = SplitCrLf(text);
    ASSERT_EQ(10u, lines.size()) << "lines separated by CR LF in: " << Utf8(text);
    // The two credit lines are ours to word; only their ends are fixed.
    EXPECT_TRUE(lines[6].size() > 1 && lines[6].back() == L',') << Utf8(lines[6]);
    EXPECT_TRUE(lines[7].size() > 1 && lines[7].back() == L'.') << Utf8(lines[7]);
    const std::wstring expected = std::wstring(kFirstLine) +
                                  L"\r\n\r\nDu kan lösenordsskydda denna begränsning.\r\n\r\n"
                                  L"Observera att programmet inte förhindrar samkörning av "
                                  L"registerposter.\r\n\r\n" +
                                  lines[6] + L"\r\n" + lines[7] +
                                  L"\r\n\r\nDu har rätt att sprida programmet till andra.";
    EXPECT_EQ(Utf8(expected), Utf8(text));
    ASSERT_NO_FATAL_FAILURE(ExpectLaidOut(e2e::DesignFontFace()));
    EXPECT_NE(nullptr, ::GetWindow(window, GW_OWNER)) << "an unowned window gets a taskbar button";
    EXPECT_EQ(0, ::GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW) << "WS_EX_APPWINDOW";
    Shot(window, L"about.bmp");
}

// Windows' Microsoft Sans Serif has widths of its own. Wine's stand-in for it makes
// the face exist with Tahoma's wider letters; each process reads it when it starts.
class AboutWideFont : public AboutWindow {
  protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(replacement.SetText(L"Tahoma"));
        AboutWindow::SetUp();
    }

    SavedValue replacement{HKEY_CURRENT_USER, L"Software\\Wine\\Fonts\\Replacements",
                           L"Microsoft Sans Serif"};
};

TEST_F(AboutWideFont, FirstChoiceTooWideGivesMsSansSerifLayout) {
    // The main window's label fits and keeps the first choice: sized in Tahoma, it
    // shows that the program sees the stand-in, which this test program cannot.
    const int dpi = CheckedDpi(main);
    const std::wstring caption = L"Åtkomst av registret:";
    HWND label = e2e::FindControl(main, L"Static", caption);
    ASSERT_NE(nullptr, label) << Utf8(caption);
    const SIZE wide = e2e::TextExtent(caption, L"Tahoma", 8, dpi);
    ASSERT_NE(e2e::TextExtent(caption, L"MS Sans Serif", 8, dpi).cx, wide.cx)
        << "the faces cannot be told apart by this label";
    const RECT r = e2e::RectInParentClient(label);
    ASSERT_EQ(wide.cx, r.right - r.left) << "the program does not see the stand-in";

    ASSERT_NO_FATAL_FAILURE(Open());
    const SIZE first = LinesExtent(SplitCrLf(e2e::Text(description)), L"Tahoma", dpi);
    ASSERT_GT(first.cx, Pixels(5490, dpi)) << "the stand-in should be too wide for the description";
    ExpectLaidOut(L"Tahoma");
}

TEST_F(AboutWindow, OkEscEnterAndCloseBoxEachClose) {
    std::wstring firstText;
    for (const char* way : {"OK", "Esc", "Enter", "close box"}) {
        SCOPED_TRACE(way);
        ASSERT_NO_FATAL_FAILURE(Open());
        // Every opening builds the text anew, never adding to the last one.
        const std::wstring text = e2e::Text(description);
        EXPECT_EQ(Utf8(firstText.empty() ? text : firstText), Utf8(text));
        firstText = text;
        EXPECT_FALSE(::IsWindowEnabled(main)) << "the main window waits for the About window";
        ASSERT_TRUE(session.WaitForFocus(ok)) << "OK should have the focus at open";
        const std::string_view w = way;
        ASSERT_TRUE(w == "OK"      ? e2e::Click(ok)
                    : w == "Esc"   ? session.PressKey(VK_ESCAPE)
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
    std::wstring path(MAX_PATH, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
    return path.substr(0, path.find_last_of(L'\\')) + L"\\gv_e2e_marker.exe";
}

bool Ran(const std::wstring& program) {
    return ::GetFileAttributesW((program + L".ran").c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The command line the marker recorded; nothing while it is missing or still being written.
std::optional<std::wstring> CommandLineOf(const std::wstring& program) {
    const HANDLE file = ::CreateFileW((program + L".ran").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::wstring text(::GetFileSize(file, nullptr) / sizeof(wchar_t), L'\0');
    DWORD read = 0;
    const auto size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    const bool ok = size == 0 || ::ReadFile(file, text.data(), size, &read, nullptr);
    ::CloseHandle(file);
    return ok && read == size ? std::optional(text) : std::nullopt;
}

class AboutSysInfo : public About {
  protected:
    void SetUp() override {
        path.Remove();
        location.Remove();
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
        auto box = session.WaitForMessageBox();
        ASSERT_TRUE(box) << "expected \"" << Utf8(kUnavailable) << "\"; no box came";
        EXPECT_EQ(Utf8(kMainCaption), Utf8(box->title));
        EXPECT_EQ(Utf8(kUnavailable), Utf8(box->text));
        EXPECT_FALSE(box->hasIcon) << "no icon";
        EXPECT_EQ(std::vector<int>{IDOK}, box->buttons) << "one OK button";
        Shot(box->hwnd, L"box-no-sysinfo.bmp");
        ASSERT_TRUE(e2e::Dismiss(*box));
        EXPECT_EQ(window, session.FindWindowNamed(kCaption)) << "the About window stays open";
        EXPECT_TRUE(e2e::WaitUntil([&] { return ::IsWindowEnabled(window) != FALSE; }));
        // Nothing can signal that no program started; give one a moment to show.
        EXPECT_FALSE(e2e::WaitUntil([&] { return Ran(bareName); }, 1000))
            << "a program was started by its bare name";
    }

    SavedValue path{HKEY_LOCAL_MACHINE, kMsinfoKey, L"PATH"};
    SavedValue location{HKEY_LOCAL_MACHINE, kLocationKey, L"MSINFO"};
    std::wstring bareName;
};

TEST_F(AboutSysInfo, NoValuesShowsMessage) {
    ASSERT_NO_FATAL_FAILURE(ExpectUnavailable());
}

TEST_F(AboutSysInfo, PathValueStartsThatProgram) {
    const std::wstring tool = PlaceTool(session.Folder() + L"\\Verktyg", L"verktyg.exe");
    path.SetText(tool);
    ExpectStarted(tool);
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
