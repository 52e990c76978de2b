#include "ui/frm_logga_in.h"

#include <array>
#include <optional>
#include <string>
#include <utility>

#include "core/ansi.h"
#include "core/app.h"
#include "core/checked.h"
#include "core/modules.h"
#include "store/password_file.h"
#include "store/password_store.h"
#include "ui/frm_andra.h"

namespace gv {
namespace {

using K = ControlKind;
constexpr std::array kControls{
    // clang-format off
    //          kind       id                     name         caption      left   top  width height tab flags          label for
    ControlSpec{K::TextBox, FrmLoggaIn::TxtTest,   L"TxtTest",   L"",          900,  75, 2040, 315, 0},
    ControlSpec{K::Button,  FrmLoggaIn::cmdOK,     L"cmdOK",     L"&Ok",      1950, 450,  990, 315, 1},
    ControlSpec{K::Button,  FrmLoggaIn::CmdAvbryt, L"CmdAvbryt", L"&Avbryt",   900, 450,  990, 315, 2, ctl::Cancel},
    ControlSpec{K::Label,   FrmLoggaIn::Label2,    L"Label2",    L"Lösenord:",  75,  75,  705, 195, 3, ctl::AutoSize, FrmLoggaIn::TxtTest},
    // clang-format on
};

constexpr std::array kCommands{
    CommandSpec{FrmLoggaIn::cmdOK, Handler<&FrmLoggaIn::cmdOK_Click>},
    CommandSpec{FrmLoggaIn::CmdAvbryt, Handler<&FrmLoggaIn::CmdAvbryt_Click>},
};

constexpr FormSpec kForm{.caption = L"Logga in",
                         .clientWidth = 3015,
                         .clientHeight = 825,
                         .controls = kControls,
                         .commands = kCommands};

constexpr int kMaxFailedAttempts = 3;
constexpr int kEnter = 13;

}  // namespace

FrmLoggaIn::FrmLoggaIn() : Form(kForm) {}

void FrmLoggaIn::Form_Load() {
    FailedAttempts = 0;
    Module2::ScrambleKey = kScrambleKey;
    Module1::NoPassword = False;
    try {
        if (std::optional<std::wstring> stored = LoadPassword(Module2::ScrambleKey)) {
            FilePassword = std::move(*stored);
            Module1::StoredPassword = FilePassword;
        } else {
            Module1::NoPassword = True;
        }
    } catch (const RuntimeError& e) {
        // No entry can pass now; say why instead of leaving the user guessing.
        app::MsgBox(L"Lösenordsfilen " + PasswordFilePath() + L" kunde inte läsas.\r\n\r\n" +
                        app::ReasonOf(e),
                    MB_OK | MB_ICONINFORMATION, L"Lösenordsfilen");
    }
}

bool FrmLoggaIn::OnEnterIn(int textBoxId) {
    if (textBoxId != TxtTest) {
        return false;
    }
    TxtTest_KeyPress(kEnter);
    return true;
}

void FrmLoggaIn::TxtTest_KeyPress(int keyAscii) {
    if (keyAscii == kEnter) {
        cmdOK_Click();
    }
}

void FrmLoggaIn::CmdAvbryt_Click() {
    app::End();
}

void FrmLoggaIn::cmdOK_Click() {
    const std::wstring entry = Text(TxtTest);
    if (FailedAttempts == kMaxFailedAttempts) {
        app::MsgBox(L"Programmet avslutas efter tre felaktiga försök", MB_OK | MB_ICONINFORMATION,
                    L"Programmet avslutas");
        app::End();
    }
    if (entry.empty()) {
        Failed();
        return;
    }
    if (Module1::NoPassword == True) {
        if (entry == kDefaultPassword) {
            Succeeded();
            return;
        }
        app::MsgBox(
            L"Det finns inget lösenord angivet. Logga in med standardlösenordet och ändra sedan "
            L"till ett eget lösenord.",
            MB_OK | MB_ICONINFORMATION, L"Inget lösenord");
        SetFocusTo(TxtTest);
        return;
    }
    if (entry == FilePassword) {
        Succeeded();
    } else {
        Failed();
    }
}

void FrmLoggaIn::Failed() {
    app::MsgBox(L"Fel lösenord, försök igen", MB_OK | MB_ICONINFORMATION, L"Fel lösenord");
    SetFocusTo(TxtTest);
    FailedAttempts = CheckedAdd(FailedAttempts, std::int16_t{1});
}

void FrmLoggaIn::Succeeded() {
    Default<FrmÄndra>().Show();
    Unload();
}

}  // namespace gv
