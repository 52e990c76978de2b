// What the window cases share: each window loaded in a known state, and a fixture
// that unloads them all again and puts back what loading them changed.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "core/platform.h"
#include "registry/registry.h"
#include "store/password_store.h"
#include "ui/frm_andra.h"
#include "ui/frm_andra_losenord.h"
#include "ui/frm_andrat.h"
#include "ui/frm_logga_in.h"
#include "ui/frm_om.h"

namespace formstest {

using gv::FrmLoggaIn, gv::FrmÄndra, gv::FrmÄndrat, gv::FrmÄndraLösenord, gv::FrmOm;

// Each window loaded in a known state.
// clang-format off
inline gv::Form& LoadLogin() { return gv::Default<FrmLoggaIn>(); }
inline gv::Form& LoadMain() { auto& f = gv::Default<FrmÄndra>(); f.SetChecked(FrmÄndra::Optstat); return f; }
inline gv::Form& LoadMainNej() { auto& f = gv::Default<FrmÄndra>(); f.SetChecked(FrmÄndra::Optstat + 1); return f; }
inline gv::Form& LoadPassword() { gv::Module1::NoPassword = gv::False; return gv::Default<FrmÄndraLösenord>(); }
inline gv::Form& LoadAbout() { return gv::Default<FrmOm>(); }
inline gv::Form& LoadConfirmation() {
    auto& f = gv::Default<FrmÄndrat>();
    ::KillTimer(f.Hwnd(), FrmÄndrat::Timer1);  // it would end the test process
    return f;
}
// The main window sets the text after loading: the label sizes itself again.
inline gv::Form& LoadLockedConfirmation() {
    auto& f = LoadConfirmation();
    f.SetText(FrmÄndrat::LblText, L"Registereditorn \u00e4r l\u00e5st");
    return f;
}
// clang-format on

struct Window {
    const char* name;
    gv::Form& (*load)();
};
inline const Window kWindows[] = {
    {"FrmLoggaIn", LoadLogin},
    {"FrmAndra, Ja", LoadMain},
    {"FrmAndra, Nej", LoadMainNej},
    {"FrmAndrat", LoadConfirmation},
    {"FrmAndrat, last", LoadLockedConfirmation},
    {"FrmAndraLosenord", LoadPassword},
    {"FrmOm", LoadAbout},
};

inline DWORD Style(HWND hwnd, int which = GWL_STYLE) {
    return static_cast<DWORD>(::GetWindowLongPtrW(hwnd, which));
}

template <typename F>
void UnloadIfLoaded() {
    if (gv::IsLoaded<F>()) {
        gv::Default<F>().Unload();
    }
}

class Forms : public testing::Test {
  protected:
    void SetUp() override {
        const DWORD attributes = ::GetFileAttributesW(gv::PasswordFilePath().c_str());
        passwordFileExisted_ = attributes != INVALID_FILE_ATTRIBUTES;
        noPassword_ = gv::Module1::NoPassword;
    }
    void TearDown() override {
        UnloadAll();
        gv::WritePolicy = &gv::WritePolicyToRegistry;
        gv::LookUpAccounts = &gv::SessionAccountsFromSystem;
        gv::Module1::NoPassword = noPassword_;
        if (!passwordFileExisted_) {
            ::DeleteFileW(gv::PasswordFilePath().c_str());  // the login window made an empty one
        }
    }
    static void UnloadAll() {
        UnloadIfLoaded<FrmLoggaIn>();
        UnloadIfLoaded<FrmÄndra>();
        UnloadIfLoaded<FrmÄndrat>();
        UnloadIfLoaded<FrmÄndraLösenord>();
        UnloadIfLoaded<FrmOm>();
        // The last unload ends the run's loop; that quit must not reach the next window.
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }

    bool passwordFileExisted_ = false;
    gv::Bool16 noPassword_ = gv::False;
};

}  // namespace formstest
