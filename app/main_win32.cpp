// The Windows program: the real user32 and gdi32 under the whole program.
#include <cstdlib>

#include "app/project.h"
#include "resources/huevex_resources.h"
// The backends bring <windows.h>, which must come after the program's headers.
#include "shell/platform/win32/win32_gdi.h"
#include "shell/platform/win32/win32_windows.h"

#if defined(__GLIBCXX__)
// libstdc++'s default terminate handler prints the demangled type of the
// exception, which links its demangler (45 KB) into a program without a
// console. No exception reaches terminate here: the window procedure and
// WinMain catch them all.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
#endif

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  huevex::win32::Win32Gdi gdi;
  huevex::win32::Win32Windows windows(instance, HUEVEX_ICON_GROUP);
  gdi.UseWindows(windows);
  try {
    return huevex::RunHuevex(gdi, windows);
  } catch (...) {
    // Start-up itself failed (out of memory, most likely); say so and leave.
    windows.ShowError(huevex::Hwnd{}, "HUEVEX", "HUEVEX could not start.");
    return 1;
  }
}
