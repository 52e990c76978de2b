#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/platform.h"
#include "support.h"

namespace {

// Records every close, so a double close or a leak shows up by handle value.
struct CountingTraits {
    using Handle = int;
    static inline std::vector<int> closed;
    static Handle Empty() noexcept { return -1; }
    static void Close(Handle h) noexcept { closed.push_back(h); }
};
using Counted = gv::Unique<CountingTraits>;

struct WindowOwner {
    HWND hwnd;
    ~WindowOwner() {
        if (hwnd) {
            ::DestroyWindow(hwnd);
        }
    }
};

HWND MessageOnlyStatic(const wchar_t* text) {
    return ::CreateWindowExW(0, L"STATIC", text, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

TEST(Platform, WindowTextReadsWholeTextOfAControl) {
    WindowOwner w{MessageOnlyStatic(L"L\u00f6senord \u00c4ndra")};
    ASSERT_NE(w.hwnd, nullptr) << "CreateWindowExW failed, error " << ::GetLastError();
    EXPECT_EQ(gv::WindowText(w.hwnd), L"L\u00f6senord \u00c4ndra");

    const std::wstring long_text(5000, L'\u00e5');
    ASSERT_TRUE(::SetWindowTextW(w.hwnd, long_text.c_str()));
    EXPECT_EQ(gv::WindowText(w.hwnd), long_text) << "a long text must not be cut short";

    ASSERT_TRUE(::SetWindowTextW(w.hwnd, L""));
    EXPECT_EQ(gv::WindowText(w.hwnd), L"");

    EXPECT_EQ(gv::WindowText(nullptr), L"") << "no window, no text";
}

TEST(Platform, SystemMessageIsTheTextWithoutTrailingBreak) {
    const std::wstring notFound = gv::SystemMessage(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(notFound.empty()) << "the system knows error 2";
    const wchar_t last = notFound.back();
    EXPECT_TRUE(last != L'\n' && last != L'\r' && last != L' ')
        << "trailing character " << static_cast<int>(last);
    EXPECT_NE(gv::SystemMessage(ERROR_ACCESS_DENIED), notFound) << "each code has its own text";
    EXPECT_EQ(gv::SystemMessage(0x2000ABCDu), L"") << "an unknown code gives no text";
}

TEST(Unique, MovesTransferOwnershipAndEachHandleClosesOnce) {
    CountingTraits::closed.clear();
    {
        Counted empty;
        EXPECT_FALSE(empty) << "a default owner owns nothing";

        Counted a(7);
        Counted b(std::move(a));
        EXPECT_FALSE(a);  // NOLINT(bugprone-use-after-move): the moved-from state
        EXPECT_EQ(b.get(), 7);
        EXPECT_TRUE(CountingTraits::closed.empty()) << "a move closes nothing";

        Counted c(8);
        c = std::move(b);
        EXPECT_EQ(CountingTraits::closed, std::vector<int>{8})
            << "assignment closes the old handle";
        EXPECT_FALSE(b);  // NOLINT(bugprone-use-after-move): the moved-from state
        EXPECT_EQ(c.get(), 7);

        c.reset(9);
        EXPECT_EQ(CountingTraits::closed, (std::vector<int>{8, 7}));
        *c.put() = 10;
        EXPECT_EQ(CountingTraits::closed, (std::vector<int>{8, 7, 9})) << "put() releases first";
        EXPECT_EQ(c.get(), 10);
    }
    EXPECT_EQ(CountingTraits::closed, (std::vector<int>{8, 7, 9, 10}))
        << "only the last owner closes at scope end; the empty ones close nothing";
}

// Every start asks Windows for an administrator, so a double-click from a standard
// account brings the prompt for an administrator's name and password.
TEST(BuiltProgram, ManifestRequiresAnAdministrator) {
    const std::wstring exe = gvtest::Env(L"GV_EXE");
    const std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&::FreeLibrary)> module(
        ::LoadLibraryExW(exe.c_str(), nullptr,
                         LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE),
        &::FreeLibrary);
    ASSERT_TRUE(module) << "cannot load the resources of GV_EXE, error " << ::GetLastError();
    const HRSRC found = ::FindResourceW(module.get(), MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(nullptr, found) << "no manifest";
    const auto* text =
        static_cast<const char*>(::LockResource(::LoadResource(module.get(), found)));
    const std::string manifest(text, ::SizeofResource(module.get(), found));
    EXPECT_NE(manifest.find(R"(<requestedExecutionLevel level="requireAdministrator")"),
              std::string::npos)
        << manifest;
}
