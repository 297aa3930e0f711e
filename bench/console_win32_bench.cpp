// The Win32 console's two speed figures, under Wine or Windows, run from the
// folder of the recording bridge library:
//  1. start to first paint of Form1 against a bare window with the same
//     twelve controls, side by side (alternating, 40 rounds each, medians);
//  2. a "Fetch" click until text2 shows the answer, 10,000 times, against the
//     library's own time for the same call, and the process's private memory
//     before and after.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "foreign_call.h"
#include "form1.h"
#include "layout.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A window of the plain window class with the twelve controls, nothing
// else: the floor any Win32 window pays. With `sameTexts`, the controls also
// get the console's captions, start-up texts, styles and the system's
// message font,
// so only the console's own code differs.
double bareWindow(HINSTANCE instance, bool sameTexts) {
  const Clock::time_point start = Clock::now();
  HWND window = CreateWindowExW(0, L"ZorvBenchBare", L"Velmo Test",
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 547,
                                438, nullptr, nullptr, instance, nullptr);
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  HFONT font = sameTexts ? CreateFontIndirectW(&metrics.lfMessageFont) : nullptr;
  for (const auto& p : zorv::layout::kControls) {
    const wchar_t* kind = p.kind == zorv::layout::Kind::kButton  ? L"BUTTON"
                          : p.kind == zorv::layout::Kind::kLabel ? L"STATIC"
                                                                 : L"EDIT";
    const std::string name = p.name;
    const wchar_t* text = !sameTexts            ? L"text"
                          : name == "Text1"     ? L"host=ホスト名 user=ユーザー名"
                          : name == "text2"     ? L"これは、libzorv.dllの使用サンプルです。詳しくはソースコードをご覧ください。"
                          : name == "Label1"    ? L"(C) 2026 The zorv console authors"
                                                : L"Open";
    // With the same texts come the same styles: edges on the text boxes,
    // both scroll bars on the answer box.
    const bool edit = kind == std::wstring(L"EDIT");
    const DWORD style = !sameTexts || !edit ? 0
                        : name == "text2"   ? ES_MULTILINE | WS_HSCROLL | WS_VSCROLL | ES_AUTOHSCROLL | ES_AUTOVSCROLL
                                            : ES_AUTOHSCROLL;
    HWND control = CreateWindowExW(sameTexts && edit ? WS_EX_CLIENTEDGE : 0, kind, text,
                                   WS_CHILD | WS_VISIBLE | style, zorv::layout::pixels(p.left),
                                   zorv::layout::pixels(p.top), zorv::layout::pixels(p.width),
                                   zorv::layout::pixels(p.height), window, nullptr, instance, nullptr);
    if (font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  pump();
  const double ms = msSince(start);
  DestroyWindow(window);
  if (font) DeleteObject(font);
  pump();
  return ms;
}

double consoleWindow(HINSTANCE instance) {
  const Clock::time_point start = Clock::now();
  double ms = 0;
  {
    zorv::Form1 form(instance);
    form.show(SW_SHOWNORMAL);
    pump();
    ms = msSince(start);
  }
  pump();
  return ms;
}

SIZE_T privateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                       sizeof(counters));
  // Wine leaves PrivateUsage at 0; PagefileUsage is the same figure on Windows.
  return counters.PagefileUsage;
}

}  // namespace

int wmain() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW bare{};
  bare.cbSize = sizeof(bare);
  bare.lpfnWndProc = DefWindowProcW;
  bare.hInstance = instance;
  bare.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  bare.lpszClassName = L"ZorvBenchBare";
  RegisterClassExW(&bare);

  // Warm both paths once before measuring.
  bareWindow(instance, false);
  bareWindow(instance, true);
  consoleWindow(instance);
  std::vector<double> bareTimes, sameTextTimes, consoleTimes;
  for (int round = 0; round < 40; ++round) {
    bareTimes.push_back(bareWindow(instance, false));
    sameTextTimes.push_back(bareWindow(instance, true));
    consoleTimes.push_back(consoleWindow(instance));
  }
  const double bareMs = median(bareTimes), sameMs = median(sameTextTimes);
  const double consoleMs = median(consoleTimes);
  std::printf("first paint: console %.3f ms, bare window %.3f ms (ratio %.3f), bare window with the "
              "same texts, styles and font %.3f ms (ratio %.3f)\n",
              consoleMs, bareMs, consoleMs / bareMs, sameMs, consoleMs / sameMs);

  HMODULE library = LoadLibraryW(L"libzorv.dll");
  // The bridge entry in whatever convention the library has, as the console
  // calls it; the test-side controls are plain C.
  void* const fetchEntry = reinterpret_cast<void*>(GetProcAddress(library, "ZORVfetch"));
  const auto fetch = [fetchEntry](char* buffer) {
    void* const args[] = {buffer};
    return zorv::bridge::callForeign(fetchEntry, args).code;
  };
  auto fallback =
      reinterpret_cast<void (*)(int32_t, const char*, size_t)>(reinterpret_cast<void*>(GetProcAddress(library, "fakeFallback")));
  auto record = reinterpret_cast<void (*)(bool)>(reinterpret_cast<void*>(GetProcAddress(library, "fakeRecord")));
  if (!fetchEntry || !fallback || !record) {
    std::fprintf(stderr, "run beside the recording bridge library\n");
    return 1;
  }
  const char answer[] = "A-001 \x83\x5C\x81\x5B\x83\x58 500ml 298";
  fallback(0, answer, sizeof(answer));
  record(false);
  const int kClicks = _wtoi(_wgetenv(L"ZORV_BENCH_CLICKS") ? _wgetenv(L"ZORV_BENCH_CLICKS") : L"10000");

  std::vector<char> buffer(8193, ' ');
  Clock::time_point start = Clock::now();
  for (int i = 0; i < kClicks; ++i) {
    buffer.assign(8193, ' ');
    fetch(buffer.data());
  }
  const double libraryUs = msSince(start) * 1000 / kClicks;

  zorv::BridgeCommands commands;
  start = Clock::now();
  for (int i = 0; i < kClicks; ++i) commands.fetch();
  std::printf("fetch command without a window: %.1f us\n", msSince(start) * 1000 / kClicks);

  zorv::Form1 form(instance);
  form.show(SW_SHOWNORMAL);
  pump();
  HWND fetchButton = form.control("Command3");
  HWND text2 = form.control("text2");
  SendMessageW(fetchButton, BM_CLICK, 0, 0);
  pump();
  // Diagnostics: where a click's time goes, 200 rounds each.
  constexpr int kRounds = 200;
  for (const char* name : {"Label2", "text2"}) {
    HWND control = form.control(name);
    start = Clock::now();
    for (int i = 0; i < kRounds; ++i) {
      SetWindowTextW(control, i % 2 ? L"0" : L"1");
      pump();
    }
    std::printf("%s text set and painted: %.1f us\n", name, msSince(start) * 1000 / kRounds);
  }
  // Where a multi-line edit's text set spends its time: by style.
  const struct {
    const char* what;
    DWORD style;
  } kEdits[] = {
      {"multi-line edit", ES_MULTILINE},
      {"multi-line edit, scroll bars", ES_MULTILINE | WS_HSCROLL | WS_VSCROLL},
      {"multi-line edit, scroll bars, auto-scroll",
       ES_MULTILINE | WS_HSCROLL | WS_VSCROLL | ES_AUTOHSCROLL | ES_AUTOVSCROLL},
  };
  for (const auto& edit : kEdits) {
    HWND control = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | edit.style, 8,
                                   120, 521, 257, form.window(), nullptr, instance, nullptr);
    start = Clock::now();
    for (int i = 0; i < kRounds; ++i) {
      SetWindowTextW(control, i % 2 ? L"0" : L"1");
      pump();
    }
    std::printf("%s: text set and painted %.1f us\n", edit.what, msSince(start) * 1000 / kRounds);
    start = Clock::now();
    for (int i = 0; i < kRounds; ++i) SetWindowTextW(control, i % 2 ? L"0" : L"1");
    std::printf("%s: text set alone %.1f us\n", edit.what, msSince(start) * 1000 / kRounds);
    pump();
    DestroyWindow(control);
  }
  const SIZE_T before = privateBytes();
  start = Clock::now();
  for (int i = 0; i < kClicks; ++i) {
    SendMessageW(fetchButton, BM_CLICK, 0, 0);
    pump();
  }
  const double clickUs = msSince(start) * 1000 / kClicks;
  const SIZE_T after = privateBytes();
  // The same handler reached through the notification the button sends, to
  // tell the handler's own time from the button's simulated mouse click.
  start = Clock::now();
  for (int i = 0; i < kRounds; ++i) {
    SendMessageW(form.window(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(fetchButton), BN_CLICKED),
                 reinterpret_cast<LPARAM>(fetchButton));
    pump();
  }
  const double handlerUs = msSince(start) * 1000 / kRounds;
  std::printf("fetch handler alone (BN_CLICKED): %.1f us\n", handlerUs);
  wchar_t shown[64] = {};
  GetWindowTextW(text2, shown, 64);
  std::printf("fetch click to text2: %.1f us, library alone %.1f us, beyond the library %.1f us\n",
              clickUs, libraryUs, clickUs - libraryUs);
  std::printf("private memory: %zu KiB before, %zu KiB after %d clicks; text2 shows %zu units\n",
              static_cast<size_t>(before / 1024), static_cast<size_t>(after / 1024), kClicks, wcslen(shown));
  return 0;
}
