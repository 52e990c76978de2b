// The confirmation window: says what the switch did, then ends the run.
#pragma once

#include "core/form.h"

namespace gv {

class FrmÄndrat : public Form {
  public:
    enum Id : int { LblText = 301, CmdAvsluta = 302, Timer1 = 303 };

    FrmÄndrat();

    void CmdAvsluta_Click();
    void Timer1_Timer();
};

}  // namespace gv
