// The main window: the access switch and the program's menu.
#pragma once

#include "core/form.h"
#include "registry/registry.h"

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
    KeyLocation target_;  // whose value the window shows; every write goes there too
};

}  // namespace gv
