#include "store/password_file.h"

#include <utility>

#include "core/errors.h"
#include "store/list_input.h"

namespace gv {
namespace {

Bytes PlainContentOf(std::string_view ansiPassword) {
    Bytes plain(ansiPassword.begin(), ansiPassword.end());
    plain.push_back('\r');
    plain.push_back('\n');
    return plain;
}

}  // namespace

Bytes StoredFormOf(std::string_view ansiPassword, std::int32_t key, std::int32_t& word) {
    Bytes bytes = PlainContentOf(ansiPassword);
    ScramblePass(bytes, key, word);
    return bytes;
}

std::optional<LoadedPassword> TryLoadFromStored(Bytes stored, std::int32_t key,
                                                std::int32_t& word) {
    UnscramblePass(stored, key, word);
    std::optional<std::string> field = TryReadListField(stored);
    if (!field) {
        return std::nullopt;
    }
    LoadedPassword result;
    result.password = std::move(*field);
    result.growOk = TryScramblePass(stored, key);
    result.grown = std::move(stored);
    return result;
}

bool SurvivesStorage(std::string_view ansiPassword, std::int32_t key) {
    Bytes bytes = PlainContentOf(ansiPassword);
    if (!TryScramblePass(bytes, key)) {
        return false;
    }
    // Each start reads the file and writes it back three bytes longer; three
    // starts reach past every window the first save touched.
    for (int start = 0; start < 3; ++start) {
        if (!TryUnscramblePass(bytes, key)) {
            return false;
        }
        const auto field = TryReadListField(bytes);
        if (!field || *field != ansiPassword) {
            return false;
        }
        if (!TryScramblePass(bytes, key)) {
            return false;
        }
    }
    return true;
}

PasswordProblem CheckNewPassword(std::string_view ansiPassword, std::int32_t key) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (ansiPassword.empty()) {
        return PasswordProblem::Empty;
    }
    if (ansiPassword.find(',') != std::string_view::npos) {
        return PasswordProblem::Comma;
    }
    if (blank(ansiPassword.front()) || blank(ansiPassword.back())) {
        return PasswordProblem::OuterBlanks;
    }
    if (ansiPassword.front() == '"') {
        return PasswordProblem::LeadingQuote;
    }
    if (ansiPassword.find_first_of("\r\n") != std::string_view::npos) {
        return PasswordProblem::LineBreak;
    }
    return SurvivesStorage(ansiPassword, key) ? PasswordProblem::None : PasswordProblem::Unstorable;
}

}  // namespace gv
