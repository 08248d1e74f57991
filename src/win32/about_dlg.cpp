#include "win32/about_dlg.h"

#include "win32/resource.h"

namespace vantel3 {

namespace {

INT_PTR CALLBACK AboutProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      // The default button "확인" gets the focus.
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(hwnd, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

void RunAboutBox(HINSTANCE instance, HWND owner) {
  (void)DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUTBOX), owner, &AboutProc, 0);
}

}  // namespace vantel3
