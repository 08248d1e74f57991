#include "win32/win32_step_ui.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/win32_text.h"
#include "ui/ui_texts.h"
#include "win32/resource.h"

namespace vantel3 {

namespace {

PixelRect ClientRectOf(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  return PixelRect{rect.left, rect.top, rect.right, rect.bottom};
}

PixelRect RectInParent(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return PixelRect{rect.left, rect.top, rect.right, rect.bottom};
}

}  // namespace

std::wstring ApplicationName() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return Widen(ui_text::kApplicationName);
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
  const std::size_t dot = name.find_last_of(L'.');
  if (dot != std::wstring::npos && dot > 0) name.resize(dot);
  return name;
}

void ShowFailureBox(HWND owner, const std::string& text) {
  if (std::getenv(ui_text::kAutoCloseMessagesEnv) != nullptr) {
    std::fprintf(stderr, "%s: %s\n", ui_text::kApplicationName, text.c_str());
    std::fflush(stderr);
    return;
  }
  const std::wstring caption = ApplicationName();
  (void)MessageBoxW(owner, Widen(text).c_str(), caption.c_str(), MB_OK | MB_ICONSTOP);
}

Win32StepUi::Win32StepUi(Win32Views views, std::function<void()> retryRun,
                         std::function<void()> closeApplication)
    : views_(views),
      retryRun_(std::move(retryRun)),
      closeApplication_(std::move(closeApplication)) {}

CStepView* Win32StepUi::View(ViewId view) const {
  switch (view) {
    case ViewId::kMain:
      return views_.mainView;
    case ViewId::kRestore:
      return views_.restoreView;
    case ViewId::kUpdate:
      return views_.updateView;
    case ViewId::kCheck:
      return views_.checkView;
    case ViewId::kEnd:
      return views_.endView;
  }
  return nullptr;
}

void Win32StepUi::OnGuiThread(const std::function<void()>& request) {
  if (GetWindowThreadProcessId(views_.owner, nullptr) == GetCurrentThreadId()) {
    request();
    return;
  }
  // The window's thread never waits for a worker, so this cannot deadlock; a nested modal
  // loop there (a message box, the About box, the system menu) still carries it out.
  SendMessageW(views_.owner, kRunRequestMessage, 0, reinterpret_cast<LPARAM>(&request));
}

void Win32StepUi::ShowOnly(ViewId view) {
  OnGuiThread([this, view] {
    // Hide first, so that the focus never rests in a hidden view.
    for (ViewId id :
         {ViewId::kMain, ViewId::kRestore, ViewId::kUpdate, ViewId::kCheck, ViewId::kEnd}) {
      if (id != view) View(id)->Show(false);
    }
    View(view)->Show(true);
  });
}

void Win32StepUi::SetMessage(ViewId view, const std::string& text) {
  const std::wstring wide = Widen(text);
  OnGuiThread([this, view, &wide] { View(view)->SetMessageText(wide); });
}

bool Win32StepUi::GetMainViewDpi(int& horizontal, int& vertical) {
  UINT dpi = 0;
  OnGuiThread([this, &dpi] { dpi = GetDpiForWindow(views_.mainView->hwnd()); });
  if (dpi == 0) return false;
  // Square pixels: one density for both directions.
  horizontal = static_cast<int>(dpi);
  vertical = static_cast<int>(dpi);
  return true;
}

PixelRect Win32StepUi::MainViewClientRect() {
  PixelRect rect;
  OnGuiThread([this, &rect] { rect = ClientRectOf(views_.mainView->hwnd()); });
  return rect;
}

PixelRect Win32StepUi::MainViewLabelRect() {
  PixelRect rect;
  OnGuiThread([this, &rect] { rect = RectInParent(views_.mainView->messageLabel()); });
  return rect;
}

void Win32StepUi::PlaceNextButton(const PixelRect& rect) {
  OnGuiThread([this, rect] {
    MoveWindow(views_.mainView->nextButton(), rect.left, rect.top, rect.width(), rect.height(),
               TRUE);
  });
}

void Win32StepUi::SetNextButtonText(const std::string& text) {
  const std::wstring wide = Widen(text);
  OnGuiThread([this, &wide] { SetWindowTextW(views_.mainView->nextButton(), wide.c_str()); });
}

void Win32StepUi::SetNextButtonEnabled(bool enabled) {
  OnGuiThread(
      [this, enabled] { EnableWindow(views_.mainView->nextButton(), enabled ? TRUE : FALSE); });
}

void Win32StepUi::SetNextButtonVisible(bool visible) {
  OnGuiThread([this, visible] { views_.mainView->ShowNextButton(visible); });
}

void Win32StepUi::SetProgress(ViewId view, int percent) {
  const CProgressView* target = nullptr;
  if (view == ViewId::kUpdate) target = views_.updateView;
  if (view == ViewId::kRestore) target = views_.restoreView;
  if (target == nullptr) return;
  // Addressed to the view as the parent of its bar, and handled before this returns.
  SendMessageW(GetParent(target->progressBar()), WM_UPDATE_PROGRESS, 0,
               static_cast<LPARAM>(percent));
}

void Win32StepUi::ShowFailureMessage(const std::string& message) {
  OnGuiThread([this, &message] { ShowFailureBox(views_.owner, message); });
}

void Win32StepUi::ArmEndButton(const std::string& caption, EndAction action) {
  const std::wstring wide = Widen(caption);
  OnGuiThread([this, &wide, action] {
    CEndView* end = views_.endView;
    end->SetButtonText(wide);
    switch (action) {
      case EndAction::kNone:
        end->SetButtonAction(nullptr);
        break;
      case EndAction::kRetry:
        end->SetButtonAction(retryRun_);
        break;
      case EndAction::kClose:
        end->SetButtonAction(closeApplication_);
        break;
    }
  });
}

}  // namespace vantel3
