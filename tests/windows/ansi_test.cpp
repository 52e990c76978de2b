// The ANSI edge against the real code-page tables. The Ansi cases assume code
// page 1252 (Western European, what Swedish Windows uses); the CodePages cases
// name theirs, and hold UTF-8 calls to Windows' rules, which Wine does not enforce.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

#include "core/ansi.h"
#include "support.h"

using gvtest::Hex;

namespace {

class Ansi : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(::GetACP(), 1252u) << "the expected bytes below are those of code page 1252";
    }
};

// Windows fails a UTF-8 conversion given flags other than WC_ERR_INVALID_CHARS, a
// default character or a used-default pointer; Wine accepts them.
int utf8Calls = 0;

int WINAPI WindowsWideToMultiByte(UINT codePage, DWORD flags, LPCWCH text, int length, LPSTR bytes,
                                  int size, LPCCH defaultChar, LPBOOL usedDefault) {
    if ((codePage == CP_ACP ? ::GetACP() : codePage) == CP_UTF8) {
        ++utf8Calls;
        if ((flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
            ::SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
        if (defaultChar || usedDefault) {
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
    }
    return ::WideCharToMultiByte(codePage, flags, text, length, bytes, size, defaultChar,
                                 usedDefault);
}

class CodePages : public testing::Test {
  protected:
    void SetUp() override {
        utf8Calls = 0;
        gv::WideToMultiByte = &WindowsWideToMultiByte;
    }
    void TearDown() override {
        if (!HasFatalFailure()) {
            EXPECT_GT(utf8Calls, 0) << "the UTF-8 conversions did not go through the seam";
        }
        gv::WideToMultiByte = &::WideCharToMultiByte;
    }
};

// Run with LC_ALL=hi_IN.UTF-8 (see cmake/WineTests.cmake), which makes the ANSI code page UTF-8.
class AnsiUtf8CodePage : public CodePages {
  protected:
    void SetUp() override {
        ASSERT_EQ(::GetACP(), 65001u) << "this case needs UTF-8 as the ANSI code page";
        CodePages::SetUp();
    }
};

}  // namespace

TEST_F(Ansi, EveryByteSurvivesTheRoundTrip) {
    // A stored password may hold any byte; reading and saving it again must not change
    // one. A NUL among them shows that the lengths are counted, not looked for.
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    const std::wstring text = gv::FromAnsi(all);
    EXPECT_EQ(text.size(), all.size()) << "one character per byte in a single-byte code page";
    const auto back = gv::ToAnsiExact(text);
    ASSERT_TRUE(back.has_value()) << "some byte 0..255 does not convert back exactly";
    EXPECT_EQ(*back, all) << "got " << Hex(*back);
    EXPECT_EQ(gv::ToAnsi(text), all) << "the lossy conversion";
    EXPECT_EQ(gv::FromAnsi("\xE5\xE4\xF6\x80"), L"\u00e5\u00e4\u00f6\u20ac")
        << "1252's own letters";
}

TEST_F(Ansi, EmptyTextConvertsToEmptyText) {
    const auto exact = gv::ToAnsiExact(L"");
    ASSERT_TRUE(exact.has_value()) << "the empty string has an exact (empty) form";
    EXPECT_TRUE(exact->empty()) << "got " << Hex(*exact);
    EXPECT_TRUE(gv::ToAnsi(L"").empty());
    EXPECT_TRUE(gv::FromAnsi("").empty());
    EXPECT_TRUE(gv::FromUtf8("").empty());
}

TEST_F(CodePages, ExactWhereTheCodePageHasTheLettersRefusedElsewhere) {
    const std::wstring swedish = L"\u00e5\u00e4\u00f6\u00c5\u00c4\u00d6";
    const std::wstring cyrillic = L"\u0416\u0443\u043a";
    const struct {
        UINT codePage;
        std::wstring text;
        std::optional<std::string> bytes;
    } cases[] = {
        {1252, swedish, "\xE5\xE4\xF6\xC5\xC4\xD6"},
        {65001, swedish, "\xC3\xA5\xC3\xA4\xC3\xB6\xC3\x85\xC3\x84\xC3\x96"},
        {1251, swedish, std::nullopt},
        {1251, cyrillic, "\xC6\xF3\xEA"},
        {65001, cyrillic, "\xD0\x96\xD1\x83\xD0\xBA"},
        {1252, cyrillic, std::nullopt},
        {1252, L"\u0100", std::nullopt},  // would best-fit to a plain A
        {1252, L"\u221e", std::nullopt},  // would best-fit to 8
        {1252, L"H\u00e4lsa\U0001F600", std::nullopt},
        {1251, L"\u00e4", std::nullopt},  // would best-fit to a plain a
        {65001, L"\U0001F600", "\xF0\x9F\x98\x80"},
        {65001, std::wstring(1, L'\xD800'), std::nullopt},
        {65001, L"a" + std::wstring(1, L'\xDC00') + L"b", std::nullopt},
    };
    for (const auto& c : cases) {
        char last[16];
        std::snprintf(last, sizeof last, "U+%04X", static_cast<unsigned>(c.text.back()));
        SCOPED_TRACE("code page " + std::to_string(c.codePage) + ", ending in " + last);
        const auto exact = gv::ToCodePageExact(c.codePage, c.text);
        ASSERT_EQ(c.bytes.has_value(), exact.has_value())
            << "expected " << (c.bytes ? Hex(*c.bytes) : "nullopt") << ", got "
            << (exact ? Hex(*exact) : "nullopt");
        if (c.bytes) {
            EXPECT_EQ(*c.bytes, *exact) << "got " << Hex(*exact);
            EXPECT_EQ(*c.bytes, gv::ToCodePage(c.codePage, c.text)) << "the lossy conversion";
            EXPECT_EQ(c.text, gv::FromCodePage(c.codePage, *c.bytes));
        }
    }
}

TEST_F(AnsiUtf8CodePage, AnsiIsUtf8AndUnpairedSurrogatesAreRefused) {
    const auto exact = gv::ToAnsiExact(L"Gr\u00f6n\u00e5");
    ASSERT_TRUE(exact.has_value()) << "refused in the UTF-8 code page";
    EXPECT_EQ("Gr\xC3\xB6n\xC3\xA5", *exact) << "got " << Hex(*exact);
    EXPECT_EQ(*exact, gv::ToAnsi(L"Gr\u00f6n\u00e5"));
    EXPECT_EQ(L"Gr\u00f6n\u00e5", gv::FromAnsi(*exact));
    EXPECT_FALSE(gv::ToAnsiExact(L"Gr" + std::wstring(1, L'\xD800')).has_value());
}
