// The file a desktop portal writes its screenshot to, and what HUEVEX does
// with it. Portals differ: the wlroots portal overwrites /tmp/out.png on every
// call (and fails while another user's file is there), GNOME's saves a new
// file in the user's Pictures folder, KDE's one named after the time. A
// snapshot taken only so that HUEVEX can read its pixels must not pile up in
// the user's folders, so the file is removed once decoded, but only when it
// was made for this request: a regular file (not a link), of this user, with
// no other name, written since the request went out. Any other file the
// portal names is read and left alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "shell/platform/wayland/png_image.h"

namespace huevex::wayland {

// The local path a file:// URI names (percent escapes decoded), or none for
// any other URI.
std::optional<std::string> PathFromFileUri(std::string_view uri);

// What lstat and fstat tell of a file.
struct FileFacts {
  bool regular = false;
  std::uint32_t uid = 0;
  std::uint64_t links = 0;
  std::int64_t modified_ns = 0;  // CLOCK_REALTIME
  std::uint64_t device = 0, inode = 0;
};

// Whether the file now under the name (named) is the one that was read
// (opened), and was made for a request sent at requested_ns (CLOCK_REALTIME).
bool MadeForRequest(const FileFacts& opened, const FileFacts& named, std::uint32_t our_uid,
                    std::int64_t requested_ns);

struct Snapshot {
  Image image;
  bool removed = false;  // the file was ours and is gone
};

// Reads and decodes the snapshot at path, then removes the file if it was
// made for the request. False, with why (for the user), when it cannot be read.
bool TakeSnapshot(const std::string& path, std::int64_t requested_ns, Snapshot* snapshot,
                  std::string* why);

// CLOCK_REALTIME now, in nanoseconds, as file times are kept.
std::int64_t RealtimeNs();

}  // namespace huevex::wayland
