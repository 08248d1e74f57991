// The main dialog (template 102): a fixed-size window titled "Vantel3 Update tool" holding
// the five step views in one rectangle, the About item in its system menu, white behind the
// views. It carries out the worker's requests on its thread and hands the application the
// moments it acts on: views created, close requested, a worker ended.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "win32/step_views.h"
#include "win32/win32_step_ui.h"

namespace vantel3 {

class CVantel3UpdaterDlg;

// What the application does at the dialog's turning points (all on the window's thread).
class DialogHost {
 public:
  virtual ~DialogHost() = default;
  // The views exist: bind the library and start the first worker. 0 ends the dialog before
  // it shows (the process then ends with -1).
  virtual int OnViewsCreated(CVantel3UpdaterDlg& dialog) = 0;
  // The close button, the system menu's Close, Alt+F4 or the Exit action.
  virtual void OnCloseRequested(CVantel3UpdaterDlg& dialog) = 0;
  // A worker has ended (posted by its thread).
  virtual void OnRunEnded() = 0;
};

class CVantel3UpdaterDlg {
 public:
  CVantel3UpdaterDlg(HINSTANCE instance, std::atomic<int32_t>& nextPressed, DialogHost& host);
  ~CVantel3UpdaterDlg();
  CVantel3UpdaterDlg(const CVantel3UpdaterDlg&) = delete;
  CVantel3UpdaterDlg& operator=(const CVantel3UpdaterDlg&) = delete;

  // Runs the dialog modally: its end result (-1 when the library could not be bound).
  INT_PTR DoModal();
  // Ends the modal run (window's thread).
  void End(INT_PTR result) { EndDialog(hwnd_, result); }

  [[nodiscard]] HWND hwnd() const { return hwnd_; }
  [[nodiscard]] Win32Views Views() const;
  // Opens the About box modally (nothing when it is open already).
  void ShowAbout();

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  BOOL OnInitDialog();
  void CreateViews();
  bool OnCommand(WPARAM wParam, LPARAM lParam);

  HINSTANCE instance_;
  std::atomic<int32_t>& nextPressed_;
  DialogHost& host_;
  HWND hwnd_ = nullptr;
  HICON icon_ = nullptr;
  HICON smallIcon_ = nullptr;
  bool aboutOpen_ = false;
  std::unique_ptr<CMainView> mainView_;
  std::unique_ptr<CRestoreView> restoreView_;
  std::unique_ptr<CUpdateView> updateView_;
  std::unique_ptr<CCheckView> checkView_;
  std::unique_ptr<CEndView> endView_;
};

}  // namespace vantel3
