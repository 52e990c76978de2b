// Loaded into the program under test by the driver: makes its automatic option
// buttons behave as they do on Windows, where a button that gets the focus
// checks itself, clears the rest of its group and tells its parent. Wine's
// buttons do neither, so a program that focuses an unchecked option would pass
// every test here and flip the user's choice on Windows.
#include <windows.h>

namespace {

bool IsAutoRadio(HWND h) {
    wchar_t cls[16] = {};
    ::GetClassNameW(h, cls, 16);
    return ::lstrcmpiW(cls, L"Button") == 0 &&
           (::GetWindowLongPtrW(h, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON;
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK RadioHookProc(int code, WPARAM wp, LPARAM lp) {
    const auto* ret = reinterpret_cast<const CWPRETSTRUCT*>(lp);
    if (code == HC_ACTION && ret->message == WM_SETFOCUS && IsAutoRadio(ret->hwnd) &&
        ::SendMessageW(ret->hwnd, BM_GETCHECK, 0, 0) != BST_CHECKED) {
        HWND parent = ::GetParent(ret->hwnd);
        for (HWND o = ::GetNextDlgGroupItem(parent, ret->hwnd, FALSE); o && o != ret->hwnd;
             o = ::GetNextDlgGroupItem(parent, o, FALSE)) {
            if (IsAutoRadio(o)) {
                ::SendMessageW(o, BM_SETCHECK, BST_UNCHECKED, 0);
            }
        }
        ::SendMessageW(ret->hwnd, BM_SETCHECK, BST_CHECKED, 0);
        ::SendMessageW(parent, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(ret->hwnd), BN_CLICKED),
                       reinterpret_cast<LPARAM>(ret->hwnd));
    }
    return ::CallNextHookEx(nullptr, code, wp, lp);
}
