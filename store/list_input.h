// Reading the first field of a text file the way list input does.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace gv {

// Leading blanks (space, tab) are skipped. A field that starts with a double
// quote runs to the closing quote (or the end of the data); any other field ends
// at a comma or the end of the line, without its trailing blanks.
// Empty when there is no field at all: no data, or only blanks.
std::optional<std::string> TryReadListField(std::span<const std::uint8_t> data);

}  // namespace gv
