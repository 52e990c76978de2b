#include "ui/frm_andra_losenord.h"

#include <array>
#include <optional>
#include <string>

#include "core/ansi.h"
#include "core/app.h"
#include "core/modules.h"
#include "store/password_file.h"
#include "store/password_store.h"

namespace gv {
namespace {

using K = ControlKind;
using F = FrmÄndraLösenord;
constexpr std::array kControls{
    // clang-format off
    //          kind       id                name           caption                left  top width height tab flags         label for
    ControlSpec{K::Label,   F::Label1 + 0,    L"Label1(0)",  L"Gammalt lösenord:",    75,   75, 1305, 195, 4, ctl::AutoSize, F::TxtGammalt},
    ControlSpec{K::Label,   F::Label1 + 1,    L"Label1(1)",  L"Nytt lösenord:",       75,  525,  975, 195, 5, ctl::AutoSize, F::TxtNytt},
    ControlSpec{K::Label,   F::Label1 + 2,    L"Label1(2)",  L"Bekräfta lösenord:",   75,  975, 1290, 195, 6, ctl::AutoSize, F::TxtBekräfta},
    ControlSpec{K::TextBox, F::TxtGammalt,    L"TxtGammalt", L"",                   1425,   75, 3015, 285, 0},
    ControlSpec{K::TextBox, F::TxtNytt,       L"TxtNytt",    L"",                   1425,  525, 3015, 285, 1},
    ControlSpec{K::TextBox, F::TxtBekräfta,   L"TxtBekräfta", L"",                  1425,  975, 3015, 285, 2},
    ControlSpec{K::Button,  F::cmdOK,         L"cmdOK",      L"&Ok",                3225, 1350, 1215, 465, 3},
    // clang-format on
};

constexpr std::array kCommands{CommandSpec{F::cmdOK, Handler<&F::cmdOK_Click>}};

constexpr FormSpec kForm{.caption = L"Ändra lösenord",
                         .clientWidth = 4500,
                         .clientHeight = 1875,
                         .controls = kControls,
                         .commands = kCommands};

const wchar_t* ProblemText(PasswordProblem problem) {
    switch (problem) {
        case PasswordProblem::Empty:
            return L"Lösenordet får inte vara tomt.";
        case PasswordProblem::Comma:
            return L"Lösenordet får inte innehålla kommatecken.";
        case PasswordProblem::OuterBlanks:
            return L"Lösenordet får inte börja eller sluta med mellanslag eller tabb.";
        case PasswordProblem::LeadingQuote:
            return L"Lösenordet får inte börja med citattecken.";
        case PasswordProblem::LineBreak:
            return L"Lösenordet får inte innehålla radbrytningar.";
        case PasswordProblem::Unstorable:
        case PasswordProblem::None:
            break;
    }
    return L"Lösenordet kan inte sparas så att det går att läsa tillbaka. Välj ett annat lösenord.";
}

}  // namespace

FrmÄndraLösenord::FrmÄndraLösenord() : Form(kForm) {}

void FrmÄndraLösenord::Form_Load() {
    if (Module1::NoPassword == True) {
        SetEnabled(TxtGammalt, false);
    }
}

// A password the file would not give back unchanged would lock the user out.
bool FrmÄndraLösenord::Usable(const std::wstring& password) {
    const std::optional<std::string> ansi = ToAnsiExact(password);
    const PasswordProblem problem =
        ansi ? CheckNewPassword(*ansi, Module2::ScrambleKey) : PasswordProblem::Unstorable;
    if (problem == PasswordProblem::None) {
        return true;
    }
    const std::wstring text =
        ansi ? ProblemText(problem)
             : L"Lösenordet innehåller tecken som inte kan sparas i lösenordsfilen.";
    app::MsgBox(L"Lösenordet kan inte användas.\r\n\r\n" + text, MB_OK | MB_ICONINFORMATION,
                L"Information");
    return false;
}

void FrmÄndraLösenord::cmdOK_Click() {
    const std::wstring oldEntry = Text(TxtGammalt);
    const std::wstring newEntry = Text(TxtNytt);
    const std::wstring confirmed = Text(TxtBekräfta);
    if (Module1::NoPassword == False && oldEntry != Module1::StoredPassword) {
        app::MsgBox(L"Det gamla lösenordet är felaktigt, försök igen", MB_OK);
        return;
    }
    if (confirmed != newEntry) {
        app::MsgBox(
            L"Det nya lösenordet stämer ej överens med det bekräftade, ange det igen och försök "
            L"igen",
            MB_OK | MB_ICONINFORMATION, L"Information");
        return;
    }
    if (!Usable(newEntry)) {
        return;
    }
    // The window takes no input while the file is replaced.
    ::EnableWindow(Hwnd(), FALSE);
    try {
        SavePassword(newEntry, Module2::ScrambleKey);
    } catch (const RuntimeError& e) {
        ::EnableWindow(Hwnd(), TRUE);
        app::MsgBox(L"Det nya lösenordet kunde inte sparas i " + PasswordFilePath() + L".\r\n\r\n" +
                        app::ReasonOf(e) + L"\r\n\r\nDet gamla lösenordet gäller fortfarande.",
                    MB_OK | MB_ICONINFORMATION, L"Information");
        return;
    }
    ::EnableWindow(Hwnd(), TRUE);
    Unload();
}

}  // namespace gv
