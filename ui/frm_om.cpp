#include "ui/frm_om.h"

#include <array>

#include "core/app.h"
#include "core/platform.h"
#include "core/process.h"
#include "gv_version.h"
#include "registry/account.h"
#include "registry/key_value.h"

namespace gv {
namespace {

using K = ControlKind;
using F = FrmOm;
constexpr wchar_t kVersionCaption[] = L"Version: " GV_VERSION_SHORT_W;
constexpr std::array kControls{
    // clang-format off
    //          kind      id             name          caption               left   top width height tab          flags
    ControlSpec{K::Button, F::cmdOK,      L"cmdOK",      L"OK",               5025, 2700, 1260,  345, 0,           ctl::Default | ctl::Cancel},
    ControlSpec{K::Button, F::cmdSysInfo, L"cmdSysInfo", L"&System Info...",  3675, 2700, 1245,  345, 1},
    ControlSpec{K::Image,  F::Image1,     L"Image1",     L"",                   75,   75,  480,  480, kNoTabIndex},
    ControlSpec{K::Label,  F::LblBesk,    L"LblBesk",    L"Beskrivning",       750,  600, 5490, 2040, 2,           ctl::WordWrap},
    ControlSpec{K::Label,  F::lblVersion, L"lblVersion", kVersionCaption,     750,  225,  840,  195, 3,           ctl::AutoSize},
    // clang-format on
};

constexpr std::array kCommands{
    CommandSpec{F::cmdOK, Handler<&F::cmdOK_Click>},
    CommandSpec{F::cmdSysInfo, Handler<&F::cmdSysInfo_Click>},
};

constexpr FormSpec kForm{.caption = L"Om Grindvakt",
                         .clientWidth = 6375,
                         .clientHeight = 3120,
                         .taskbar = false,
                         .controls = kControls,
                         .commands = kCommands};

constexpr wchar_t kMsinfoKey[] = L"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr wchar_t kMsinfoValue[] = L"PATH";
constexpr wchar_t kMsinfoLocationKey[] = L"SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr wchar_t kMsinfoLocationValue[] = L"MSINFO";
constexpr wchar_t kMsinfoFile[] = L"\\MSINFO32.EXE";

// A directory search for one exact path that counts ordinary files only.
bool NormalFileExists(const std::wstring& path) {
    WIN32_FIND_DATAW found{};
    UniqueFind find(::FindFirstFileW(path.c_str(), &found));
    if (!find) {
        return false;
    }
    constexpr DWORD kNotNormal =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
    return found.cFileName[0] != L'\0' && (found.dwFileAttributes & kNotNormal) == 0;
}

}  // namespace

FrmOm::FrmOm() : Form(kForm) {}

std::wstring FrmOm::Description() {
    constexpr const wchar_t* kLines[] = {
        L"Med det här programmet kan du hindra att obehöriga öppnar Registereditorn.",
        L"",
        L"Du kan lösenordsskydda denna begränsning.",
        L"",
        L"Observera att programmet inte förhindrar samkörning av registerposter.",
        L"",
        L"Programmet sprids gratis av Grindvaktsgruppen, grindvakt@example.org,",
        L"skrivet för Datorföreningen Grinden, www.grinden.example.org.",
        L"",
        L"Du har rätt att sprida programmet till andra.",
    };
    // CR LF between lines, none after the last.
    std::wstring text = kLines[0];
    for (std::size_t i = 1; i < std::size(kLines); ++i) {
        text += L"\r\n";
        text += kLines[i];
    }
    return text;
}

void FrmOm::Form_Load() {
    SetText(LblBesk, Description());
}

void FrmOm::cmdOK_Click() {
    Unload();
}

void FrmOm::cmdSysInfo_Click() {
    StartSysInfo();
}

void FrmOm::StartSysInfo() {
    try {
        std::wstring sysInfoPath;
        if (GetKeyValue(HKEY_LOCAL_MACHINE, kMsinfoKey, kMsinfoValue, sysInfoPath) == False) {
            if (GetKeyValue(HKEY_LOCAL_MACHINE, kMsinfoLocationKey, kMsinfoLocationValue,
                            sysInfoPath) == False) {
                Raise(err::FileNotFound);
            }
            if (!NormalFileExists(sysInfoPath + kMsinfoFile)) {
                Raise(err::FileNotFound);
            }
            sysInfoPath += kMsinfoFile;
        }
        // The tool runs as the account signed in here, or not at all.
        const std::wstring account = AgreedSid(LookUpAccounts().desktop).value_or(L"");
        if (account.empty()) {
            Raise(err::PermissionDenied);
        }
        StartProgram(sysInfoPath, account);
    } catch (const RuntimeError&) {
        app::MsgBox(L"System Information Is Unavailable At This Time", MB_OK);
    }
}

Bool16 FrmOm::GetKeyValue(HKEY keyRoot, const std::wstring& keyName, const std::wstring& subKeyRef,
                          std::wstring& keyVal) {
    return Registry::ReadValueText(keyRoot, keyName, subKeyRef, keyVal) ? True : False;
}

}  // namespace gv
