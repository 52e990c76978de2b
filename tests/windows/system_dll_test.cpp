// DLLs loaded by name come from system32 only, and one that cannot be loaded is a
// run-time error that names it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core/ansi.h"
#include "core/system_dll.h"
#include "support.h"

namespace {

constexpr wchar_t kPlanted[] = L"gv_planted_here.dll";

TEST(SystemDll, DllBesideTheProgramIsNotFoundByName) {
    // Any DLL will do: this name exists in this folder only.
    const std::wstring planted = gvtest::OwnFolder() + L"\\" + kPlanted;
    const std::wstring source = gvtest::OwnFolder() + L"\\..\\e2e\\gv_e2e_planted.dll";
    ASSERT_TRUE(::CopyFileW(source.c_str(), planted.c_str(), FALSE)) << ::GetLastError();
    HMODULE here = ::LoadLibraryExW(kPlanted, nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR);
    ASSERT_NE(nullptr, here) << "the copy should load from this folder when asked";
    ::FreeLibrary(here);

    gv::LoadDllsFromSystemOnly();
    EXPECT_EQ(nullptr, ::LoadLibraryW(kPlanted)) << "a load by name reached this folder";
    const auto error = gvtest::Caught([] { gv::SystemDll(kPlanted); });
    ASSERT_TRUE(error) << "SystemDll found a DLL outside system32";
    EXPECT_EQ(ERROR_MOD_NOT_FOUND, error->Number());
    EXPECT_NE(std::string::npos, error->Text().find(gv::ToUtf8(kPlanted))) << error->Text();
    ::DeleteFileW(planted.c_str());
    ::DeleteFileW((planted + L".loaded").c_str());

    wchar_t system[MAX_PATH] = {};
    wchar_t loaded[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    ::GetModuleFileNameW(gv::SystemDll(L"wtsapi32.dll"), loaded, MAX_PATH);
    EXPECT_EQ(0, ::_wcsnicmp(system, loaded, ::wcslen(system))) << gv::ToUtf8(loaded);
}

TEST(SystemDll, MissingFunctionIsARunTimeErrorNamingIt) {
    const auto error =
        gvtest::Caught([] { gv::SystemFunction<void (*)()>(L"kernel32.dll", "GvNoSuchFunction"); });
    ASSERT_TRUE(error);
    EXPECT_EQ(ERROR_PROC_NOT_FOUND, error->Number());
    EXPECT_NE(std::string::npos, error->Text().find("kernel32.dll!GvNoSuchFunction"))
        << error->Text();
}

}  // namespace
