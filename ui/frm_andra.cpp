#include "ui/frm_andra.h"

namespace gv {
namespace {

constexpr FormSpec kForm{.caption = L"Grindvakt", .clientWidth = 2880, .clientHeight = 900, .controls = {}};

}  // namespace

FrmÄndra::FrmÄndra() : Form(kForm) {}

void FrmÄndra::OnCommand(int /*id*/, int /*notifyCode*/) {}

}  // namespace gv
