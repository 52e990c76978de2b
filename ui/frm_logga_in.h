// The login window: the first window of every run.
#pragma once

#include <cstdint>
#include <string>

#include "core/form.h"

namespace gv {

class FrmLoggaIn : public Form {
  public:
    enum Id : int { TxtTest = 101, cmdOK = 102, CmdAvbryt = 103, Label2 = 104 };

    FrmLoggaIn();

    // The fixed password accepted while none is stored.
    static constexpr wchar_t kDefaultPassword[] = L"Vinga";

    void cmdOK_Click();
    void CmdAvbryt_Click();

  protected:
    void Form_Load() override;
    bool OnEnterIn(int textBoxId) override;

  private:
    void TxtTest_KeyPress(int keyAscii);
    void Failed();
    void Succeeded();

    std::int16_t FailedAttempts = 0;
    std::wstring FilePassword;
};

}  // namespace gv
