// Stands in for the system information tool: leaves "<its own path>.ran" beside
// itself, so a test sees that this copy, and no other, was started, and with
// which command line (UTF-16, written while no one else may open the file).
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) ==
           path.size()) {
        path.resize(path.size() * 2);
    }
    if (length == 0) {
        return 1;
    }
    path.resize(length);
    const HANDLE file = ::CreateFileW((path + L".ran").c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    const wchar_t* commandLine = ::GetCommandLineW();
    const auto bytes = static_cast<DWORD>(::lstrlenW(commandLine) * sizeof(wchar_t));
    DWORD wrote = 0;
    const BOOL ok = ::WriteFile(file, commandLine, bytes, &wrote, nullptr);
    ::CloseHandle(file);
    return ok && wrote == bytes ? 0 : 1;
}
