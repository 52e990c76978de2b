// Start-up, above every folder: the run begins with the login window.
#include <windows.h>
#include <commctrl.h>

#include "core/app.h"
#include "ui/frm_logga_in.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    return gv::app::Run([] { gv::Default<gv::FrmLoggaIn>().Show(); });
}
