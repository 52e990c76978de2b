// The main window: the access switch and the program's menu.
#pragma once

#include <cstdint>

#include "core/form.h"

namespace gv {

class FrmÄndra : public Form {
  public:
    enum Id : int {
        Label1 = 201,
        Optstat = 202,  // Optstat(0) "Ja" is Optstat + 0, Optstat(1) "Nej" is Optstat + 1
        Command1 = 204,
        MnuLäsDetta = 211,
        MnuÄndraLösen = 212,
        MnuOm = 213,
        MnuAvsluta = 214,
    };

    FrmÄndra();

    void Command1_Click();
    void MnuLäsDetta_Click();
    void MnuÄndraLösen_Click();
    void MnuOm_Click();
    void MnuAvsluta_Click();

  protected:
    void Form_Load() override;

  private:
    std::int32_t loadedValue_ = 0;  // the policy value as it was when the window loaded
};

}  // namespace gv
