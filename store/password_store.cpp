#include "store/password_store.h"

#include "core/ansi.h"
#include "core/errors.h"
#include "core/platform.h"
#include "store/password_file.h"

namespace gv {

std::wstring PasswordFilePath() {
    return ExeDirectory() + L"\\" + kPasswordFileName;
}

const StoreFolder& ProgramFolder() {
    // A folder that cannot be opened raises here, and is tried again at the next use.
    static const StoreFolder folder(ExeDirectory());
    return folder;
}

std::optional<std::wstring> LoadPassword(const StoreFolder& folder, std::int32_t key) {
    const FileLock lock(folder);
    folder.RemoveLeftovers(kPasswordFileName);
    const std::optional<Bytes> stored = folder.Read(kPasswordFileName);
    if (!stored) {
        // No file means no password, also where the empty file cannot be made.
        folder.CreateEmpty(kPasswordFileName);
        return std::nullopt;
    }
    std::int32_t word = 0;
    const std::optional<LoadedPassword> loaded = TryLoadFromStored(*stored, key, word);
    if (!loaded) {
        return std::nullopt;
    }
    std::wstring password = FromAnsi(loaded->password);
    if (loaded->growOk) {
        try {
            folder.Replace(kPasswordFileName, loaded->grown);
        } catch (const RuntimeError&) {
            // The password is read and the old file is still valid: log in as usual.
        }
    }
    return password;
}

std::optional<std::wstring> LoadPassword(std::int32_t key) {
    return LoadPassword(ProgramFolder(), key);
}

void SavePassword(const StoreFolder& folder, const std::wstring& password, std::int32_t key) {
    std::int32_t word = 0;
    const Bytes stored = StoredFormOf(ToAnsi(password), key, word);
    const FileLock lock(folder);
    folder.RemoveLeftovers(kPasswordFileName);
    folder.Replace(kPasswordFileName, stored);
}

void SavePassword(const std::wstring& password, std::int32_t key) {
    SavePassword(ProgramFolder(), password, key);
}

}  // namespace gv
