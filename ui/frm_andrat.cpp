#include "ui/frm_andrat.h"

#include <array>

#include "core/app.h"

namespace gv {
namespace {

using K = ControlKind;
using F = FrmÄndrat;
constexpr std::array kControls{
    // clang-format off
    //          kind      id             name          caption                          left top width height tab flags
    ControlSpec{K::Label,  F::LblText,    L"LblText",    L"Registereditorn är upplåst",   75,  75, 1800, 195, 0, ctl::AutoSize},
    ControlSpec{K::Button, F::CmdAvsluta, L"CmdAvsluta", L"&Avsluta",                    450, 375,  990, 345, 1},
    // clang-format on
};

constexpr std::array kCommands{CommandSpec{F::CmdAvsluta, Handler<&F::CmdAvsluta_Click>}};
constexpr std::array kTimers{TimerSpec{F::Timer1, 3000, Handler<&F::Timer1_Timer>}};

constexpr FormSpec kForm{.caption = L"",
                         .clientWidth = 1965,
                         .clientHeight = 780,
                         .titleBar = false,
                         .icon = false,
                         .taskbar = false,
                         .controls = kControls,
                         .commands = kCommands,
                         .timers = kTimers};

}  // namespace

FrmÄndrat::FrmÄndrat() : Form(kForm) {}

void FrmÄndrat::CmdAvsluta_Click() {
    app::End();
}

void FrmÄndrat::Timer1_Timer() {
    app::End();
}

}  // namespace gv
