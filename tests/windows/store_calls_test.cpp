// What a save does on disk, call by call, as the store's fault seam records it.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include "core/ansi.h"
#include "store/password_store.h"
#include "support.h"

namespace {

struct Call {
    gv::FileCallKind kind;
    std::wstring path, target;
    gv::MadeCall made;
};
std::vector<Call> g_calls;

void Record(gv::FileCallKind kind, const wchar_t* path, const wchar_t* target, gv::MadeCall made) {
    g_calls.push_back({kind, path, target, made});
}

std::wstring NameOf(const std::wstring& path) {
    return path.substr(path.find_last_of(L'\\') + 1);
}

}  // namespace

// A save writes a helper file of a fresh name (grindvakt.dat.<16 lower-case hex
// digits>.tmp), flushes it after its last write and renames it over grindvakt.dat;
// the next save takes another name. The first save finds no file, the second one.
// The flush recorded is the call made: FlushFileBuffers itself, not a note beside it.
TEST(StoreCalls, SaveFlushesAFreshHelperThenRenamesItOverThePasswordFile) {
    using Kind = gv::FileCallKind;
    gvtest::TempFolder program;
    const gv::StoreFolder store(program.Path());
    std::vector<std::wstring> helpers;
    for (int save = 1; save <= 2; ++save) {
        SCOPED_TRACE("save " + std::to_string(save));
        g_calls.clear();
        gv::StoreFaults.record = &Record;
        ASSERT_NO_THROW(gv::SavePassword(store, L"nytt", gv::kScrambleKey));
        gv::StoreFaults = {};
        std::wstring helper, order;  // W, F and R for each write, flush and rename of it
        for (const Call& call : g_calls) {
            helper = call.kind == Kind::Create ? call.path : helper;
            if (call.kind == Kind::Write || call.kind == Kind::Flush || call.kind == Kind::Rename) {
                EXPECT_EQ(call.path, helper) << "a call not on the helper file";
                order += call.kind == Kind::Write ? L'W' : call.kind == Kind::Flush ? L'F' : L'R';
            }
            if (call.kind == Kind::Flush) {
                EXPECT_EQ(call.made, reinterpret_cast<gv::MadeCall>(&::FlushFileBuffers))
                    << "the flush recorded is not FlushFileBuffers";
            }
            if (call.kind == Kind::Rename) {
                EXPECT_EQ(NameOf(call.target), L"grindvakt.dat") << gv::ToUtf8(call.target);
            }
        }
        EXPECT_EQ(gv::ToUtf8(order), "WFR") << "write, flush, then rename";
        const std::wstring name = NameOf(helper);
        const std::wstring digits = name.substr(std::min<std::size_t>(14, name.size()), 16);
        EXPECT_TRUE(name.size() == 34 && name.starts_with(L"grindvakt.dat.") &&
                    name.ends_with(L".tmp") &&
                    std::all_of(digits.begin(), digits.end(),
                                [](wchar_t c) { return std::iswxdigit(c) && !std::iswupper(c); }))
            << "helper " << gv::ToUtf8(name);
        helpers.push_back(name);
    }
    EXPECT_NE(helpers[0], helpers[1]) << "two saves used one helper name";
}
