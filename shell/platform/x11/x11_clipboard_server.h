// The clipboard after a command has returned. X keeps no copy of a
// selection: its text goes with the client that owns it. Where no clipboard
// manager takes the text over at exit, the program starts itself once more
// as a small server that owns CLIPBOARD and answers its requests until
// another client takes the clipboard or the display goes. It is a fresh
// process (posix_spawn of the program's own file), so it holds nothing of
// the program's: no windows, pictures, shared memory or descriptors but its
// own connection; in a session of its own, with /dev/null for its standard
// streams, so that neither a terminal nor a script that reads the command's
// output waits for it.
#pragma once

#include <string_view>

namespace huevex::x11 {

// The name (argv[0]) the program is started under to be the server, with
// the text as its one argument.
inline constexpr std::string_view kClipboardServerName = "huevex-clipboard";

// Starts the server for `text`; false when it could not be started. The
// caller still owns the clipboard: the server takes it from there.
bool StartClipboardServer(std::string_view text);

// The server's whole life: owns the clipboard with `text` and serves it
// until it is taken over or the display goes. The exit status: 0, or 1 when
// there was no display or the clipboard could not be had.
int ServeClipboard(std::string_view text);

}  // namespace huevex::x11
