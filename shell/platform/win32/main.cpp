// The Windows program: the real user32 and gdi32 under the whole program.
#include "shell/project.h"
// The backends bring <windows.h>, which must come after the program's headers.
#include "shell/platform/win32/win32_gdi.h"
#include "shell/platform/win32/win32_windows.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  huevex::win32::Win32Gdi gdi;
  huevex::win32::Win32Windows windows(instance);
  try {
    return huevex::RunHuevex(gdi, windows);
  } catch (...) {
    // Start-up itself failed (out of memory, most likely); say so and leave.
    windows.ShowError("HUEVEX", "HUEVEX could not start.");
    return 1;
  }
}
