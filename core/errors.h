// Numbered run-time errors: the one way failures travel through the program.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace gv {

namespace err {
inline constexpr int InvalidCall = 5;
inline constexpr int Overflow = 6;
inline constexpr int OutOfMemory = 7;
inline constexpr int FileNotFound = 53;
inline constexpr int FileAlreadyOpen = 55;
inline constexpr int DeviceIo = 57;
inline constexpr int DiskFull = 61;
inline constexpr int InputPastEnd = 62;
inline constexpr int PermissionDenied = 70;
inline constexpr int PathFileAccess = 75;
inline constexpr int PathNotFound = 76;
}  // namespace err

// The standard Swedish text of an error number (UTF-8).
std::string_view ErrorText(int number);

class RuntimeError : public std::exception {
  public:
    explicit RuntimeError(int number);
    RuntimeError(int number, std::string text);

    int Number() const noexcept { return number_; }
    // UTF-8, shown to the user.
    const std::string& Text() const noexcept { return text_; }
    const char* what() const noexcept override { return text_.c_str(); }

  private:
    int number_;
    std::string text_;
};

[[noreturn]] void Raise(int number);

}  // namespace gv
