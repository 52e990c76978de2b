// The ANSI edge against the real code-page tables. The byte values assume
// code page 1252 (Western European, what Swedish Windows uses).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core/ansi.h"
#include "test_files.h"

using gvtest::Hex;

namespace {

class Ansi : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(::GetACP(), 1252u) << "the expected bytes below are those of code page 1252";
    }
};

}  // namespace

TEST_F(Ansi, SwedishLettersBecomeTheirSingleBytesAndComeBack) {
    const struct {
        std::wstring text;
        std::string bytes;
    } cases[] = {
        {L"H\u00e4lsa", "\x48\xE4\x6C\x73\x61"},
        {L"\u00e5\u00e4\u00f6\u00c5\u00c4\u00d6", "\xE5\xE4\xF6\xC5\xC4\xD6"},
        {L"Vinga", "Vinga"},
        {L"\u20ac", "\x80"},  // the euro sign is in 1252, at a C1 position
        {std::wstring(L"a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto& c : cases) {
        const auto exact = gv::ToAnsiExact(c.text);
        ASSERT_TRUE(exact.has_value()) << "expected bytes " << Hex(c.bytes) << ", got nullopt";
        EXPECT_EQ(*exact, c.bytes) << "expected " << Hex(c.bytes) << ", got " << Hex(*exact);
        EXPECT_EQ(gv::ToAnsi(c.text), c.bytes) << "ToAnsi, expected " << Hex(c.bytes);
        EXPECT_EQ(gv::FromAnsi(c.bytes), c.text) << "FromAnsi of " << Hex(c.bytes);
    }
}

TEST_F(Ansi, EveryByteSurvivesTheRoundTrip) {
    // A stored password may hold any byte; reading and saving it again must not change one.
    std::string all;
    for (int b = 1; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    const std::wstring text = gv::FromAnsi(all);
    EXPECT_EQ(text.size(), all.size()) << "one character per byte in a single-byte code page";
    const auto back = gv::ToAnsiExact(text);
    ASSERT_TRUE(back.has_value()) << "some byte 1..255 does not convert back exactly";
    EXPECT_EQ(*back, all) << "got " << Hex(*back);
}

TEST_F(Ansi, CharactersOutsideTheCodePageHaveNoExactForm) {
    const std::wstring cases[] = {
        L"\u0416",                   // Cyrillic Zhe
        L"\u4e2d",                   // CJK
        L"\U0001F600",               // emoji, a surrogate pair
        std::wstring(1, L'\xD800'),  // lone high surrogate
        std::wstring(1, L'\xDC00'),  // lone low surrogate
        L"\u0100",                   // A with macron: would best-fit to a plain A
        L"\u221e",                   // infinity: would best-fit to 8
        L"H\u00e4lsa\u0416",         // one bad character among good ones
    };
    for (const auto& text : cases) {
        const auto exact = gv::ToAnsiExact(text);
        EXPECT_FALSE(exact.has_value()) << "U+" << std::hex << static_cast<unsigned>(text.back())
                                        << ": expected nullopt, got " << Hex(exact.value_or(""));
    }
}

TEST_F(Ansi, EmptyTextConvertsToEmptyText) {
    const auto exact = gv::ToAnsiExact(L"");
    ASSERT_TRUE(exact.has_value()) << "the empty string has an exact (empty) form";
    EXPECT_TRUE(exact->empty()) << "got " << Hex(*exact);
    EXPECT_TRUE(gv::ToAnsi(L"").empty());
    EXPECT_TRUE(gv::FromAnsi("").empty());
    EXPECT_TRUE(gv::FromUtf8("").empty());
}

TEST(Utf8, DecodesSwedishLettersAndSurrogatePairs) {
    EXPECT_EQ(gv::FromUtf8("H\xC3\xA4lsa"), L"H\u00e4lsa");
    EXPECT_EQ(gv::FromUtf8("\xC3\xA5\xC3\xA4\xC3\xB6\xC3\x85\xC3\x84\xC3\x96"),
              L"\u00e5\u00e4\u00f6\u00c5\u00c4\u00d6");
    const std::wstring emoji = gv::FromUtf8("\xF0\x9F\x98\x80");
    ASSERT_EQ(emoji.size(), 2u) << "U+1F600 needs a surrogate pair";
    EXPECT_EQ(emoji[0], L'\xD83D');
    EXPECT_EQ(emoji[1], L'\xDE00');
}
