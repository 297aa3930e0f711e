#include <windows.h>

#include "form1.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  zorv::Form1 form(instance);
  form.show(showCommand);
  return form.run();
}
