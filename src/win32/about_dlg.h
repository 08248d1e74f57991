// The About box (template 100): the icon, "Vantel3Updater, 버전 1.0" and "확인", which closes it.
#pragma once

#include <windows.h>

namespace vantel3 {

// Runs the box modally over `owner` until it is closed.
void RunAboutBox(HINSTANCE instance, HWND owner);

}  // namespace vantel3
