// vantel3-ui-driver.exe STEP... -- PROGRAM [ARG...]
//
// Starts PROGRAM and drives its window from outside, step by step, the way assistive
// technology sees it: the class, identifier, visibility and text (WM_GETTEXT) of every
// control, button presses by BM_CLICK, system commands, the close request, screenshots, and
// the program's exit status. Prints one line per step; the first step that fails prints
// "FAIL: ..." and ends the driver (and the program) with status 1.
//
// Steps (a control is named by its identifier, searched in the current window):
//   window            wait for the program's main window ("Vantel3 Update tool"); current
//   popup             wait for another window of the program (About box, message box); current
//   main              the main window is current again
//   gone              wait until the current popup has closed; the main window is current
//   visible=ID        wait until the control is visible      hidden=ID   ... until it is not
//   text=ID           print the control's text once it is not empty
//   text=ID:WORDS     ... once it contains WORDS
//   progress=ID:N     wait until the progress bar's position is at least N
//   focus=ID          wait until the control has the keyboard focus
//   click=ID          press the button (BM_CLICK)
//   key=VK            press the key (a virtual-key code) in the control that has the focus
//   sys=N             send the system command N (WM_SYSCOMMAND) to the main window
//   close             ask the main window to close (WM_CLOSE)
//   dump              print every control of the current window: class, id, visible, text
//   shot=FILE         save the current window as it is on screen (BMP)
//   sleep=MS          wait
//   exit=N            wait for the program to end, with exit status N
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32_text.h"

namespace {

using vantel3::Narrow;
using vantel3::Widen;

constexpr DWORD kStepTimeoutMs = 30000;

PROCESS_INFORMATION gProcess{};
HWND gMain = nullptr;
HWND gCurrent = nullptr;

[[noreturn]] void Fail(const std::string& what) {
  std::printf("FAIL: %s\n", what.c_str());
  std::fflush(stdout);
  if (gProcess.hProcess != nullptr) TerminateProcess(gProcess.hProcess, 3);
  std::exit(1);
}

bool WaitFor(const std::function<bool()>& condition) {
  const ULONGLONG end = GetTickCount64() + kStepTimeoutMs;
  while (GetTickCount64() < end) {
    if (condition()) return true;
    Sleep(20);
  }
  return condition();
}

std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
    return L"";
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, 5000, &copied);
  text.resize(copied);
  return text;
}

std::string ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return Narrow(name);
}

std::string Printable(const std::wstring& text) {
  std::string out;
  for (char c : Narrow(text)) {
    if (c == '\n') {
      out += "\\n";
    } else if (c != '\r') {
      out += c;
    }
  }
  return out;
}

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> all;
  EnumChildWindows(
      parent,
      [](HWND child, LPARAM list) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&all));
  return all;
}

// The control with `id` in the current window; among several, the visible one.
HWND Control(int id) {
  HWND found = nullptr;
  for (HWND child : Descendants(gCurrent)) {
    if (GetDlgCtrlID(child) != id) continue;
    if (found == nullptr || IsWindowVisible(child)) found = child;
  }
  return found;
}

// The process's top-level windows that are shown.
std::vector<HWND> ProgramWindows() {
  std::vector<HWND> windows;
  EnumWindows(
      [](HWND window, LPARAM list) -> BOOL {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid == gProcess.dwProcessId && IsWindowVisible(window))
          reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  return windows;
}

void Dump() {
  RECT rect{};
  GetWindowRect(gCurrent, &rect);
  std::printf("window \"%s\" class %s %ldx%ld\n", Printable(TextOf(gCurrent)).c_str(),
              ClassOf(gCurrent).c_str(), rect.right - rect.left, rect.bottom - rect.top);
  for (HWND child : Descendants(gCurrent)) {
    const std::string cls = ClassOf(child);
    GetWindowRect(child, &rect);
    // An icon's text is its resource number, not words.
    const bool icon =
        cls == "Static" && (GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
    std::printf("  %s id=%d %s %ldx%ld \"%s\"", cls.c_str(), GetDlgCtrlID(child),
                IsWindowVisible(child) ? "visible" : "hidden", rect.right - rect.left,
                rect.bottom - rect.top, icon ? "(icon)" : Printable(TextOf(child)).c_str());
    if (cls == "msctls_progress32") {
      std::printf(" pos=%d", static_cast<int>(SendMessageW(child, PBM_GETPOS, 0, 0)));
    }
    if (!IsWindowEnabled(child)) std::printf(" disabled");
    std::printf("\n");
  }
}

// The window as it is on screen, as a 24-bit BMP.
void Shot(const std::string& file) {
  RECT rect{};
  GetWindowRect(gCurrent, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  const DWORD size = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER header{};
  header.bfType = 0x4D42;
  header.bfOffBits = sizeof(header) + sizeof(info.bmiHeader);
  header.bfSize = header.bfOffBits + size;
  FILE* out = _wfopen(Widen(file).c_str(), L"wb");
  if (out == nullptr) Fail("cannot write " + file);
  std::fwrite(&header, sizeof(header), 1, out);
  std::fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, out);
  std::fwrite(bits, 1, size, out);
  std::fclose(out);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

HWND NeedControl(int id) {
  HWND control = nullptr;
  if (!WaitFor([&] { return (control = Control(id)) != nullptr; }))
    Fail("no control " + std::to_string(id));
  return control;
}

void Step(const std::string& step) {
  const std::size_t eq = step.find('=');
  const std::string name = step.substr(0, eq);
  const std::string value = eq == std::string::npos ? "" : step.substr(eq + 1);
  const int number = std::atoi(value.c_str());
  if (name == "window") {
    if (!WaitFor([] {
          for (HWND window : ProgramWindows()) {
            if (TextOf(window) == L"Vantel3 Update tool") {
              gMain = window;
              return true;
            }
          }
          return false;
        }))
      Fail("no main window");
    gCurrent = gMain;
    std::printf("window found\n");
  } else if (name == "popup") {
    HWND popup = nullptr;
    if (!WaitFor([&] {
          for (HWND window : ProgramWindows()) {
            if (window != gMain && TextOf(window) != L"Vantel3 Update tool") popup = window;
          }
          return popup != nullptr;
        }))
      Fail("no popup");
    gCurrent = popup;
    HWND owner = GetWindow(popup, GW_OWNER);
    std::printf("popup \"%s\" owned by %s\n", Printable(TextOf(popup)).c_str(),
                owner == gMain ? "the main window" : "another window");
  } else if (name == "main") {
    gCurrent = gMain;
  } else if (name == "gone") {
    HWND popup = gCurrent;
    if (!WaitFor([&] { return !IsWindow(popup) || !IsWindowVisible(popup); }))
      Fail("popup still open");
    gCurrent = gMain;
    std::printf("popup closed\n");
  } else if (name == "visible" || name == "hidden") {
    const bool want = name == "visible";
    if (!WaitFor([&] {
          HWND control = Control(number);
          return control != nullptr && (IsWindowVisible(control) != FALSE) == want;
        }))
      Fail("control " + value + " not " + name);
    std::printf("%s %d\n", name.c_str(), number);
  } else if (name == "text") {
    HWND control = NeedControl(number);
    const std::size_t colon = value.find(':');
    const std::wstring words = colon == std::string::npos ? L"" : Widen(value.substr(colon + 1));
    if (!WaitFor([&] {
          const std::wstring text = TextOf(control);
          return !text.empty() && text.find(words) != std::wstring::npos;
        }))
      Fail("text of " + value);
    std::printf("text %d \"%s\"\n", number, Printable(TextOf(control)).c_str());
  } else if (name == "progress") {
    const std::size_t colon = value.find(':');
    const int id = std::atoi(value.substr(0, colon).c_str());
    const int least = std::atoi(value.substr(colon + 1).c_str());
    HWND bar = NeedControl(id);
    if (!WaitFor([&] { return SendMessageW(bar, PBM_GETPOS, 0, 0) >= least; }))
      Fail("progress " + value);
    std::printf("progress %d at %d\n", id, static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0)));
  } else if (name == "focus") {
    const DWORD thread = GetWindowThreadProcessId(gMain, nullptr);
    if (!WaitFor([&] {
          GUITHREADINFO info{};
          info.cbSize = sizeof(info);
          return GetGUIThreadInfo(thread, &info) && info.hwndFocus != nullptr &&
                 GetDlgCtrlID(info.hwndFocus) == number;
        }))
      Fail("focus not on " + value);
    std::printf("focus %d\n", number);
  } else if (name == "click") {
    HWND button = NeedControl(number);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &result)) {
      // A click that opens a modal loop (or ends the program) may not answer in time.
      std::printf("click %d (no answer)\n", number);
    } else {
      std::printf("click %d\n", number);
    }
  } else if (name == "key") {
    // Posted like typed keys, so the window's dialog manager sees them (Tab, Enter, Escape).
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    const DWORD thread = GetWindowThreadProcessId(gMain, nullptr);
    if (!GetGUIThreadInfo(thread, &info) || info.hwndFocus == nullptr) Fail("no focus for a key");
    const UINT scan = MapVirtualKeyW(static_cast<UINT>(number), MAPVK_VK_TO_VSC);
    PostMessageW(info.hwndFocus, WM_KEYDOWN, static_cast<WPARAM>(number),
                 static_cast<LPARAM>(1 | (scan << 16)));
    PostMessageW(info.hwndFocus, WM_KEYUP, static_cast<WPARAM>(number),
                 static_cast<LPARAM>(1 | (scan << 16) | (3u << 30)));
    std::printf("key %d\n", number);
  } else if (name == "sys") {
    PostMessageW(gMain, WM_SYSCOMMAND, static_cast<WPARAM>(number), 0);
    std::printf("system command %d\n", number);
  } else if (name == "close") {
    PostMessageW(gMain, WM_CLOSE, 0, 0);
    std::printf("close\n");
  } else if (name == "dump") {
    Dump();
  } else if (name == "shot") {
    Sleep(300);  // let the last change be painted
    Shot(value);
    std::printf("shot %s\n", value.c_str());
  } else if (name == "sleep") {
    Sleep(static_cast<DWORD>(number));
  } else if (name == "exit") {
    if (WaitForSingleObject(gProcess.hProcess, kStepTimeoutMs) != WAIT_OBJECT_0)
      Fail("program still running");
    DWORD code = 0;
    GetExitCodeProcess(gProcess.hProcess, &code);
    std::printf("exit %d\n", static_cast<int>(code));
    if (static_cast<int>(code) != number)
      Fail("exit status " + std::to_string(static_cast<int>(code)));
  } else {
    Fail("unknown step " + step);
  }
  std::fflush(stdout);
}

std::wstring Quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  for (wchar_t c : arg) {
    if (c == L'"') out += L'\\';
    out += c;
  }
  return out + L"\"";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> steps;
  std::wstring command;
  int i = 1;
  for (; i < argc && std::wstring(argv[i]) != L"--"; ++i) steps.push_back(Narrow(argv[i]));
  for (++i; i < argc; ++i) command += (command.empty() ? L"" : L" ") + Quoted(argv[i]);
  if (command.empty()) {
    std::fprintf(stderr, "usage: vantel3-ui-driver STEP... -- PROGRAM [ARG...]\n");
    return 2;
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &gProcess)) {
    Fail("cannot start the program");
  }
  for (const std::string& step : steps) Step(step);
  std::printf("driver done\n");
  return 0;
}
