// The screen cast's restore token, kept so that the desktop asks the user
// once: $XDG_STATE_HOME/huevex/screencast-token (~/.local/state when unset).
// The file is written whole or not at all (a temporary file renamed over it),
// readable by the user alone. A token that is missing, unreadable or not of
// the form portals give is a miss: the portal then asks again, and its new
// token replaces the old. One the desktop no longer knows is a miss too, on
// the desktop's side: it asks, and answers with a new one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace huevex::wayland {

// The token file's path from the environment; empty when neither
// XDG_STATE_HOME nor HOME is set to an absolute path.
std::string RestoreTokenPath(const char* xdg_state_home, const char* home);

// Whether text is a token as portals give them: 1 to 256 printable ASCII
// characters, no spaces.
bool IsRestoreToken(std::string_view text);

// The token in the file, or none.
std::optional<std::string> LoadRestoreToken(const std::string& path);

// Writes the token (the folder made with mode 700, the file 600); false when
// it could not be written whole, the old file then left as it was.
bool SaveRestoreToken(const std::string& path, std::string_view token);

}  // namespace huevex::wayland
