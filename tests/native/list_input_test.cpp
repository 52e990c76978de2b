#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "store/list_input.h"
#include "store/scramble.h"

namespace {

gv::Bytes BytesOf(std::string_view s) {
    return gv::Bytes(s.begin(), s.end());
}

TEST(ListInput, ReadsTheFirstField) {
    const struct {
        std::string_view data;
        std::string_view field;
    } cases[] = {
        {"abc\r\n", "abc"},
        {"abc", "abc"},                        // no line end at all
        {"a,b\r\n", "a"},                      // a comma ends the field
        {",b\r\n", ""},                        // an empty field before the comma
        {"   ab\r\n", "ab"},                   // leading blanks are lost
        {"\t \tab\r\n", "ab"},                 // tabs count as blanks
        {"ab  \t\r\n", "ab"},                  // and so do trailing ones
        {"a b\tc\r\n", "a b\tc"},              // blanks inside stay
        {"ab\rcd\n", "ab"},                    // CR alone ends the line
        {"ab\ncd\r", "ab"},                    // so does LF alone
        {"\r\nab\r\n", ""},                    // the first line is empty
        {"\"a, b \"\r\n", "a, b "},            // a quoted field keeps commas and blanks
        {"  \"ab\"cd\r\n", "ab"},              // it ends at the closing quote
        {"\"ab", "ab"},                        // or at the end of the data
        {"a\"b\r\n", "a\"b"},                  // a quote inside is plain text
        {"H\xE4lsa\r\n\x35\x03", "H\xE4lsa"},  // bytes after the line are never read
    };
    for (const auto& c : cases) {
        const auto got = gv::TryReadListField(BytesOf(c.data));
        ASSERT_TRUE(got.has_value()) << "data: " << c.data;
        EXPECT_EQ(*got, c.field) << "data: " << c.data;
    }
}

TEST(ListInput, NoFieldInEmptyOrBlankData) {
    for (const std::string_view data : {"", " ", "\t", "  \t  "}) {
        EXPECT_EQ(gv::TryReadListField(BytesOf(data)), std::nullopt) << '"' << data << '"';
    }
}

}  // namespace
