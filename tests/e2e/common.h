// Helpers the test files share: layout in twips, screenshots, the stored form
// of a password and the first steps of a run.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "tests/e2e/driver.h"

namespace e2e {

// Twips to pixels at the given DPI (15 twips a pixel at 96 DPI).
int Pixels(int twips, int dpi);

// In twips, from the top-left corner of the client area.
RECT TwipsRect(int left, int top, int width, int height, int dpi);

// The window's DPI. GV_EXPECT_DPI names the DPI the prefix was set up for, so a
// prefix that quietly stayed at 96 cannot pass for another.
int CheckedDpi(HWND window);

// A rectangle as "left,top widthxheight".
std::string Placed(RECT r);

// Saves the window as folder\name when GV_SHOTS names a folder.
void Shot(HWND window, const wchar_t* name);

// What a password saved now looks like on disk.
Bytes StoredForm(std::string_view ansiPassword);

// Starts the run and types into its login window; the main window is not awaited.
void StartAndType(Session& session, std::wstring_view password);

}  // namespace e2e
