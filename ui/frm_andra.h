// The main window: the access switch and the program's menu.
#pragma once

#include "core/form.h"

namespace gv {

class FrmÄndra : public Form {
public:
    FrmÄndra();

protected:
    void OnCommand(int id, int notifyCode) override;
};

}  // namespace gv
