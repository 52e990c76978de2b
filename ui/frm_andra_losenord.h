// The change-password window.
#pragma once

#include "core/form.h"

namespace gv {

class FrmÄndraLösenord : public Form {
  public:
    enum Id : int {
        Label1 = 401,  // Label1(0..2) are Label1 + 0..2
        TxtGammalt = 404,
        TxtNytt = 405,
        TxtBekräfta = 406,
        cmdOK = 407,
    };

    FrmÄndraLösenord();

    void cmdOK_Click();

  protected:
    void Form_Load() override;

  private:
    bool Usable(const std::wstring& password);
};

}  // namespace gv
