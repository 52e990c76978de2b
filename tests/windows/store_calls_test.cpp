// What a save does on disk, call by call, as the store's fault seam records it.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "core/ansi.h"
#include "store/password_store.h"
#include "store/store_folder.h"
#include "support.h"

namespace {

struct Call {
    gv::FileCallKind kind;
    std::wstring path, target;
};
std::vector<Call>* g_calls = nullptr;

void Record(gv::FileCallKind kind, const wchar_t* path, const wchar_t* target) {
    g_calls->push_back({kind, path, target});
}

std::vector<Call> RecordedSave(const gv::StoreFolder& store) {
    std::vector<Call> calls;
    g_calls = &calls;
    gv::StoreFaults.record = &Record;
    const auto error = gvtest::Caught([&] { gv::SavePassword(store, L"nytt", gv::kScrambleKey); });
    gv::StoreFaults = {};
    EXPECT_FALSE(error) << error->Text();
    return calls;
}

std::wstring NameOf(const std::wstring& path) {
    return path.substr(path.find_last_of(L'\\') + 1);
}

// grindvakt.dat.<16 lower-case hex digits>.tmp
bool IsHelperName(std::wstring_view name) {
    constexpr std::wstring_view prefix = L"grindvakt.dat.", suffix = L".tmp";
    if (name.size() != prefix.size() + 16 + suffix.size() || !name.starts_with(prefix) ||
        !name.ends_with(suffix)) {
        return false;
    }
    const std::wstring_view digits = name.substr(prefix.size(), 16);
    return std::all_of(digits.begin(), digits.end(), [](wchar_t c) {
        return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f');
    });
}

// The index of the last call of a kind; -1 where there is none.
int LastOf(const std::vector<Call>& calls, gv::FileCallKind kind) {
    for (int i = static_cast<int>(calls.size()) - 1; i >= 0; --i) {
        if (calls[i].kind == kind) {
            return i;
        }
    }
    return -1;
}

}  // namespace

// A save writes a helper file of a fresh name, flushes it after its last write and
// renames it over grindvakt.dat; a second save takes another name. The first save
// finds no file, the second the first one's.
TEST(StoreCalls, SaveFlushesAFreshHelperThenRenamesItOverThePasswordFile) {
    using Kind = gv::FileCallKind;
    gvtest::TempFolder program;
    const gv::StoreFolder store(program.Path());
    std::vector<std::wstring> helpers;
    for (const char* save : {"first save", "second save"}) {
        SCOPED_TRACE(save);
        const std::vector<Call> calls = RecordedSave(store);
        const int created = LastOf(calls, Kind::Create), wrote = LastOf(calls, Kind::Write),
                  flushed = LastOf(calls, Kind::Flush), renamed = LastOf(calls, Kind::Rename);
        ASSERT_GE(created, 0) << "no file was created";
        ASSERT_GE(wrote, 0) << "nothing was written";
        const std::wstring helper = calls[created].path;
        EXPECT_TRUE(IsHelperName(NameOf(helper))) << "helper " << gv::ToUtf8(helper);
        helpers.push_back(NameOf(helper));

        EXPECT_GT(flushed, wrote) << "no flush after the last write";
        EXPECT_GT(renamed, flushed) << "no rename after the flush";
        for (const int i : {wrote, flushed, renamed}) {
            if (i >= 0) {
                EXPECT_EQ(calls[i].path, helper)
                    << "call " << i << " acts on " << gv::ToUtf8(calls[i].path);
            }
        }
        ASSERT_GE(renamed, 0);
        EXPECT_EQ(NameOf(calls[renamed].target), L"grindvakt.dat")
            << "renamed to " << gv::ToUtf8(calls[renamed].target);
    }
    EXPECT_NE(helpers[0], helpers[1]) << "two saves used one helper name";
    EXPECT_EQ(gvtest::Names(program.Path()), std::vector<std::wstring>{L"grindvakt.dat"});
}
