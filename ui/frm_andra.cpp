#include "ui/frm_andra.h"

#include <array>
#include <string>

#include "core/app.h"
#include "registry/registry.h"
#include "ui/frm_andra_losenord.h"
#include "ui/frm_andrat.h"
#include "ui/frm_om.h"

namespace gv {
namespace {

using K = ControlKind;
using F = FrmÄndra;
constexpr std::array kControls{
    // clang-format off
    //          kind      id              name           caption                    left  top width height tab flags         label for
    ControlSpec{K::Option, F::Optstat + 0, L"Optstat(0)", L"Ja",                     1575,   0,  615, 390, 0},
    ControlSpec{K::Option, F::Optstat + 1, L"Optstat(1)", L"Nej",                    2250,   0,  615, 390, 1},
    ControlSpec{K::Button, F::Command1,    L"Command1",   L"&Ändra",                 1725, 450,  990, 390, 2},
    ControlSpec{K::Label,  F::Label1,      L"Label1",     L"Åtkomst av registret:",    75,  75, 1440, 195, 3, ctl::AutoSize, F::Optstat},
    // clang-format on
};

constexpr std::array kMenu{
    MenuItemSpec{F::MnuLäsDetta, L"&Läs detta"},
    MenuItemSpec{F::MnuÄndraLösen, L"&Ändra lösenord"},
    MenuItemSpec{F::MnuOm, L"&Om"},
    MenuItemSpec{0, L"-"},
    MenuItemSpec{F::MnuAvsluta, L"&Avsluta"},
};

constexpr std::array kCommands{
    CommandSpec{F::Command1, Handler<&F::Command1_Click>},
    CommandSpec{F::MnuLäsDetta, Handler<&F::MnuLäsDetta_Click>},
    CommandSpec{F::MnuÄndraLösen, Handler<&F::MnuÄndraLösen_Click>},
    CommandSpec{F::MnuOm, Handler<&F::MnuOm_Click>},
    CommandSpec{F::MnuAvsluta, Handler<&F::MnuAvsluta_Click>},
};

constexpr FormSpec kForm{.caption = L"Grindvakt",
                         .clientWidth = 2880,
                         .clientHeight = 900,
                         .controls = kControls,
                         .commands = kCommands,
                         .menu = {L"&Meny", kMenu}};

constexpr wchar_t kHelpText[] =
    L"Ändra åtkomst genom att markera Ja eller Nej och sedan klicka på Ändra.\r\n"
    L"Om du vill ta bort programmet, måste du först ändra till Ja, annars kommer du\r\n"
    L"inte åt Registereditorn efter avinstallationen.";

// No way told which account is signed in, and the program may run as another.
constexpr wchar_t kAccountUnknownAdvice[] =
    L"\r\n\r\nGrindvakt kan inte avgöra vilket konto som är inloggat. Logga ut och logga in "
    L"igen på det konto som ska låsas eller låsas upp, och starta sedan Grindvakt där. Hör "
    L"kontot till en domän, till exempel en skolas, anslut först datorn till domänens nätverk.";

}  // namespace

FrmÄndra::FrmÄndra() : Form(kForm) {}

void FrmÄndra::Form_Load() {
    // The title names the account whose value is shown and switched, so that an
    // administrator who starts the program in their own session sees it is theirs.
    target_ = FindPolicyTarget();
    if (!target_.account.empty()) {
        ::SetWindowTextW(Hwnd(), (L"Grindvakt – " + target_.account).c_str());
    }
    // Other tools may store any value (Group Policy's 2 among them): every value
    // but 0 blocks the editor.
    SetChecked(Optstat + (ReadPolicy(target_) == 0 ? 0 : 1));
}

void FrmÄndra::Command1_Click() {
    const bool allow = IsChecked(Optstat + 0);
    // 1 blocks the editor and silent .reg imports alike; Group Policy's 2 leaves
    // the imports open, so it is never kept.
    const std::int32_t value = allow ? 0 : 1;
    const wchar_t* confirmation =
        allow ? L"Registereditorn är upplåst" : L"Registereditorn är låst";
    const WriteResult written = WritePolicy(target_, value);
    if (!written.ok) {
        // Never report a change that was not made.
        std::wstring text = L"Ändringen kunde inte sparas. Registereditorns läge är oförändrat.";
        if (written.error == kAccountUnknown) {
            text += kAccountUnknownAdvice;
        } else if (written.error == ERROR_ACCESS_DENIED) {
            text += L"\r\n\r\nGrindvakt måste startas som administratör för att kunna ändra detta.";
        } else {
            text += L"\r\n\r\nOrsak: " + SystemMessage(written.error);
        }
        app::MsgBox(text, MB_OK | MB_ICONINFORMATION, kAppTitle);
        return;
    }
    Default<FrmÄndrat>().SetText(FrmÄndrat::LblText, confirmation);
    Default<FrmÄndrat>().ShowModal();
}

void FrmÄndra::MnuLäsDetta_Click() {
    app::MsgBox(kHelpText, MB_OK | MB_ICONINFORMATION, L"Information");
}

void FrmÄndra::MnuÄndraLösen_Click() {
    Default<FrmÄndraLösenord>().ShowModal();
}

void FrmÄndra::MnuOm_Click() {
    Default<FrmOm>().ShowModal();
}

void FrmÄndra::MnuAvsluta_Click() {
    app::End();
}

}  // namespace gv
