#include "shell/platform/wayland/snapshot_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <vector>

namespace huevex::wayland {
namespace {

constexpr std::int64_t kMaxFileBytes = std::int64_t{1} << 30;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

FileFacts FactsOf(const struct stat& st) {
  return {S_ISREG(st.st_mode),
          st.st_uid,
          static_cast<std::uint64_t>(st.st_nlink),
          std::int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec,
          static_cast<std::uint64_t>(st.st_dev),
          static_cast<std::uint64_t>(st.st_ino)};
}

// Closes the descriptor when it goes out of scope.
struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

std::optional<std::string> PathFromFileUri(std::string_view uri) {
  for (std::string_view prefix : {"file://localhost/", "file:///"}) {
    if (!uri.starts_with(prefix)) continue;
    uri.remove_prefix(prefix.size());
    std::string path = "/";
    for (size_t i = 0; i < uri.size(); ++i) {
      if (uri[i] != '%') {
        path += uri[i];
        continue;
      }
      const int high = i + 2 < uri.size() ? HexDigit(uri[i + 1]) : -1;
      const int low = i + 2 < uri.size() ? HexDigit(uri[i + 2]) : -1;
      if (high < 0 || low < 0 || (high == 0 && low == 0)) return std::nullopt;
      path += static_cast<char>(high * 16 + low);
      i += 2;
    }
    return path;
  }
  return std::nullopt;
}

bool MadeForRequest(const FileFacts& opened, const FileFacts& named, std::uint32_t our_uid,
                    std::int64_t requested_ns) {
  return named.device == opened.device && named.inode == opened.inode && named.regular &&
         named.uid == our_uid && named.links == 1 && named.modified_ns >= requested_ns;
}

bool TakeSnapshot(const std::string& path, std::int64_t requested_ns, Snapshot* snapshot,
                  std::string* why) {
  const Fd file{open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC)};
  struct stat opened {};
  if (file.fd < 0 || fstat(file.fd, &opened) != 0 || !S_ISREG(opened.st_mode) ||
      opened.st_size <= 0 || opened.st_size > kMaxFileBytes) {
    *why = "the desktop portal's screenshot file could not be read";
    return false;
  }
  std::vector<std::uint8_t> bytes(static_cast<size_t>(opened.st_size));
  size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(file.fd, bytes.data() + got, bytes.size() - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  std::string decode_why;
  const bool decoded = DecodePng(bytes, &snapshot->image, &decode_why);
  // The same file still under that name, and made for this request: it goes
  // even when it could not be decoded, since nobody else wants it.
  struct stat named {};
  snapshot->removed = false;
  if (lstat(path.c_str(), &named) == 0 &&
      MadeForRequest(FactsOf(opened), FactsOf(named), static_cast<std::uint32_t>(geteuid()),
                     requested_ns)) {
    snapshot->removed = unlink(path.c_str()) == 0;
  }
  if (!decoded) *why = "the desktop portal's screenshot is not a picture HUEVEX can read";
  return decoded;
}

std::int64_t RealtimeNs() {
  // The coarse clock is the one the kernel stamps file times with, so a file
  // written after this moment never looks older than it.
  timespec now{};
  clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

}  // namespace huevex::wayland
