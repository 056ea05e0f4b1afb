// What the Wine end-to-end scripts can only see or do from inside the Windows
// session, as a second Windows program beside HUEVEX.exe:
//
//   huevex_winprobe colors                the system colors the forms are drawn
//                                         with, one "NAME RRGGBB" a line
//   huevex_winprobe gdi-objects TITLE N   the GDI objects of the process that owns
//                                         the top-level window TITLE, read N times
//                                         10 ms apart: "GetGuiResources MIN MAX
//                                         ERROR" and "table MIN MAX" (its GDI handle
//                                         table, see HandleTable)
//   huevex_winprobe gdi-selfcheck         the table count of this very process:
//                                         "before N", "with 50 brushes N", "after N"
//   huevex_winprobe hold-clipboard        opens the clipboard and keeps it open:
//                                         prints "holding", closes it when a line
//                                         or the end arrives on stdin, then prints
//                                         "released"
//
// Exit status 0 when the probe could do what was asked.
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct BrushDeleter {
  void operator()(HBRUSH brush) const { ::DeleteObject(brush); }
};
using UniqueBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, BrushDeleter>;

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

int Colors() {
  const struct {
    const char* name;
    int index;
  } colors[] = {
      {"WINDOW", COLOR_WINDOW},
      {"WINDOWFRAME", COLOR_WINDOWFRAME},
      {"WINDOWTEXT", COLOR_WINDOWTEXT},
      {"BTNFACE", COLOR_BTNFACE},
      {"BTNSHADOW", COLOR_BTNSHADOW},
      {"BTNTEXT", COLOR_BTNTEXT},
      {"BTNHIGHLIGHT", COLOR_BTNHIGHLIGHT},
      {"3DDKSHADOW", COLOR_3DDKSHADOW},
      {"3DLIGHT", COLOR_3DLIGHT},
  };
  for (const auto& c : colors) {
    const COLORREF v = ::GetSysColor(c.index);
    char line[64];
    std::snprintf(line, sizeof line, "%s %02X%02X%02X", c.name, GetRValue(v), GetGValue(v),
                  GetBValue(v));
    Say(line);
  }
  return 0;
}

// The GDI handle table that gdi32 keeps in every process and names in the
// process environment block (GdiSharedHandleTable). GetGuiResources is a stub
// in Wine for other processes, but the table is plain memory that another
// process may read. An entry in use has a nonzero type; stock objects carry a
// flag in the low byte of their uniqueness word and are not the process's own.
// Under Wine every process has a table of its own; on Windows the table is
// shared, and the owner's process id tells the processes apart.
class HandleTable {
 public:
  explicit HandleTable(HANDLE process, DWORD process_id)
      : process_(process), process_id_(process_id) {}

  std::optional<int> Count() const {
    const std::optional<std::uintptr_t> table = Address();
    if (!table) return std::nullopt;
    std::vector<Entry> entries(kEntries);
    SIZE_T read = 0;
    if (!::ReadProcessMemory(process_, reinterpret_cast<const void*>(*table), entries.data(),
                             entries.size() * sizeof(Entry), &read) ||
        read != entries.size() * sizeof(Entry)) {
      return std::nullopt;
    }
    const auto owner = static_cast<std::uint16_t>(process_id_);
    return static_cast<int>(std::count_if(entries.begin(), entries.end(), [&](const Entry& e) {
      const bool stock = (e.unique & kStockFlag) != 0;
      const std::uint16_t pid = e.owner & 0xFFFF;
      return e.type != 0 && !stock && (pid == 0 || pid == owner);
    }));
  }

 private:
  struct Entry {
    std::uint64_t object;
    std::uint32_t owner;  // the process id in the low word
    std::uint16_t unique;
    std::uint8_t type;
    std::uint8_t flags;
    std::uint64_t user_pointer;
  };
  static_assert(sizeof(Entry) == 24);
  static constexpr std::size_t kEntries = 0x10000;
  static constexpr std::uint16_t kStockFlag = 0x80;
  static constexpr std::size_t kPebTableOffset = 0xF8;  // 64-bit PEB

  std::optional<std::uintptr_t> Address() const {
    PROCESS_BASIC_INFORMATION info{};
    ULONG length = 0;
    if (NtQueryInformationProcess(process_, ProcessBasicInformation, &info, sizeof info, &length) !=
        0) {
      return std::nullopt;
    }
    std::uintptr_t table = 0;
    SIZE_T read = 0;
    const auto* field = reinterpret_cast<const char*>(info.PebBaseAddress) + kPebTableOffset;
    if (!::ReadProcessMemory(process_, field, &table, sizeof table, &read) ||
        read != sizeof table || table == 0) {
      return std::nullopt;
    }
    return table;
  }

  HANDLE process_;
  DWORD process_id_;
};

// Several readings, since a reading may fall inside a frame that holds its
// brush and memory context for a moment: the least is the count between frames.
struct Range {
  int min = 0, max = 0;
  bool seen = false;
  void Add(int v) {
    min = seen ? std::min(min, v) : v;
    max = seen ? std::max(max, v) : v;
    seen = true;
  }
};

int GdiObjects(const char* title, int readings) {
  std::wstring wide(title, title + std::char_traits<char>::length(title));
  const HWND window = ::FindWindowW(nullptr, wide.c_str());
  if (!window) {
    Say("no window");
    return 1;
  }
  DWORD process_id = 0;
  ::GetWindowThreadProcessId(window, &process_id);
  const UniqueHandle process(
      ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id));
  if (!process) {
    Say("cannot open the process");
    return 1;
  }
  const HandleTable table(process.get(), process_id);
  Range gui, entries;
  DWORD gui_error = 0;
  for (int i = 0; i < readings; ++i) {
    ::SetLastError(0);
    gui.Add(static_cast<int>(::GetGuiResources(process.get(), GR_GDIOBJECTS)));
    gui_error = ::GetLastError();
    if (const std::optional<int> count = table.Count()) entries.Add(*count);
    ::Sleep(10);
  }
  Say("GetGuiResources " + std::to_string(gui.min) + " " + std::to_string(gui.max) + " " +
      std::to_string(gui_error));
  if (!entries.seen) {
    Say("table unreadable");
    return 1;
  }
  Say("table " + std::to_string(entries.min) + " " + std::to_string(entries.max));
  return 0;
}

// The table count must follow objects made and deleted, or a flat count
// would prove nothing.
int GdiSelfCheck() {
  const HandleTable table(::GetCurrentProcess(), ::GetCurrentProcessId());
  const std::optional<int> before = table.Count();
  if (!before) {
    Say("table unreadable");
    return 1;
  }
  std::optional<int> with;
  {
    std::vector<UniqueBrush> brushes;
    for (int i = 0; i < 50; ++i) brushes.emplace_back(::CreateSolidBrush(RGB(i, 0, 0)));
    with = table.Count();
  }
  const std::optional<int> after = table.Count();
  Say("before " + std::to_string(*before));
  Say("with 50 brushes " + std::to_string(with.value_or(-1)));
  Say("after " + std::to_string(after.value_or(-1)));
  return 0;
}

class OpenClipboardHold {
 public:
  OpenClipboardHold() : open_(::OpenClipboard(nullptr) != FALSE) {}
  ~OpenClipboardHold() {
    if (open_) ::CloseClipboard();
  }
  OpenClipboardHold(const OpenClipboardHold&) = delete;
  OpenClipboardHold& operator=(const OpenClipboardHold&) = delete;
  bool open() const { return open_; }

 private:
  bool open_;
};

int HoldClipboard() {
  {
    const OpenClipboardHold hold;
    if (!hold.open()) {
      Say("cannot open the clipboard");
      return 1;
    }
    Say("holding");
    char line[16];
    DWORD read = 0;
    ::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), line, sizeof line, &read, nullptr);
  }
  Say("released");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (argc == 2 && command == "colors") return Colors();
  if (argc == 4 && command == "gdi-objects") return GdiObjects(argv[2], std::atoi(argv[3]));
  if (argc == 2 && command == "gdi-selfcheck") return GdiSelfCheck();
  if (argc == 2 && command == "hold-clipboard") return HoldClipboard();
  std::fprintf(stderr,
               "usage: %s colors | gdi-objects TITLE READINGS | gdi-selfcheck | hold-clipboard\n",
               argc > 0 ? argv[0] : "huevex_winprobe");
  return 2;
}
