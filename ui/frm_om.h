// The About window: description, version, and a way to the System Information tool.
#pragma once

#include <windows.h>

#include <string>

#include "core/form.h"
#include "core/modules.h"

namespace gv {

class FrmOm : public Form {
  public:
    enum Id : int { cmdOK = 501, cmdSysInfo = 502, Image1 = 503, LblBesk = 504, lblVersion = 505 };

    FrmOm();

    static std::wstring Description();

    // Starts the System Information tool, or says that it cannot be found.
    void StartSysInfo();
    // Reads one string or DWORD value as text; False, with keyVal emptied, when it cannot.
    static Bool16 GetKeyValue(HKEY keyRoot, const std::wstring& keyName,
                              const std::wstring& subKeyRef, std::wstring& keyVal);

    void cmdOK_Click();
    void cmdSysInfo_Click();

  protected:
    void Form_Load() override;
};

}  // namespace gv
