// The list-input read of the first field from arbitrary bytes: each result is
// checked against the rules of a field, not against how the reader walks them.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "fuzz/check.h"
#include "store/list_input.h"

using gv::fuzz::Check;
using gv::fuzz::IsBlank;

namespace {

bool IsFieldEnd(unsigned char c) {
    return c == ',' || c == '\r' || c == '\n';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const auto field = gv::TryReadListField(bytes);

    std::size_t start = 0;
    while (start < size && IsBlank(data[start])) {
        ++start;
    }
    if (start == size) {
        Check(!field, "a field in empty or blank data");
        return 0;
    }
    Check(field.has_value(), "no field in data that is not blank");

    const std::string_view f = *field;
    const std::string_view rest = text.substr(start);
    if (rest.front() == '"') {
        // Everything up to the closing quote, or to the end of the data without one.
        Check(f.find('"') == std::string_view::npos, "a quote inside a quoted field");
        Check(rest.substr(1, f.size()) == f, "the quoted field is not the text after the quote");
        const std::size_t after = 1 + f.size();
        Check(after == rest.size() || rest[after] == '"', "the quoted field stops early");
    } else {
        // Up to a comma or line end, less trailing blanks; nothing else is dropped.
        Check(f.find_first_of(",\r\n") == std::string_view::npos,
              "a comma or line end inside an unquoted field");
        Check(f.empty() || !IsBlank(static_cast<unsigned char>(f.back())),
              "an unquoted field ends in a blank");
        Check(rest.substr(0, f.size()) == f, "the field is not the text where it starts");
        std::size_t after = f.size();
        while (after < rest.size() && IsBlank(static_cast<unsigned char>(rest[after]))) {
            ++after;
        }
        Check(after == rest.size() || IsFieldEnd(static_cast<unsigned char>(rest[after])),
              "the unquoted field stops early");
    }
    return 0;
}
