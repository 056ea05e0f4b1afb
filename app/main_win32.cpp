// The Windows program: the command line, and the real user32 and gdi32 under
// the whole program.
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"
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

namespace {

inline void DropHandle(HANDLE handle) { ::CloseHandle(handle); }
using UniqueHandle = huevex::win32::Unique<HANDLE, DropHandle>;

// Where a program without a console of its own writes. A standard handle the
// caller redirected (the pipe of `for /f` or of PowerShell's `$c = ...`, a
// file) is written as it is; otherwise the console of the program that
// started this one, if it has one, is joined and written to. Lines end in
// CR LF, as a console program's would.
class Streams {
 public:
  // False where the text could go nowhere.
  bool Write(DWORD which, std::string_view text) {
    std::string lines;
    for (const char c : text) lines += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const HANDLE redirected = ::GetStdHandle(which);
    if (redirected && redirected != INVALID_HANDLE_VALUE) {
      const DWORD type = ::GetFileType(redirected);
      if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) {
        DWORD written = 0;
        return ::WriteFile(redirected, lines.data(), static_cast<DWORD>(lines.size()), &written,
                           nullptr) != FALSE;
      }
    }
    if (phase_ == Console::Untried) {
      phase_ = ::AttachConsole(ATTACH_PARENT_PROCESS) ? Console::Joined : Console::None;
      if (phase_ == Console::Joined) {
        const HANDLE out =
            ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (out != INVALID_HANDLE_VALUE) console_.reset(out);
      }
    }
    if (!console_) return false;
    const std::wstring wide = huevex::win32::Widen(lines);
    DWORD written = 0;
    return ::WriteConsoleW(console_.get(), wide.data(), static_cast<DWORD>(wide.size()), &written,
                           nullptr) != FALSE;
  }

 private:
  enum class Console { Untried, Joined, None };
  Console phase_ = Console::Untried;
  UniqueHandle console_;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  huevex::win32::Win32Gdi gdi;
  huevex::win32::Win32Windows windows(instance, HUEVEX_ICON_GROUP);
  gdi.UseWindows(windows);
  Streams streams;
  const auto answer = [&](std::string_view text) { streams.Write(STD_OUTPUT_HANDLE, text); };
  // Trouble goes where a script sees it, or in a box where nobody would.
  const auto trouble = [&](std::string_view text) {
    if (!streams.Write(STD_ERROR_HANDLE, "HUEVEX: " + std::string(text) + "\n")) {
      std::string sentence(text);
      if (!sentence.empty())
        sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence[0])));
      windows.ShowError(huevex::Hwnd{}, "HUEVEX", sentence + ".");
    }
  };
  try {
    const std::vector<std::string_view> args(__argv + (__argc > 0 ? 1 : 0), __argv + __argc);
    const huevex::CommandLine line = huevex::ParseCommandLine(args, true);
    const huevex::Output output{answer, trouble};
    if (const std::optional<int> status = huevex::AnswerAtOnce(line, true, output)) return *status;
    return huevex::RunHuevex(gdi, windows, line.action, huevex::ShortcutFor(line, output), output);
  } catch (...) {
    // Start-up itself failed (out of memory, most likely); say so and leave.
    windows.ShowError(huevex::Hwnd{}, "HUEVEX", "HUEVEX could not start.");
    return huevex::kExitTrouble;
  }
}
