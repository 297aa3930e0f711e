#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "form_handlers.h"
#include "layout.h"

namespace zorv {

// The console's one window on the Win32 controls: an input box, eight
// buttons, the result label and the answer box, placed from the layout
// table at the window's DPI. Each button but "End" calls one bridge
// function; every control is touched only here. The window and its controls
// live as long as the object or until the program ends, whichever is first.
class Form1 : public FormHandlers<Form1> {
 public:
  // Creates the window and its controls hidden and runs Form_Load.
  explicit Form1(HINSTANCE instance);
  ~Form1();
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // Shows the window with focus on "Open".
  void show(int showCommand);
  // Takes messages until the window ends; returns the exit status.
  int run();
  // Gives `message` to the dialog keyboard handling (Tab, Shift+Tab, Enter,
  // Escape, Space); true when it was handled there and must not be dispatched.
  bool preTranslate(MSG& message);

  HWND window() const { return window_; }
  // The control of that name in the layout table, or nullptr.
  HWND control(std::string_view name) const;
  bool hasEnded() const { return ended_; }
  int exitStatus() const { return exitStatus_; }

 private:
  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

  void createControls();
  void placeControls(int dpi);
  void nextControl(WPARAM wParam, LPARAM lParam);
  void onClick(int id);

  friend class FormHandlers<Form1>;

  void Form_Load();

  std::u16string input() const;
  void showResult(ResultCode code);
  void showText2(std::u16string_view text);
  void fail(const std::string& report);
  void end(int status);

  HWND window_ = nullptr;
  HWND controls_[layout::kControlCount] = {};
  HWND Text1 = nullptr;
  HWND text2 = nullptr;
  HWND Label2 = nullptr;
  HWND Command1 = nullptr;
  HWND lastFocus_ = nullptr;
  HFONT font_ = nullptr;
  int dpi_ = 96;
  bool ended_ = false;
  int exitStatus_ = 0;
};

}  // namespace zorv
