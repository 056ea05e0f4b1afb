// X protocol errors, which the program survives: a request about a window
// that has gone (a clipboard requestor that quit, a window another program
// destroyed) or a read that raced a shrinking screen is no reason to stop.
// Each cause, the error code with the failed request's major and minor code,
// is told once on stderr; later errors of that cause are only counted, so a
// fault that comes back on every tick cannot flood the log.
#pragma once

#include <compare>
#include <cstdint>

namespace huevex::x11 {

struct ErrorCause {
  int error_code = 0;
  int request_code = 0;  // the request's major code
  int minor_code = 0;    // an extension's request within it
  auto operator<=>(const ErrorCause&) const = default;
};

// Makes this the handler of every display the process opens. The counts
// start again from zero.
void InstallErrorHandler();
// How many errors the handler has taken since it was installed: of one cause,
// or of all together.
std::uint64_t ErrorCount(const ErrorCause& cause);
std::uint64_t ErrorCount();
// How many of them came from requests of one major code (an extension's).
std::uint64_t ErrorCountOfRequest(int request_code);

}  // namespace huevex::x11
