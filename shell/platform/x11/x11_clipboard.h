// The CLIPBOARD selection, owned by a small window of its own so that it
// outlives the program's visible windows. Requests for the text are answered
// for as long as the program owns the selection; when the program ends, the
// text is handed to a running clipboard manager, so a picked code can still be
// pasted afterwards, or to a process of the program's own that keeps serving
// it (x11_clipboard_server).
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "shell/platform/x11/x11_atoms.h"
#include "shell/platform/x11/x11_handles.h"

namespace huevex::x11 {

class ClipboardOwner {
 public:
  ClipboardOwner(Display* display, const Atoms& atoms);
  ClipboardOwner(const ClipboardOwner&) = delete;
  ClipboardOwner& operator=(const ClipboardOwner&) = delete;

  // Takes the selection with this text, from `time` (the input event that
  // caused the copy; 0 asks the server for its time). False when another
  // client kept the selection.
  bool Own(std::string_view utf8, Time time);
  Window window() const { return window_.get(); }
  // Whether the selection is ours, as far as the server has told, and its text.
  bool Owned() const { return owned_; }
  const std::string& text() const { return text_; }

  // Handles an event about the selection (requests for the text, loss of
  // ownership); false when the event was not the clipboard's.
  bool Handle(const XEvent& event);

  // Asks the clipboard manager, if one runs, to keep the text, and serves its
  // requests until it answers or `limit` has passed. True when it took the text.
  bool HandOver(std::chrono::milliseconds limit);
  // Serves the text until another client has taken the selection, or
  // `limit` has passed (forever without one). True when it was taken.
  bool ServeUntilTaken(std::optional<std::chrono::milliseconds> limit);

 private:
  // Serves requests until `done` says an event ended the wait, or the
  // deadline passes; false then.
  bool ServeUntil(std::optional<std::chrono::steady_clock::time_point> deadline,
                  const std::function<bool(const XEvent&)>& done);
  void Answer(const XSelectionRequestEvent& request);
  bool Convert(Window requestor, Atom target, Atom property);
  bool ConvertMultiple(Window requestor, Atom property);
  Time ServerTime();

  Display* display_;
  const Atoms& atoms_;
  WindowHandle window_;
  std::string text_;
  Time since_ = CurrentTime;
  bool owned_ = false;
};

}  // namespace huevex::x11
