#include "shell/forms/clipboard.h"

#include "shell/forms/runtime.h"

namespace huevex {

void Clipboard::SetText(std::string_view text) {
  text_ = text;
  Stop();
  if (TryOnce()) {
    Finish(true);
    return;
  }
  retries_left_ = kRetries;
  retry_timer_ = runtime_.windows().SetTimer(kRetryMs);
}

void Clipboard::GiveUp() {
  Stop();
  Finish(false);
}

bool Clipboard::TryOnce() {
  return runtime_.windows().SetClipboardText(runtime_.MainWindow(), text_);
}

bool Clipboard::Retry(TimerId timer) {
  if (timer != retry_timer_ || timer == TimerId{}) return false;
  if (TryOnce()) {
    Stop();
    Finish(true);
  } else if (--retries_left_ <= 0) {
    Stop();
    Finish(false);
  }
  return true;
}

void Clipboard::Stop() {
  if (retry_timer_ != TimerId{}) runtime_.windows().KillTimer(retry_timer_);
  retry_timer_ = TimerId{};
}

void Clipboard::Finish(bool copied) {
  if (listener_) listener_(copied);
}

}  // namespace huevex
