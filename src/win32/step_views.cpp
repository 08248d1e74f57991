#include "win32/step_views.h"

#include <commctrl.h>
#include <oleacc.h>

#include "platform/win32_text.h"
#include "ui/ui_texts.h"
#include "win32/resource.h"
#include "win32/window_colours.h"

namespace vantel3 {

namespace {

// The message font's face: the Korean name of Malgun Gothic.
constexpr const wchar_t* kMessageFontFace = L"맑은 고딕";

void MoveTo(HWND control, const PixelRect& rect) {
  MoveWindow(control, rect.left, rect.top, rect.width(), rect.height(), TRUE);
}

PixelRect ChildRect(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return PixelRect{rect.left, rect.top, rect.right, rect.bottom};
}

// The height that `text` needs in `control`'s font at `width`, wrapped at word boundaries.
int TextHeight(HWND control, const std::wstring& text, int width) {
  if (text.empty()) return 0;
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT rect{0, 0, width, 0};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
            DT_CALCRECT | DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return rect.bottom - rect.top;
}

// Names a control that has no text of its own for screen readers: its window text (read by
// WM_GETTEXT) and, where the system offers it, the accessible name itself.
void NameForAssistiveTechnology(HWND control, const char* name) {
  const std::wstring wide = Widen(name);
  SetWindowTextW(control, wide.c_str());
  IAccPropServices* services = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IAccPropServices, reinterpret_cast<void**>(&services))) &&
      services != nullptr) {
    (void)services->SetHwndPropStr(control, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_NAME,
                                   wide.c_str());
    services->Release();
  }
}

}  // namespace

DialogBaseUnits DialogUnitsOf(HWND dialog) {
  RECT rect{0, 0, 4, 8};
  MapDialogRect(dialog, &rect);
  return DialogBaseUnits{rect.right, rect.bottom};
}

CStepView::CStepView(ViewId id, int templateId, int labelId, int secondId)
    : id_(id), templateId_(templateId), labelId_(labelId), secondId_(secondId) {}

CStepView::~CStepView() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  if (font_ != nullptr) DeleteObject(font_);
}

bool CStepView::Create(HINSTANCE instance, HWND parent, const RECT& rect) {
  hwnd_ = CreateDialogParamW(instance, MAKEINTRESOURCEW(templateId_), parent, &DialogProc,
                             reinterpret_cast<LPARAM>(this));
  if (hwnd_ == nullptr) return false;
  SetWindowLongPtrW(hwnd_, GWLP_ID, templateId_);
  SetWindowPos(hwnd_, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
  OnInitialUpdate();
  ShowWindow(hwnd_, SW_HIDE);
  return true;
}

INT_PTR CALLBACK CStepView::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    return FALSE;
  }
  auto* view = reinterpret_cast<CStepView*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (view == nullptr) return FALSE;
  return view->HandleMessage(message, wParam, lParam);
}

INT_PTR CStepView::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND: {
      RECT client{};
      GetClientRect(hwnd_, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, ViewBackgroundBrush());
      SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, 1);
      return TRUE;
    }
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) == messageLabel_) {
        return reinterpret_cast<INT_PTR>(
            OnCtlColorStatic(reinterpret_cast<HDC>(wParam), messageLabel_));
      }
      return FALSE;
    case WM_COMMAND:
      return OnCommand(wParam, lParam) ? TRUE : FALSE;
    case WM_SIZE:
      // The layout is made once; a size change moves nothing.
      return TRUE;
    default: {
      LRESULT result = 0;
      if (OnMessage(message, wParam, lParam, result)) {
        SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
        return TRUE;
      }
      return FALSE;
    }
  }
}

HBRUSH CStepView::OnCtlColorStatic(HDC dc, HWND control) {
  SetBkColor(dc, ViewBackgroundColour());
  SetTextColor(dc, ViewTextColour());
  // A text change moves the focus to the label once it is drawn, so a screen reader reads the
  // new text; other redraws leave the focus where the user put it.
  if (focusOnDraw_ && id_ != ViewId::kMain && IsShown()) {
    focusOnDraw_ = false;
    if (GetFocus() != control) SetFocus(control);
  }
  return ViewBackgroundBrush();
}

void CStepView::OnInitialUpdate() {
  const UINT dpi = GetDpiForWindow(hwnd_);
  LOGFONTW face{};
  face.lfHeight = -FontPixelHeight(ViewFontPoints(id_), dpi > 0 ? static_cast<int>(dpi) : 96);
  face.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(face.lfFaceName, kMessageFontFace, LF_FACESIZE);
  font_ = CreateFontIndirectW(&face);

  messageLabel_ = GetDlgItem(hwnd_, labelId_);
  SendMessageW(messageLabel_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  if (secondId_ != 0) second_ = GetDlgItem(hwnd_, secondId_);
  InitSecondControl();

  RECT client{};
  GetClientRect(hwnd_, &client);
  const ViewLayout layout = LayoutView(id_, client.right, client.bottom, DialogUnitsOf(hwnd_));
  laidOutLabel_ = layout.label;
  laidOutSecond_ = layout.second;
  MoveTo(messageLabel_, layout.label);
  if (id_ != ViewId::kMain && second_ != nullptr) MoveTo(second_, layout.second);
}

void CStepView::SetMessageText(const std::wstring& text) {
  SetWindowTextW(messageLabel_, text.c_str());
  const int height = TextHeight(messageLabel_, text, laidOutLabel_.width());
  MoveTo(messageLabel_, FitLabelToText(laidOutLabel_, height));
  OnLabelFitted();
  NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, messageLabel_, OBJID_CLIENT, CHILDID_SELF);
  if (id_ != ViewId::kMain) {
    focusOnDraw_ = true;
    InvalidateRect(messageLabel_, nullptr, TRUE);
  }
}

void CStepView::Show(bool show) {
  ShowWindow(hwnd_, show ? SW_SHOW : SW_HIDE);
  if (show) FocusOnShow();
}

void CStepView::FocusOnShow() {
  SetFocus(messageLabel_);
}

bool CStepView::OnCommand(WPARAM, LPARAM) {
  return false;
}

bool CStepView::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) {
  return false;
}

CMainView::CMainView() : CStepView(ViewId::kMain, IDD_MAIN_VIEW, IDC_MAIN_LABEL, IDC_NEXT_BUTTON) {}

void CMainView::InitSecondControl() {
  SendMessageW(nextButton(), WM_SETFONT, reinterpret_cast<WPARAM>(font()), FALSE);
  // The update run places, labels and shows the button when it wants the click.
  ShowWindow(nextButton(), SW_HIDE);
}

bool CMainView::OnCommand(WPARAM wParam, LPARAM) {
  if (LOWORD(wParam) != IDC_NEXT_BUTTON || HIWORD(wParam) != BN_CLICKED) return false;
  if (nextPressed_ != nullptr) nextPressed_->store(1);
  HWND next = nextButton();
  if (next != nullptr) {
    const bool hadFocus = GetFocus() == next;
    EnableWindow(next, FALSE);
    ShowWindow(next, SW_HIDE);
    // The keyboard focus stays in the window, on the message that comes next.
    if (hadFocus) SetFocus(messageLabel());
  }
  return true;
}

void CMainView::ShowNextButton(bool show) {
  HWND next = nextButton();
  ShowWindow(next, show ? SW_SHOW : SW_HIDE);
  // Enter or Space answers the button as soon as it shows.
  if (show && IsWindowEnabled(next) && IsShown()) SetFocus(next);
}

void CMainView::FocusOnShow() {
  HWND next = nextButton();
  SetFocus(IsWindowVisible(next) && IsWindowEnabled(next) ? next : messageLabel());
}

CProgressView::CProgressView(ViewId id, int templateId, int labelId, int barId, const char* barName)
    : CStepView(id, templateId, labelId, barId), barName_(barName) {}

void CProgressView::InitSecondControl() {
  SendMessageW(progressBar(), PBM_SETPOS, 0, 0);
  NameForAssistiveTechnology(progressBar(), barName_);
}

bool CProgressView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  // The number is the dialog's DM_SETDEFID too, which always names a control; the progress
  // message's first parameter is 0.
  if (message != WM_UPDATE_PROGRESS || wParam != 0) return false;
  SendMessageW(progressBar(), PBM_SETPOS,
               static_cast<WPARAM>(ClampProgress(static_cast<int>(lParam))), 0);
  result = 0;
  return true;
}

void CProgressView::OnLabelFitted() {
  MoveTo(progressBar(), BarBelowLabel(laidOutSecond(), ChildRect(messageLabel())));
}

CRestoreView::CRestoreView()
    : CProgressView(ViewId::kRestore, IDD_RESTORE_VIEW, IDC_RESTORE_LABEL, IDC_RESTORE_PROGRESS,
                    ui_text::kRestoreProgressName) {}

bool CRestoreView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_UPDATE_PROGRESS && wParam == 0 && lParam == 10) {
    // The update view's label number; this view has no such control, so nothing moves.
    if (HWND label = GetDlgItem(hwnd(), IDC_UPDATE_LABEL); label != nullptr) SetFocus(label);
  }
  return CProgressView::OnMessage(message, wParam, lParam, result);
}

CUpdateView::CUpdateView()
    : CProgressView(ViewId::kUpdate, IDD_UPDATE_VIEW, IDC_UPDATE_LABEL, IDC_UPDATE_PROGRESS,
                    ui_text::kUpdateProgressName) {}

CCheckView::CCheckView() : CStepView(ViewId::kCheck, IDD_CHECK_VIEW, IDC_CHECK_LABEL, 0) {}

CEndView::CEndView() : CStepView(ViewId::kEnd, IDD_END_VIEW, IDC_END_LABEL, IDC_END_BUTTON) {}

void CEndView::InitSecondControl() {
  SendMessageW(endButton(), WM_SETFONT, reinterpret_cast<WPARAM>(font()), FALSE);
}

void CEndView::SetButtonText(const std::wstring& text) {
  SetWindowTextW(endButton(), text.c_str());
  NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, endButton(), OBJID_CLIENT, CHILDID_SELF);
}

bool CEndView::OnCommand(WPARAM wParam, LPARAM) {
  SetFocus(endButton());
  if (LOWORD(wParam) == IDC_END_BUTTON && HIWORD(wParam) == BN_CLICKED && buttonAction_) {
    // The action may re-arm the view; run a copy.
    const std::function<void()> action = buttonAction_;
    action();
  }
  return false;
}

}  // namespace vantel3
