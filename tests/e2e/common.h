// What the end-to-end cases share: a case with its run of the program, logging
// in, the end of a run, message boxes, the policy value, text extents and
// screenshots.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "tests/e2e/driver.h"

namespace e2e {

inline constexpr wchar_t kDefaultPassword[] = L"Vinga";
inline constexpr wchar_t kLoginCaption[] = L"Logga in";
inline constexpr wchar_t kAppTitle[] = L"Grindvakt";  // the message boxes' title
inline constexpr wchar_t kWrongTitle[] = L"Fel lösenord";
inline constexpr wchar_t kWrongText[] = L"Fel lösenord, försök igen";
inline constexpr wchar_t kUnlocked[] = L"Registereditorn är upplåst";
inline constexpr wchar_t kLocked[] = L"Registereditorn är låst";

// The main window's title: the program's name and the account it switches, which
// in a Wine prefix is the one user's, who runs the tests too.
std::wstring MainCaption();

// The main window's menu items.
enum MenuItem : WORD { kMenuHelp = 211, kMenuChangePassword, kMenuAbout, kMenuQuit };

// A case with its own copy of the program, and the windows of its current run.
class Run : public testing::Test {
  protected:
    // A failed case tells how each of its runs ended.
    ~Run() override;

    // Starts a run and waits for its login window with the focus in the text
    // box; a message box or an early end fails the case.
    void StartLogin();
    void AwaitLogin();
    // The window once it shows; null, and a failure naming the box, where a
    // message box comes instead or the run ends.
    HWND AwaitWindow(std::wstring_view caption);
    // Types into the login window and clicks "&Ok"; with `keys`, types key by key
    // into the focused box and presses Enter.
    void EnterPassword(std::wstring_view password, bool keys = false);
    // The main window after a log-in, with its option buttons and "&Ändra".
    void AwaitMain();
    // Starts a run and logs in. The option buttons behave as on Windows: they
    // check themselves when they get the focus.
    void LogIn(std::wstring_view password = kDefaultPassword, bool keys = false);

    // Characters as the keyboard's translation hands them to a focused box.
    void TypeKeys(HWND box, std::wstring_view text);
    bool PostMenu(MenuItem item) const;
    // Sets a new password through the change-password window, typed twice, after
    // the old one where a password was stored (else the old box is disabled), and
    // waits until the window has saved it and the main window is usable again.
    void ChangePasswordTo(std::wstring_view password, std::wstring_view old = {});
    // Alt+M on the main window, once it is active again: the open menu.
    HWND OpenMenu();
    // The run ends, with exit code 0, within the time.
    void ExpectRunEnded(DWORD timeoutMs = kTimeoutMs);
    // The next message box has this title and text, an information icon or none,
    // and one OK button; `shot` names its screenshot. Dismisses it.
    void ExpectBox(std::wstring_view title, std::wstring_view text, bool icon = true,
                   const wchar_t* shot = nullptr);

    Session session;
    HWND login = nullptr, loginText = nullptr, loginOk = nullptr;
    HWND main = nullptr, ja = nullptr, nej = nullptr, andra = nullptr;
};

// The window's DPI. GV_EXPECT_DPI names the DPI the prefix was set up for, so a
// prefix that quietly stayed at 96 cannot pass for another.
int CheckedDpi(HWND window);

// The window is centred on the work area (an odd pixel may fall on either side).
void ExpectCentred(HWND window);

// The control's text, one line in the given face at 8 pt, clears the frame and
// focus rectangle of a button (3 px a side at 96 DPI).
void ExpectCaptionFits(HWND button, std::wstring_view face, int dpi);

// Saves the window as folder\name when GV_SHOTS names a folder.
void Shot(HWND window, const wchar_t* name);

bool Checked(HWND option);

// The window's text boxes, from the top down.
std::vector<HWND> EditsTopDown(HWND window);

// The confirmation has no caption: it is the run's window that holds the
// confirmation's text and "&Avsluta". All null while there is none.
struct Confirmation {
    HWND window = nullptr, label = nullptr, button = nullptr;
};
Confirmation FindConfirmation(const Session& session);

// One registry value a case changes, put back as it was when the case ends (with
// its key gone again where the case made it).
class SavedValue {
  public:
    SavedValue(HKEY root, std::wstring key, std::wstring name);
    ~SavedValue();
    SavedValue(const SavedValue&) = delete;
    SavedValue& operator=(const SavedValue&) = delete;

    // Creates the key where it is missing.
    void Set(DWORD type, const void* data, DWORD size) const;
    void SetDword(DWORD value) const { Set(REG_DWORD, &value, sizeof value); }
    void SetText(const std::wstring& text) const;
    void Remove() const;     // the value
    void RemoveKey() const;  // the key and everything under it
    // One comparable line: "no key", "missing", "REG_DWORD 1", "REG_SZ 1", "type 3: 01 00".
    std::string Stored() const;

  private:
    HKEY root_;
    std::wstring key_, name_;
    bool keyExisted_ = false, valueExisted_ = false;
    DWORD type_ = 0;
    Bytes old_;
};

// The user's policy value, DisableRegistryTools.
class PolicyValue : public SavedValue {
  public:
    PolicyValue()
        : SavedValue(HKEY_CURRENT_USER,
                     L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
                     L"DisableRegistryTools") {}
};

// The mutex older versions took before each pass over the password file in the
// folder: "Local\grindvakt-" and a hash of the file's final path, which anyone in
// the session could work out and take first.
std::wstring OldLockName(const std::wstring& folder);

// What a password saved now looks like on disk, and after `starts` start-ups:
// each reads the line back and scrambles all of it again, three bytes longer.
using gvtest::StoredForm;
Bytes GrownForm(std::string_view ansiPassword, int starts);

}  // namespace e2e
