#include "core/errors.h"

#include <utility>

namespace gv {

std::string_view ErrorText(int number) {
    switch (number) {
        case err::InvalidCall:
            return "Ogiltigt proceduranrop eller argument";
        case err::Overflow:
            return "Spill";
        case err::OutOfMemory:
            return "Slut på minne";
        case err::FileNotFound:
            return "Filen hittades inte";
        case err::FileAlreadyOpen:
            return "Filen är redan öppen";
        case err::DeviceIo:
            return "I/O-fel på enheten";
        case err::DiskFull:
            return "Disken är full";
        case err::InputPastEnd:
            return "Indata efter filslut";
        case err::PermissionDenied:
            return "Åtkomst nekad";
        case err::PathFileAccess:
            return "Fel vid åtkomst av sökväg/fil";
        case err::PathNotFound:
            return "Sökvägen hittades inte";
        default:
            return "Programdefinierat fel eller objektfel";
    }
}

RuntimeError::RuntimeError(int number) : RuntimeError(number, std::string(ErrorText(number))) {}

RuntimeError::RuntimeError(int number, std::string text)
    : number_(number), text_(std::move(text)) {}

void Raise(int number) {
    throw RuntimeError(number);
}

}  // namespace gv
