// The Win32 window in-process under Wine, against the recording bridge
// library beside the test program.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "../fake_bridge.h"
#include "form1.h"

namespace zorv {
namespace {

using testing::FakeBridge;

std::wstring textOf(HWND control) {
  wchar_t text[512] = {};
  GetWindowTextW(control, text, 512);
  return text;
}

std::wstring classOf(HWND control) {
  wchar_t name[64] = {};
  GetClassNameW(control, name, 64);
  return name;
}

class Win32FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form.show(SW_SHOWNORMAL);
    SetForegroundWindow(form.window());
    pump();
  }
  // Runs every queued message through the window's own keyboard handling.
  void pump() {
    for (int round = 0; round < 5; ++round) {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT || form.preTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
      Sleep(10);
    }
  }
  // Presses and releases `key` as real input, with Shift held when asked.
  void press(WORD key, bool shift = false) {
    INPUT inputs[4] = {};
    int count = 0;
    const auto add = [&](WORD vk, DWORD flags) {
      inputs[count].type = INPUT_KEYBOARD;
      inputs[count].ki.wVk = vk;
      inputs[count++].ki.dwFlags = flags;
    };
    if (shift) add(VK_SHIFT, 0);
    add(key, 0);
    add(key, KEYEVENTF_KEYUP);
    if (shift) add(VK_SHIFT, KEYEVENTF_KEYUP);
    SendInput(static_cast<UINT>(count), inputs, sizeof(INPUT));
    pump();
  }
  std::string focusName() {
    for (const char* name : {"Text1", "text2", "Command1", "Command2", "Command3", "Command4",
                             "Command5", "Command6", "Command7", "Commandx"}) {
      if (GetFocus() == form.control(name)) return name;
    }
    return "<none>";
  }
  void click(const char* name) {
    SendMessageW(form.control(name), BM_CLICK, 0, 0);
    pump();
  }

  Form1 form{GetModuleHandleW(nullptr)};
};

TEST_F(Win32FormTest, ControlsSitAtTheirTwipsAt96DpiAndStartWithTheirTexts) {
  struct Row {
    const char* name;
    const wchar_t* className;
    RECT pixels;
    const wchar_t* text;
  };
  const Row rows[] = {
      {"Text1", L"Edit", {8, 8, 529, 41}, L"host=ホスト名 user=ユーザー名"},
      {"Label2", L"Static", {8, 48, 41, 65}, L""},
      {"Command1", L"Button", {8, 72, 65, 97}, L"Open"},
      {"Command6", L"Button", {72, 72, 129, 97}, L"Exec"},
      {"Command2", L"Button", {136, 72, 193, 97}, L"Cursor"},
      {"Command3", L"Button", {200, 72, 257, 97}, L"Fetch"},
      {"Command7", L"Button", {264, 72, 321, 97}, L"Header"},
      {"Command4", L"Button", {328, 72, 393, 97}, L"Close"},
      {"Command5", L"Button", {400, 72, 465, 97}, L"MsgGet"},
      {"Commandx", L"Button", {472, 72, 537, 97}, L"End"},
      {"text2", L"Edit", {8, 120, 529, 377},
       L"これは、libzorv.dllの使用サンプルです。詳しくはソースコードをご覧ください。"},
      {"Label1", L"Static", {320, 392, 537, 409}, L"(C) 2026 The zorv console authors"},
  };
  RECT client;
  GetClientRect(form.window(), &client);
  EXPECT_EQ(client.right, 541);
  EXPECT_EQ(client.bottom, 413);
  EXPECT_EQ(textOf(form.window()), L"Velmo Test");
  for (const Row& row : rows) {
    HWND control = form.control(row.name);
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(HWND_DESKTOP, form.window(), reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(_wcsicmp(classOf(control).c_str(), row.className), 0) << row.name;
    EXPECT_TRUE(EqualRect(&rect, &row.pixels))
        << row.name << " at " << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom;
    EXPECT_EQ(textOf(control), row.text) << row.name;
    EXPECT_NE(GetDlgCtrlID(control), IDOK) << row.name;
    EXPECT_NE(GetDlgCtrlID(control), IDCANCEL) << row.name;
  }
  const LONG answerStyle = GetWindowLongW(form.control("text2"), GWL_STYLE);
  EXPECT_EQ(answerStyle & (WS_HSCROLL | WS_VSCROLL | ES_MULTILINE), WS_HSCROLL | WS_VSCROLL | ES_MULTILINE);
  EXPECT_EQ(focusName(), "Command1");
  EXPECT_FALSE(FakeBridge::loaded());
}

// A move to a 144-DPI monitor re-lays every control from the same table.
TEST_F(Win32FormTest, DpiChangeRelaysTheControlsFromTheTwips) {
  RECT suggested{0, 0, 900, 700};
  SendMessageW(form.window(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  for (const auto& p : layout::kControls) {
    RECT rect;
    GetWindowRect(form.control(p.name), &rect);
    MapWindowPoints(HWND_DESKTOP, form.window(), reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, MulDiv(p.left, 144, 1440)) << p.name;
    EXPECT_EQ(rect.bottom - rect.top, MulDiv(p.height, 144, 1440)) << p.name;
  }
}

// Real key input: Tab walks the tab indexes and leaves the answer box; Enter
// and Escape in either text box press no button and do not close the window.
TEST_F(Win32FormTest, KeyboardWalksTheTabOrderAndIgnoresEnterAndEscape) {
  const char* forward[] = {"Commandx", "Text1",    "text2",    "Command2", "Command3",
                           "Command4", "Command5", "Command6", "Command7", "Command1"};
  for (const char* name : forward) {
    press(VK_TAB);
    EXPECT_EQ(focusName(), name);
  }
  press(VK_TAB, true);
  EXPECT_EQ(focusName(), "Command7");
  for (const char* box : {"Text1", "text2"}) {
    SetFocus(form.control(box));
    press(VK_RETURN);
    press(VK_ESCAPE);
    EXPECT_EQ(focusName(), box);
  }
  EXPECT_TRUE(IsWindow(form.window()));
  EXPECT_FALSE(form.hasEnded());
  EXPECT_EQ(textOf(form.control("Label2")), L"");
  EXPECT_FALSE(FakeBridge::loaded());
}

// One click of each bridge button: the exact bytes the library received and
// what the label and the answer box then show. A shorter answer leaves the
// old tail in the buffer but not on screen.
TEST_F(Win32FormTest, EachBridgeButtonCallsItsEntryWithTheInputBytes) {
  FakeBridge bridge;
  SetWindowTextW(form.control("Text1"), L"select 表");
  struct Row {
    const char* button;
    int code;
    std::string writes;
    const char* entry;
    std::string first;
    const wchar_t* label;
    const wchar_t* answer;  // nullptr: the answer box keeps what it shows
  };
  const std::string table = "select \x95\x5C";
  const Row rows[] = {
      {"Command1", 0, "", "ZORVlogin", table, L"0", nullptr},
      {"Command2", -1, "", "ZORVcursor", table, L"-1", nullptr},
      {"Command3", 0, std::string("ab\x83\x5C\0", 5), "ZORVfetch", std::string(8192, '\0'), L"0",
       L"abソ"},
      {"Command7", 100, std::string("x\0", 2), "ZORVfnames", "", L"100", L"x"},
      {"Command5", 2147483647, "", "ZORVmsgget", std::string("x\0\x83\x5C", 4), L"2147483647", L"x"},
      {"Command6", 1, std::string("1\0", 2), "ZORVexec", table, L"1", L"1"},
      {"Command4", 0, "", "ZORVclose", "", L"0", nullptr},
  };
  for (const Row& row : rows) {
    if (row.writes.empty()) {
      bridge.scriptNoWrite(row.code);
    } else {
      bridge.script(row.code, row.writes);
    }
    const std::wstring shown = textOf(form.control("text2"));
    click(row.button);
    const auto call = bridge.lastCall();
    EXPECT_EQ(call.entry, row.entry) << row.button;
    EXPECT_EQ(call.first.substr(0, row.first.size()), row.first) << row.button;
    EXPECT_EQ(textOf(form.control("Label2")), row.label) << row.button;
    EXPECT_EQ(textOf(form.control("text2")), row.answer ? row.answer : shown) << row.button;
  }
  EXPECT_EQ(bridge.callCount(), 7u);
}

TEST_F(Win32FormTest, EndStopsAtOnceAndDropsTheClickQueuedBehindIt) {
  PostMessageW(form.control("Commandx"), BM_CLICK, 0, 0);
  PostMessageW(form.control("Command3"), BM_CLICK, 0, 0);
  pump();
  EXPECT_TRUE(form.hasEnded());
  EXPECT_EQ(form.exitStatus(), 0);
  EXPECT_FALSE(IsWindow(form.window()));
  EXPECT_FALSE(FakeBridge::loaded());
}

}  // namespace
}  // namespace zorv
