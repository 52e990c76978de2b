// Start-up, above every folder: the run begins with the login window.
#include <windows.h>
#include <commctrl.h>

#include "core/app.h"
#include "core/system_dll.h"
#include "ui/frm_logga_in.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything loads a DLL by name, Common Controls among them.
    gv::LoadDllsFromSystemOnly();
    return gv::app::Run([] {
        // Common Controls is no Known DLL: it comes from system32 (or the manifest's
        // side-by-side copy), never from the program's folder.
        const auto init = gv::SystemFunction<decltype(&::InitCommonControlsEx)>(
            L"comctl32.dll", "InitCommonControlsEx");
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
        init(&icc);
        gv::Default<gv::FrmLoggaIn>().Show();
    });
}
