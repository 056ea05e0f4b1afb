#include "shell/platform/wayland/restore_token.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace huevex::wayland {
namespace {

constexpr size_t kMaxToken = 256;

// Makes each missing folder of path (mode 700), as mkdir -p would.
bool MakeFolders(const std::string& folder) {
  for (size_t at = 1; at <= folder.size(); ++at) {
    if (at != folder.size() && folder[at] != '/') continue;
    const std::string part = folder.substr(0, at);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat facts {};
  return stat(folder.c_str(), &facts) == 0 && S_ISDIR(facts.st_mode);
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

std::string RestoreTokenPath(const char* xdg_state_home, const char* home) {
  if (xdg_state_home && xdg_state_home[0] == '/') {
    return std::string(xdg_state_home) + "/huevex/screencast-token";
  }
  if (home && home[0] == '/') return std::string(home) + "/.local/state/huevex/screencast-token";
  return "";
}

bool IsRestoreToken(std::string_view text) {
  if (text.empty() || text.size() > kMaxToken) return false;
  for (const char c : text) {
    if (c <= ' ' || c > '~') return false;
  }
  return true;
}

std::optional<std::string> LoadRestoreToken(const std::string& path) {
  if (path.empty()) return std::nullopt;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return std::nullopt;
  char buffer[kMaxToken + 2];
  size_t size = 0;
  for (;;) {
    const ssize_t n = read(fd, buffer + size, sizeof buffer - size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    size += static_cast<size_t>(n);
    if (size == sizeof buffer) break;
  }
  close(fd);
  std::string_view text(buffer, size);
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  if (!IsRestoreToken(text)) return std::nullopt;
  return std::string(text);
}

bool SaveRestoreToken(const std::string& path, std::string_view token) {
  const size_t slash = path.rfind('/');
  if (!IsRestoreToken(token) || slash == std::string::npos || slash == 0) return false;
  if (!MakeFolders(path.substr(0, slash))) return false;
  std::string temporary = path + ".XXXXXX";
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  const bool written =
      fchmod(fd, 0600) == 0 && WriteAll(fd, std::string(token) + "\n") && fsync(fd) == 0;
  const bool closed = close(fd) == 0;
  if (!written || !closed || rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace huevex::wayland
