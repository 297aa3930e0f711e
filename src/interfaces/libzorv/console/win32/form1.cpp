#include "form1.h"

#include <commctrl.h>

#include <algorithm>
#include <map>
#include <stdexcept>

#include "console_texts.h"
#include "failure_report.h"

namespace zorv {

namespace {

using layout::pixels;

constexpr wchar_t kClassName[] = L"ZorvConsoleForm1";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kExStyle = 0;
// Control ids: the layout table's index from here on, clear of IDOK (1) and
// IDCANCEL (2), which Enter and Escape send to the window.
constexpr int kFirstId = 100;

const wchar_t* wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

std::wstring fromUtf8(const std::string& text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

void setText(HWND control, std::u16string_view text) {
  SetWindowTextW(control, std::wstring(text.begin(), text.end()).c_str());
}

struct ControlClass {
  const wchar_t* className;
  DWORD style;
  DWORD exStyle;
};

ControlClass classOf(layout::Kind kind) {
  switch (kind) {
    case layout::Kind::kSingleLineText:
      return {L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case layout::Kind::kMultiLineText:
      return {L"EDIT",
              WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_WANTRETURN | ES_AUTOHSCROLL |
                  ES_AUTOVSCROLL,
              WS_EX_CLIENTEDGE};
    case layout::Kind::kLabel:
      return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
    case layout::Kind::kButton:
      return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0};
  }
  return {};
}

void registerClass(HINSTANCE instance) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(instance, kClassName, &existing)) return;
  const INITCOMMONCONTROLSEX common{sizeof(common), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&common);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  RegisterClassExW(&windowClass);
}

// The window's outer size for the layout's client area at `dpi`.
SIZE outerSize(int dpi) {
  RECT rect{0, 0, pixels(layout::kClientWidthTwips, dpi), pixels(layout::kClientHeightTwips, dpi)};
  AdjustWindowRectExForDpi(&rect, kStyle, FALSE, kExStyle, static_cast<UINT>(dpi));
  return {rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace

Form1::Form1(HINSTANCE instance) {
  registerClass(instance);
  const SIZE size = outerSize(static_cast<int>(GetDpiForSystem()));
  window_ = CreateWindowExW(kExStyle, kClassName, wide(texts::kWindowTitle), kStyle, CW_USEDEFAULT,
                            CW_USEDEFAULT, size.cx, size.cy, nullptr, nullptr, instance, nullptr);
  if (!window_) throw std::runtime_error("the console's window cannot be created");
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Form1::windowProc));
  createControls();
  Text1 = control("Text1");
  text2 = control("text2");
  Label2 = control("Label2");
  Command1 = control("Command1");
  placeControls(static_cast<int>(GetDpiForWindow(window_)));
  Form_Load();
}

Form1::~Form1() {
  if (window_) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  if (font_) DeleteObject(font_);
}

// Controls are created in tab-index order, labels included: the dialog
// keyboard handling walks the z-order, which is the order of creation.
void Form1::createControls() {
  std::map<int, int> byTabIndex;
  for (int i = 0; i < layout::kControlCount; ++i) byTabIndex[layout::kControls[i].tabIndex] = i;
  for (const auto& [tabIndex, i] : byTabIndex) {
    const layout::Placement& p = layout::kControls[i];
    const ControlClass c = classOf(p.kind);
    controls_[i] = CreateWindowExW(c.exStyle, c.className, fromUtf8(p.caption).c_str(),
                                   WS_CHILD | WS_VISIBLE | c.style, 0, 0, 0, 0, window_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstId + i)),
                                   nullptr, nullptr);
    // Neither text box has a length limit beyond the platform's own.
    if (c.className == std::wstring_view(L"EDIT")) SendMessageW(controls_[i], EM_SETLIMITTEXT, 0, 0);
  }
}

// Places every control from the layout table at `dpi` and gives them the
// system's message font at that DPI.
void Form1::placeControls(int dpi) {
  dpi_ = dpi;
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0,
                             static_cast<UINT>(dpi));
  HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
  for (int i = 0; i < layout::kControlCount; ++i) {
    const layout::Placement& p = layout::kControls[i];
    SetWindowPos(controls_[i], nullptr, pixels(p.left, dpi), pixels(p.top, dpi), pixels(p.width, dpi),
                 pixels(p.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(controls_[i], WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  if (font_) DeleteObject(font_);
  font_ = font;
}

HWND Form1::control(std::string_view name) const {
  for (int i = 0; i < layout::kControlCount; ++i) {
    if (layout::kControls[i].name == name) return controls_[i];
  }
  return nullptr;
}

void Form1::show(int showCommand) {
  const SIZE size = outerSize(dpi_);
  SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(window_, showCommand);
  UpdateWindow(window_);
  SetFocus(Command1);
}

int Form1::run() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (preTranslate(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return exitStatus_;
}

bool Form1::preTranslate(MSG& message) {
  if (!window_) return false;
  // A multi-line edit keeps Tab for itself and turns Escape into a request
  // to close the window; here Tab moves on and Escape does nothing.
  if (message.hwnd == text2 && (message.message == WM_KEYDOWN || message.message == WM_CHAR)) {
    if (message.wParam == VK_ESCAPE) return true;
    if (message.wParam == VK_TAB) {
      if (message.message == WM_KEYDOWN) nextControl(GetKeyState(VK_SHIFT) < 0, 0);
      return true;
    }
  }
  return IsDialogMessageW(window_, &message);
}

LRESULT CALLBACK Form1::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* form = reinterpret_cast<Form1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!form) return DefWindowProcW(window, message, wParam, lParam);
  return form->handle(message, wParam, lParam);
}

LRESULT Form1::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && lParam != 0) onClick(LOWORD(wParam));
      return 0;
    case WM_NEXTDLGCTL:
      nextControl(wParam, lParam);
      return 0;
    case WM_ACTIVATE:
      // Focus comes back to where it was when the window is active again.
      if (LOWORD(wParam) == WA_INACTIVE) {
        lastFocus_ = GetFocus();
      } else if (lastFocus_ && IsChild(window_, lastFocus_)) {
        SetFocus(lastFocus_);
      }
      return 0;
    case WM_DPICHANGED: {
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      placeControls(HIWORD(wParam));
      SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_CLOSE:
      end(0);
      return 0;
    case WM_DESTROY:
      window_ = nullptr;
      PostQuitMessage(exitStatus_);
      return 0;
    default:
      return DefWindowProcW(window_, message, wParam, lParam);
  }
}

// Focus to the control named by `wParam` when `lParam` says so, else to the
// next (or with `wParam` non-zero the previous) tab stop; an edit's text is
// selected as it comes into focus, as in a dialog.
void Form1::nextControl(WPARAM wParam, LPARAM lParam) {
  HWND next = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                             : GetNextDlgTabItem(window_, GetFocus(), wParam != 0);
  if (!next) return;
  SetFocus(next);
  if (next == Text1 || next == text2) SendMessageW(next, EM_SETSEL, 0, -1);
}

void Form1::onClick(int id) {
  static constexpr struct {
    const char* name;
    void (Form1::*handler)();
  } kClicks[] = {
      {"Command1", &Form1::Command1_Click}, {"Command2", &Form1::Command2_Click},
      {"Command3", &Form1::Command3_Click}, {"Command4", &Form1::Command4_Click},
      {"Command5", &Form1::Command5_Click}, {"Command6", &Form1::Command6_Click},
      {"Command7", &Form1::Command7_Click}, {"Commandx", &Form1::Commandx_Click},
  };
  // After a failure, and after "End", no handler runs again, even for
  // clicks already queued.
  if (ended_ || id < kFirstId || id >= kFirstId + layout::kControlCount) return;
  const std::string_view name = layout::kControls[id - kFirstId].name;
  for (const auto& click : kClicks) {
    if (click.name != name) continue;
    if (auto report = failureOf([this, &click] { (this->*click.handler)(); })) fail(*report);
    return;
  }
}

void Form1::Form_Load() {
  SetWindowTextW(Label2, L"");
  SetWindowTextW(Text1, wide(texts::kConnectionTemplate));
  SetWindowTextW(text2, wide(texts::kStartNote));
}

std::u16string Form1::input() const {
  std::u16string text(static_cast<size_t>(GetWindowTextLengthW(Text1)), u'\0');
  const int read = GetWindowTextW(Text1, reinterpret_cast<wchar_t*>(text.data()),
                                  static_cast<int>(text.size()) + 1);
  text.resize(static_cast<size_t>(std::max(read, 0)));
  return text;
}

void Form1::showResult(ResultCode code) {
  const std::wstring digits = std::to_wstring(code);
  SetWindowTextW(Label2, digits.c_str());
  // A long code widens the label rather than hide its digits; nothing sits
  // to its right.
  HDC dc = GetDC(Label2);
  HGDIOBJ old = SelectObject(dc, font_);
  SIZE extent{};
  GetTextExtentPoint32W(dc, digits.c_str(), static_cast<int>(digits.size()), &extent);
  SelectObject(dc, old);
  ReleaseDC(Label2, dc);
  RECT rect;
  GetClientRect(Label2, &rect);
  SetWindowPos(Label2, nullptr, 0, 0, std::max<int>(pixels(492, dpi_), extent.cx), rect.bottom,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form1::showText2(std::u16string_view text) { setText(text2, text); }

void Form1::fail(const std::string& report) {
  ended_ = true;
  MessageBoxW(window_, fromUtf8(report).c_str(), wide(texts::kWindowTitle), MB_OK | MB_ICONERROR);
  end(1);
}

void Form1::end(int status) {
  ended_ = true;
  exitStatus_ = status;
  if (window_) DestroyWindow(window_);
}

}  // namespace zorv
