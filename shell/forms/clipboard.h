// The toolkit's Clipboard: plain text to the system clipboard.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "shell/platform/platform.h"

namespace huevex {

class Runtime;

// Plain text to the system clipboard. A busy clipboard is tried again for a
// short while without blocking; when it stays busy, the copy is given up and
// reported, and the program goes on.
class Clipboard {
 public:
  static constexpr int kRetries = 10;
  static constexpr unsigned kRetryMs = 20;

  explicit Clipboard(Runtime& runtime) : runtime_(runtime) {}
  void SetText(std::string_view text);
  // A copy that could not be made at all (nothing to copy): reported as one
  // the clipboard refused, and the clipboard keeps what it held.
  void GiveUp();
  // Told the outcome of each copy: true once it is on the clipboard, false when given up.
  void OnOutcome(std::function<void(bool copied)> listener) { listener_ = std::move(listener); }
  // A tick of the retry timer; false if the timer is not the clipboard's.
  bool Retry(TimerId timer);
  void Stop();

 private:
  bool TryOnce();
  void Finish(bool copied);

  Runtime& runtime_;
  std::string text_;
  int retries_left_ = 0;
  TimerId retry_timer_{};
  std::function<void(bool)> listener_;
};

}  // namespace huevex
