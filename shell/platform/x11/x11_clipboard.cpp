#include "shell/platform/x11/x11_clipboard.h"

#include <X11/Xatom.h>
#include <poll.h>
#include <unistd.h>

#include <vector>

#include "shell/platform/x11/x11_properties.h"

namespace huevex::x11 {

ClipboardOwner::ClipboardOwner(Display* display, const Atoms& atoms)
    : display_(display), atoms_(atoms) {
  const Window root = DefaultRootWindow(display);
  window_ = WindowHandle(display, XCreateSimpleWindow(display, root, -10, -10, 1, 1, 0, 0, 0));
  // Whose the clipboard is, for whoever looks (xprop on the owner); written
  // before the window listens, so that it wakes nobody.
  const long pid[] = {static_cast<long>(getpid())};
  WriteLongs(display, window_.get(), atoms.net_wm_pid, XA_CARDINAL, pid);
  XSelectInput(display, window_.get(), PropertyChangeMask);
}

Time ClipboardOwner::ServerTime() {
  // A zero-length append changes nothing but brings a PropertyNotify with the
  // server's time, as ICCCM suggests when no event is at hand.
  XChangeProperty(display_, window_.get(), atoms_.transfer, XA_STRING, 8, PropModeAppend, nullptr,
                  0);
  XEvent event;
  XWindowEvent(display_, window_.get(), PropertyChangeMask, &event);
  return event.xproperty.time;
}

bool ClipboardOwner::Own(std::string_view utf8, Time time) {
  if (time == CurrentTime) time = ServerTime();
  text_ = utf8;
  XSetSelectionOwner(display_, atoms_.clipboard, window_.get(), time);
  owned_ = XGetSelectionOwner(display_, atoms_.clipboard) == window_.get();
  if (owned_) since_ = time;
  return owned_;
}

bool ClipboardOwner::Handle(const XEvent& event) {
  switch (event.type) {
    case SelectionRequest:
      if (event.xselectionrequest.owner != window_.get()) return false;
      Answer(event.xselectionrequest);
      return true;
    case SelectionClear:
      if (event.xselectionclear.window != window_.get()) return false;
      // Any client may send a SelectionClear of its own making; only the
      // server knows whether the selection really went to someone else.
      if (event.xselectionclear.selection == atoms_.clipboard) {
        owned_ = XGetSelectionOwner(display_, atoms_.clipboard) == window_.get();
      }
      return true;
    default:
      return event.xany.window == window_.get();
  }
}

void ClipboardOwner::Answer(const XSelectionRequestEvent& request) {
  XSelectionEvent reply{};
  reply.type = SelectionNotify;
  reply.display = display_;
  reply.requestor = request.requestor;
  reply.selection = request.selection;
  reply.target = request.target;
  reply.time = request.time;
  reply.property = None;
  // Clients older than ICCCM 2 name no property; the target serves as one.
  const Atom property = request.property == None ? request.target : request.property;
  const bool current = request.time == CurrentTime || request.time >= since_;
  if (owned_ && request.selection == atoms_.clipboard && current &&
      Convert(request.requestor, request.target, property)) {
    reply.property = property;
  }
  XEvent out{};
  out.xselection = reply;
  XSendEvent(display_, request.requestor, False, NoEventMask, &out);
  XFlush(display_);
}

bool ClipboardOwner::Convert(Window requestor, Atom target, Atom property) {
  const auto put = [&](Atom type, int format, const void* data, size_t count) {
    XChangeProperty(display_, requestor, property, type, format, PropModeReplace,
                    static_cast<const unsigned char*>(data), static_cast<int>(count));
    return true;
  };
  if (target == atoms_.targets) {
    const Atom list[] = {atoms_.targets, atoms_.timestamp,       atoms_.utf8_string, XA_STRING,
                         atoms_.text,    atoms_.text_plain_utf8, atoms_.multiple};
    return put(XA_ATOM, 32, list, std::size(list));
  }
  if (target == atoms_.timestamp) {
    const long value = static_cast<long>(since_);
    return put(XA_INTEGER, 32, &value, 1);
  }
  if (target == atoms_.utf8_string || target == atoms_.text) {
    return put(atoms_.utf8_string, 8, text_.data(), text_.size());
  }
  if (target == atoms_.text_plain_utf8) return put(target, 8, text_.data(), text_.size());
  if (target == XA_STRING) {
    const std::string latin1 = Latin1FromUtf8(text_);
    return put(XA_STRING, 8, latin1.data(), latin1.size());
  }
  if (target == atoms_.multiple) {
    return ConvertMultiple(requestor, property);
  }
  return false;
}

// MULTIPLE: the property holds (target, property) pairs; each is converted in
// turn, and the target of a pair that cannot be converted is replaced by None.
// A list longer than any real client sends is refused whole rather than cut
// short, so the requestor never reads a shortened list as an answer.
bool ClipboardOwner::ConvertMultiple(Window requestor, Atom property) {
  constexpr long kMostAtoms = 1024;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, left = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display_, requestor, property, 0, kMostAtoms, False, AnyPropertyType,
                         &type, &format, &count, &left, &data) != Success ||
      !data || format != 32 || left > 0) {
    if (data) XFree(data);
    return false;
  }
  std::vector<Atom> pairs(reinterpret_cast<Atom*>(data), reinterpret_cast<Atom*>(data) + count);
  XFree(data);
  for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
    if (pairs[i] == atoms_.multiple || pairs[i + 1] == None ||
        !Convert(requestor, pairs[i], pairs[i + 1])) {
      pairs[i] = None;
    }
  }
  XChangeProperty(display_, requestor, property, type, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(pairs.data()), static_cast<int>(pairs.size()));
  return true;
}

bool ClipboardOwner::HandOver(std::chrono::milliseconds limit) {
  if (!owned_ || XGetSelectionOwner(display_, atoms_.clipboard_manager) == None) return false;
  // The targets worth keeping; the manager asks for them before it answers.
  const Atom keep[] = {atoms_.utf8_string, XA_STRING, atoms_.text_plain_utf8};
  XChangeProperty(display_, window_.get(), atoms_.transfer, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(keep), static_cast<int>(std::size(keep)));
  XConvertSelection(display_, atoms_.clipboard_manager, atoms_.save_targets, atoms_.transfer,
                    window_.get(), since_);
  XFlush(display_);
  bool saved = false;
  ServeUntil(std::chrono::steady_clock::now() + limit, [&](const XEvent& event) {
    if (event.type != SelectionNotify || event.xselection.requestor != window_.get() ||
        event.xselection.selection != atoms_.clipboard_manager) {
      return false;
    }
    saved = event.xselection.property != None;
    return true;
  });
  return saved;
}

bool ClipboardOwner::ServeUntilTaken(std::optional<std::chrono::milliseconds> limit) {
  std::optional<std::chrono::steady_clock::time_point> deadline;
  if (limit) deadline = std::chrono::steady_clock::now() + *limit;
  return ServeUntil(deadline, [&](const XEvent&) { return !owned_; });
}

bool ClipboardOwner::ServeUntil(std::optional<std::chrono::steady_clock::time_point> deadline,
                                const std::function<bool(const XEvent&)>& done) {
  pollfd connection{ConnectionNumber(display_), POLLIN, 0};
  for (;;) {
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      Handle(event);  // requests for the text; anything else is of no use now
      if (done(event)) return true;
    }
    int wait = -1;
    if (deadline) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          *deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      wait = static_cast<int>(left.count()) + 1;
    }
    poll(&connection, 1, wait);
  }
}

}  // namespace huevex::x11
