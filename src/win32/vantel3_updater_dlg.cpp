#include "win32/vantel3_updater_dlg.h"

#include "platform/win32_text.h"
#include "ui/ui_texts.h"
#include "win32/about_dlg.h"
#include "win32/resource.h"
#include "win32/window_colours.h"

namespace vantel3 {

namespace {

bool IsPushButton(HWND window) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (lstrcmpiW(name, L"Button") != 0) return false;
  const LONG_PTR type = GetWindowLongPtrW(window, GWL_STYLE) & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

}  // namespace

CVantel3UpdaterDlg::CVantel3UpdaterDlg(HINSTANCE instance, std::atomic<int32_t>& nextPressed,
                                       DialogHost& host)
    : instance_(instance), nextPressed_(nextPressed), host_(host) {}

CVantel3UpdaterDlg::~CVantel3UpdaterDlg() {
  if (icon_ != nullptr) DestroyIcon(icon_);
  if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
}

INT_PTR CVantel3UpdaterDlg::DoModal() {
  return DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_VANTEL3UPDATER_DIALOG), nullptr,
                         &DialogProc, reinterpret_cast<LPARAM>(this));
}

Win32Views CVantel3UpdaterDlg::Views() const {
  return Win32Views{
      hwnd_,         mainView_.get(), restoreView_.get(), updateView_.get(), checkView_.get(),
      endView_.get()};
}

INT_PTR CALLBACK CVantel3UpdaterDlg::DialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<CVantel3UpdaterDlg*>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    dialog->hwnd_ = hwnd;
    return dialog->OnInitDialog();
  }
  auto* dialog = reinterpret_cast<CVantel3UpdaterDlg*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (dialog == nullptr) return FALSE;
  return dialog->HandleMessage(message, wParam, lParam);
}

BOOL CVantel3UpdaterDlg::OnInitDialog() {
  // The About item, when its text is there.
  HMENU systemMenu = GetSystemMenu(hwnd_, FALSE);
  const wchar_t* aboutText = nullptr;
  const int aboutLength =
      LoadStringW(instance_, IDS_ABOUTBOX, reinterpret_cast<LPWSTR>(&aboutText), 0);
  if (systemMenu != nullptr && aboutLength > 0) {
    const std::wstring text(aboutText, static_cast<std::size_t>(aboutLength));
    AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, text.c_str());
  }

  // The icon, at the sizes this monitor's density asks for.
  const UINT dpi = GetDpiForWindow(hwnd_);
  icon_ = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                        GetSystemMetricsForDpi(SM_CXICON, dpi),
                                        GetSystemMetricsForDpi(SM_CYICON, dpi), 0));
  smallIcon_ = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                             GetSystemMetricsForDpi(SM_CXSMICON, dpi),
                                             GetSystemMetricsForDpi(SM_CYSMICON, dpi), 0));
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

  SetWindowTextW(hwnd_, Widen(ui_text::kMainWindowTitle).c_str());
  // The white background is not painted over the views.
  SetWindowLongPtrW(hwnd_, GWL_STYLE, GetWindowLongPtrW(hwnd_, GWL_STYLE) | WS_CLIPCHILDREN);

  CreateViews();
  if (host_.OnViewsCreated(*this) == 0) {
    EndDialog(hwnd_, -1);
    return FALSE;
  }
  return TRUE;
}

void CVantel3UpdaterDlg::CreateViews() {
  HWND frame = GetDlgItem(hwnd_, IDC_VIEW_FRAME);
  RECT rect{};
  GetWindowRect(frame, &rect);
  MapWindowPoints(HWND_DESKTOP, hwnd_, reinterpret_cast<POINT*>(&rect), 2);
  DestroyWindow(frame);

  mainView_ = std::make_unique<CMainView>();
  mainView_->SetNextFlag(&nextPressed_);
  restoreView_ = std::make_unique<CRestoreView>();
  updateView_ = std::make_unique<CUpdateView>();
  checkView_ = std::make_unique<CCheckView>();
  endView_ = std::make_unique<CEndView>();
  for (CStepView* view :
       {static_cast<CStepView*>(mainView_.get()), static_cast<CStepView*>(restoreView_.get()),
        static_cast<CStepView*>(updateView_.get()), static_cast<CStepView*>(checkView_.get()),
        static_cast<CStepView*>(endView_.get())}) {
    (void)view->Create(instance_, hwnd_, rect);
  }
}

void CVantel3UpdaterDlg::ShowAbout() {
  if (aboutOpen_) return;
  aboutOpen_ = true;
  // A nested modal loop: the worker's requests are still carried out while the box is open.
  RunAboutBox(instance_, hwnd_);
  aboutOpen_ = false;
}

bool CVantel3UpdaterDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
  const int id = LOWORD(wParam);
  HWND control = reinterpret_cast<HWND>(lParam);
  if (id == IDOK) {
    // Enter: the focused button answers, as a click would.
    HWND focus = GetFocus();
    if (focus != nullptr && IsChild(hwnd_, focus) && IsPushButton(focus) &&
        IsWindowVisible(focus) && IsWindowEnabled(focus)) {
      SendMessageW(focus, BM_CLICK, 0, 0);
    }
    return true;
  }
  if (id == IDCANCEL) {
    // Escape never ends an update by accident; the window closes only on purpose.
    return true;
  }
  // Enter on a view's default button arrives here; the view that owns the button handles it.
  if (control != nullptr && IsChild(hwnd_, control) && GetParent(control) != hwnd_) {
    SendMessageW(GetParent(control), WM_COMMAND, wParam, lParam);
    return true;
  }
  return false;
}

INT_PTR CVantel3UpdaterDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kRunRequestMessage:
      (*reinterpret_cast<const std::function<void()>*>(lParam))();
      SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, 0);
      return TRUE;
    case kRunEndedMessage:
      host_.OnRunEnded();
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        ShowAbout();
        SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, 0);
        return TRUE;
      }
      return FALSE;
    case WM_HELP:
      // F1 opens the About box too, as on the other systems' window.
      ShowAbout();
      SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_COMMAND:
      return OnCommand(wParam, lParam) ? TRUE : FALSE;
    case WM_CLOSE:
      host_.OnCloseRequested(*this);
      return TRUE;
    case WM_ERASEBKGND: {
      RECT client{};
      GetClientRect(hwnd_, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, ViewBackgroundBrush());
      SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, 1);
      return TRUE;
    }
    case WM_PAINT:
      if (IsIconic(hwnd_)) {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(hwnd_, &paint);
        SendMessageW(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        RECT client{};
        GetClientRect(hwnd_, &client);
        const int cx = GetSystemMetrics(SM_CXICON);
        const int cy = GetSystemMetrics(SM_CYICON);
        DrawIcon(dc, (client.right - cx + 1) / 2, (client.bottom - cy + 1) / 2, icon_);
        EndPaint(hwnd_, &paint);
        return TRUE;
      }
      return FALSE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(icon_);
    case WM_DESTROY:
      if (mainView_ != nullptr && mainView_->hwnd() != nullptr) DestroyWindow(mainView_->hwnd());
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace vantel3
