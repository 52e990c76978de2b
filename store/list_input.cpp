#include "store/list_input.h"

namespace gv {
namespace {

bool IsBlank(std::uint8_t c) {
    return c == ' ' || c == '\t';
}
bool IsLineEnd(std::uint8_t c) {
    return c == '\r' || c == '\n';
}

}  // namespace

std::optional<std::string> TryReadListField(std::span<const std::uint8_t> data) {
    std::size_t i = 0;
    while (i < data.size() && IsBlank(data[i])) {
        ++i;
    }
    if (i == data.size()) {
        return std::nullopt;
    }
    std::string field;
    if (data[i] == '"') {
        for (++i; i < data.size() && data[i] != '"'; ++i) {
            field.push_back(static_cast<char>(data[i]));
        }
        return field;
    }
    for (; i < data.size() && data[i] != ',' && !IsLineEnd(data[i]); ++i) {
        field.push_back(static_cast<char>(data[i]));
    }
    while (!field.empty() && IsBlank(static_cast<std::uint8_t>(field.back()))) {
        field.pop_back();
    }
    return field;
}

}  // namespace gv
