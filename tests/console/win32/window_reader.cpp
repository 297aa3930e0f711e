// Reads and drives the console's window from outside, as another program
// on the same desktop can (test-only):
//   texts         one line per control: name, centre on the screen, text
//   click NAME    posts a click to that button (posted, so a message box it
//                 opens does not block this program)
//   msgbox        waits for the console's message box, prints its text and
//                 closes it
//   at NAME       prints "ok" when a click at that control's centre reaches
//                 the control, and otherwise what
//                 lies there (class, title, program) and exits 3: a person's
//                 click must land on what they see
// Texts are printed in UTF-8. Exits 1 when the window or box does not appear.
#include <windows.h>

#include <cstdio>
#include <string>

#include "layout.h"

namespace {

std::string utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                      nullptr);
  return out;
}

std::wstring textOf(HWND window) {
  std::wstring text(static_cast<size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
  const LRESULT read = SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(read));
  return text;
}

// Waits up to a minute for `find` to return a window: a busy machine only
// makes it slower.
template <typename Find>
HWND waitFor(Find find) {
  for (int i = 0; i < 1200; ++i) {
    if (HWND window = find()) return window;
    Sleep(50);
  }
  return nullptr;
}

struct Search {
  DWORD process;
  HWND found;
};

BOOL CALLBACK findBox(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (process != search->process || std::wstring(name) != L"#32770") return TRUE;
  search->found = window;
  return FALSE;
}

BOOL CALLBACK printControl(HWND control, LPARAM) {
  const int index = GetDlgCtrlID(control) - 100;
  if (index < 0 || index >= zorv::layout::kControlCount) return TRUE;
  RECT rect;
  GetWindowRect(control, &rect);
  std::printf("%s\t%ld\t%ld\t%s\n", zorv::layout::kControls[index].name, (rect.left + rect.right) / 2,
              (rect.top + rect.bottom) / 2, utf8(textOf(control)).c_str());
  return TRUE;
}

std::wstring programOf(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  std::wstring path(MAX_PATH, L'\0');
  HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
  DWORD size = MAX_PATH;
  if (handle == nullptr || !QueryFullProcessImageNameW(handle, 0, path.data(), &size)) size = 0;
  if (handle != nullptr) CloseHandle(handle);
  path.resize(size);
  return L"process " + std::to_wstring(process) + L" " + path;
}

// What a click at the centre of `control` would reach, when not `control`.
std::wstring obstacleAt(HWND control) {
  RECT rect;
  GetWindowRect(control, &rect);
  const POINT centre{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  HWND hit = WindowFromPoint(centre);
  if (hit == control) return L"";
  if (hit == nullptr) return L"nothing at the point";
  wchar_t name[64] = {};
  GetClassNameW(hit, name, 64);
  HWND top = GetAncestor(hit, GA_ROOT);
  std::wstring what = L"class " + std::wstring(name) + L", window \"" + textOf(top) + L"\" of " + programOf(top);
  return what;
}

BOOL CALLBACK printText(HWND control, LPARAM) {
  wchar_t name[16] = {};
  GetClassNameW(control, name, 16);
  if (_wcsicmp(name, L"Static") == 0) std::printf("%s\n", utf8(textOf(control)).c_str());
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  // The window exists, with its controls and their texts, before they are
  // laid out; only once it is shown are their places final.
  HWND form = waitFor([] {
    HWND window = FindWindowW(L"ZorvConsoleForm1", L"Velmo Test");
    return window != nullptr && IsWindowVisible(window) ? window : nullptr;
  });
  if (!form) {
    std::fprintf(stderr, "no console window\n");
    return 1;
  }
  if (command == L"texts") {
    EnumChildWindows(form, printControl, 0);
  } else if (command == L"click" && argc > 2) {
    const std::string name = utf8(argv[2]);
    for (int i = 0; i < zorv::layout::kControlCount; ++i) {
      if (name == zorv::layout::kControls[i].name) PostMessageW(GetDlgItem(form, 100 + i), BM_CLICK, 0, 0);
    }
  } else if (command == L"at" && argc > 2) {
    const std::string name = utf8(argv[2]);
    for (int i = 0; i < zorv::layout::kControlCount; ++i) {
      if (name != zorv::layout::kControls[i].name) continue;
      const std::wstring obstacle = obstacleAt(GetDlgItem(form, 100 + i));
      std::printf("%s\n", obstacle.empty() ? "ok" : utf8(obstacle).c_str());
      std::fflush(stdout);
      return obstacle.empty() ? 0 : 3;
    }
    std::fprintf(stderr, "no control %s\n", name.c_str());
    return 2;
  } else if (command == L"msgbox") {
    Search search{0, nullptr};
    GetWindowThreadProcessId(form, &search.process);
    HWND box = waitFor([&search] {
      EnumWindows(findBox, reinterpret_cast<LPARAM>(&search));
      return search.found;
    });
    if (!box) {
      std::fprintf(stderr, "no message box\n");
      return 1;
    }
    std::printf("owner\t%s\n", GetWindow(box, GW_OWNER) == form ? "Form1" : "other");
    EnumChildWindows(box, printText, 0);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  } else {
    std::fprintf(stderr, "usage: zorv-window-reader texts | click NAME | msgbox | at NAME\n");
    return 2;
  }
  std::fflush(stdout);
  return 0;
}
