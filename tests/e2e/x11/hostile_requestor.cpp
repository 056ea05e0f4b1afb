// A rude X client for the end-to-end tests: it asks the CLIPBOARD's owner for
// the selection in every wrong way it can and checks each answer:
//
//   huevex_hostile_requestor TEXT
//
// TEXT is what the owner holds. One line per case, "ok NAME" or
// "FAIL NAME: why"; the status is 0 only when every case held. Run it against
// a program that owns the clipboard; afterwards the owner must still answer.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kAnswerLimit = std::chrono::seconds(10);

struct CloseDisplay {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, CloseDisplay>;

// A window of ours; it goes with its owner object (or earlier, on purpose).
class OwnWindow {
 public:
  explicit OwnWindow(Display* display)
      : display_(display),
        window_(XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0)) {}
  OwnWindow(const OwnWindow&) = delete;
  OwnWindow& operator=(const OwnWindow&) = delete;
  ~OwnWindow() { Destroy(); }
  Window get() const { return window_; }
  void Destroy() {
    if (window_ != None) XDestroyWindow(display_, window_);
    window_ = None;
  }

 private:
  Display* display_;
  Window window_;
};

// Errors about windows this client destroyed on purpose are expected.
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

class Requestor {
 public:
  explicit Requestor(Display* display) : display_(display), window_(display) {
    clipboard = Intern("CLIPBOARD");
    utf8 = Intern("UTF8_STRING");
    targets = Intern("TARGETS");
    multiple = Intern("MULTIPLE");
    atom_pair = Intern("ATOM_PAIR");
    incr = Intern("INCR");
  }

  Atom Intern(const char* name) { return XInternAtom(display_, name, False); }
  Display* display() const { return display_; }
  Window window() const { return window_.get(); }
  Window Owner() { return XGetSelectionOwner(display_, clipboard); }

  void Ask(Atom target, Atom property, Time time = CurrentTime) {
    XConvertSelection(display_, clipboard, target, property, window_.get(), time);
  }

  // The next answer sent to our window, if one comes in time.
  std::optional<XSelectionEvent> Answer() {
    XFlush(display_);
    const auto deadline = Clock::now() + kAnswerLimit;
    pollfd connection{ConnectionNumber(display_), POLLIN, 0};
    for (;;) {
      XEvent event;
      if (XCheckTypedWindowEvent(display_, window_.get(), SelectionNotify, &event)) {
        return event.xselection;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return std::nullopt;
      poll(&connection, 1, static_cast<int>(left));
      XEventsQueued(display_, QueuedAfterReading);
    }
  }

  std::optional<XSelectionEvent> Convert(Atom target, Atom property, Time time = CurrentTime) {
    Ask(target, property, time);
    return Answer();
  }

  struct Property {
    Atom type = None;
    int format = 0;
    std::vector<unsigned char> bytes;  // 8-bit items, or longs for 32-bit ones
    std::vector<long> longs;
  };
  std::optional<Property> Read(Atom property, bool remove = true) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, window_.get(), property, 0, 1 << 22, remove, AnyPropertyType,
                           &type, &format, &count, &left, &data) != Success ||
        type == None) {
      if (data) XFree(data);
      return std::nullopt;
    }
    Property out{type, format, {}, {}};
    if (format == 8) out.bytes.assign(data, data + count);
    if (format == 32)
      out.longs.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
    XFree(data);
    return out;
  }

  void Write(Atom property, Atom type, const std::vector<long>& items) {
    XChangeProperty(display_, window_.get(), property, type, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(items.data()),
                    static_cast<int>(items.size()));
  }

  // Sends an event of our own making to the owner, as any client may.
  void Forge(XEvent event) {
    XSendEvent(display_, Owner(), False, NoEventMask, &event);
    XFlush(display_);
  }

  Atom clipboard, utf8, targets, multiple, atom_pair, incr;

 private:
  Display* display_;
  OwnWindow window_;
};

// One case: true when the owner behaved; `why` says what went wrong.
using Case = std::function<bool(Requestor&, const std::string& text, std::string& why)>;

bool Refused(const std::optional<XSelectionEvent>& answer, std::string& why) {
  if (!answer) return why = "no answer", false;
  if (answer->property != None) return why = "converted instead of refused", false;
  return true;
}

bool HoldsText(Requestor& r, const std::optional<XSelectionEvent>& answer, Atom property,
               const std::string& text, std::string& why) {
  if (!answer) return why = "no answer", false;
  if (answer->property != property) return why = "refused or answered elsewhere", false;
  const auto value = r.Read(property);
  if (!value || std::string(value->bytes.begin(), value->bytes.end()) != text) {
    return why = "the property does not hold the text", false;
  }
  return true;
}

// The owner still gives the text to a plain request.
bool StillServes(Requestor& r, const std::string& text, std::string& why) {
  const Atom property = r.Intern("HUEVEX_HOSTILE_CHECK");
  if (!HoldsText(r, r.Convert(r.utf8, property), property, text, why)) {
    why = "afterwards: " + why;
    return false;
  }
  return true;
}

const std::vector<std::pair<const char*, Case>>& Cases() {
  static const std::vector<std::pair<const char*, Case>> cases = {
      {"unknown targets are refused",
       [](Requestor& r, const std::string&, std::string& why) {
         for (const char* name : {"image/png", "HUEVEX_NO_SUCH_TARGET", "INCR", "PIXMAP"}) {
           if (!Refused(r.Convert(r.Intern(name), r.Intern("HUEVEX_P")), why)) {
             why = std::string(name) + ": " + why;
             return false;
           }
         }
         // A number that names no atom at all (the server would not pass it
         // on, so the request is forged).
         XEvent event{};
         event.xselectionrequest.type = SelectionRequest;
         event.xselectionrequest.owner = r.Owner();
         event.xselectionrequest.requestor = r.window();
         event.xselectionrequest.selection = r.clipboard;
         event.xselectionrequest.target = 0x7FFFFF0;
         event.xselectionrequest.property = r.Intern("HUEVEX_P");
         r.Forge(event);
         if (!Refused(r.Answer(), why)) return why = "atom 0x7FFFFF0: " + why, false;
         return true;
       }},
      {"no property: the target serves as one",
       [](Requestor& r, const std::string& text, std::string& why) {
         return HoldsText(r, r.Convert(r.utf8, None), r.utf8, text, why);
       }},
      {"a request from before the ownership is refused",
       [](Requestor& r, const std::string&, std::string& why) {
         return Refused(r.Convert(r.utf8, r.Intern("HUEVEX_P"), 1), why);
       }},
      {"a requestor window that vanishes before the answer",
       [](Requestor& r, const std::string& text, std::string& why) {
         OwnWindow gone(r.display());
         XConvertSelection(r.display(), r.clipboard, r.utf8, r.Intern("HUEVEX_P"), gone.get(),
                           CurrentTime);
         XConvertSelection(r.display(), r.clipboard, r.multiple, r.Intern("HUEVEX_P"), gone.get(),
                           CurrentTime);
         gone.Destroy();  // in the same flush: the owner finds no window
         return StillServes(r, text, why);
       }},
      {"a requestor that disconnects with requests pending",
       [](Requestor& r, const std::string& text, std::string& why) {
         {
           DisplayPtr other(XOpenDisplay(nullptr));
           if (!other) return why = "no second connection", false;
           Requestor rude(other.get());
           for (int i = 0; i < 50; ++i) rude.Ask(rude.utf8, rude.Intern("HUEVEX_P"));
           XFlush(other.get());
         }
         return StillServes(r, text, why);
       }},
      {"a flood of requests, each answered in turn",
       [](Requestor& r, const std::string& text, std::string& why) {
         const Atom unknown = r.Intern("HUEVEX_NO_SUCH_TARGET");
         const Atom string = XA_STRING, text_atom = r.Intern("TEXT");
         const Atom asked[] = {r.utf8, r.targets, unknown, string, text_atom};
         const Atom property = r.Intern("HUEVEX_FLOOD");
         constexpr int kRequests = 5000;
         for (int i = 0; i < kRequests; ++i) r.Ask(asked[i % 5], property);
         int wrong = 0;
         for (int i = 0; i < kRequests; ++i) {
           const auto answer = r.Answer();
           if (!answer) return why = "answer " + std::to_string(i) + " never came", false;
           const Atom target = asked[i % 5];
           const bool refused = answer->property == None;
           if (answer->target != target || refused != (target == unknown)) ++wrong;
         }
         if (wrong) return why = std::to_string(wrong) + " answers were wrong", false;
         return StillServes(r, text, why);
       }},
      {"a flood from a requestor that then vanishes",
       [](Requestor& r, const std::string& text, std::string& why) {
         {
           DisplayPtr other(XOpenDisplay(nullptr));
           if (!other) return why = "no second connection", false;
           Requestor rude(other.get());
           for (int i = 0; i < 2000; ++i) {
             rude.Ask(i % 2 ? rude.utf8 : rude.targets, rude.Intern("HUEVEX_P"));
           }
           XSync(other.get(), False);
         }
         return StillServes(r, text, why);
       }},
      {"MULTIPLE: each pair converted or refused on its own",
       [](Requestor& r, const std::string& text, std::string& why) {
         const Atom list = r.Intern("HUEVEX_LIST"), a = r.Intern("HUEVEX_A"),
                    b = r.Intern("HUEVEX_B"), c = r.Intern("HUEVEX_C"), d = r.Intern("HUEVEX_D");
         r.Write(list, r.atom_pair,
                 {static_cast<long>(r.utf8), static_cast<long>(a),
                  static_cast<long>(r.Intern("image/png")), static_cast<long>(b),
                  static_cast<long>(r.multiple), static_cast<long>(c), static_cast<long>(r.targets),
                  static_cast<long>(d)});
         const auto answer = r.Convert(r.multiple, list);
         if (!answer || answer->property != list) return why = "refused", false;
         const auto pairs = r.Read(list);
         if (!pairs || pairs->longs.size() != 8) return why = "the pairs came back wrong", false;
         if (pairs->longs[0] != static_cast<long>(r.utf8)) return why = "text pair refused", false;
         if (pairs->longs[2] != None) return why = "unknown target not refused", false;
         if (pairs->longs[4] != None) return why = "nested MULTIPLE not refused", false;
         const auto value = r.Read(a);
         if (!value || std::string(value->bytes.begin(), value->bytes.end()) != text) {
           return why = "text pair's property is wrong", false;
         }
         const auto listed = r.Read(d);
         if (!listed || listed->longs.empty()) return why = "TARGETS pair's property empty", false;
         return true;
       }},
      {"MULTIPLE without a property, or naming none that exists",
       [](Requestor& r, const std::string&, std::string& why) {
         if (!Refused(r.Convert(r.multiple, None), why)) return why = "None: " + why, false;
         return Refused(r.Convert(r.multiple, r.Intern("HUEVEX_MISSING")), why);
       }},
      {"MULTIPLE with 8-bit data instead of atom pairs",
       [](Requestor& r, const std::string&, std::string& why) {
         const Atom list = r.Intern("HUEVEX_LIST");
         XChangeProperty(r.display(), r.window(), list, XA_STRING, 8, PropModeReplace,
                         reinterpret_cast<const unsigned char*>("garbage"), 7);
         return Refused(r.Convert(r.multiple, list), why);
       }},
      {"MULTIPLE with an odd atom and a pair without a property",
       [](Requestor& r, const std::string& text, std::string& why) {
         const Atom list = r.Intern("HUEVEX_LIST"), a = r.Intern("HUEVEX_A");
         r.Write(list, r.atom_pair,
                 {static_cast<long>(r.utf8), None, static_cast<long>(r.utf8), static_cast<long>(a),
                  static_cast<long>(r.targets)});
         const auto answer = r.Convert(r.multiple, list);
         if (!answer || answer->property != list) return why = "refused", false;
         const auto pairs = r.Read(list);
         if (!pairs || pairs->longs.size() < 4) return why = "the pairs came back wrong", false;
         if (pairs->longs[0] != None) return why = "a pair without a property not refused", false;
         const auto value = r.Read(a);
         if (!value || std::string(value->bytes.begin(), value->bytes.end()) != text) {
           return why = "the whole pair's property is wrong", false;
         }
         return true;
       }},
      {"MULTIPLE too large for one request (INCR-sized)",
       [](Requestor& r, const std::string&, std::string& why) {
         // 100000 pairs: 800 kB of atoms, past what a plain request carries.
         const Atom list = r.Intern("HUEVEX_LIST"), a = r.Intern("HUEVEX_A");
         std::vector<long> items;
         for (int i = 0; i < 100000; ++i) {
           items.push_back(static_cast<long>(r.utf8));
           items.push_back(static_cast<long>(a));
         }
         r.Write(list, r.atom_pair, items);
         const auto answer = r.Convert(r.multiple, list);
         if (!answer) return why = "no answer", false;
         const auto pairs = r.Read(list);
         if (!pairs || pairs->longs.size() != items.size()) {
           return why = "the list was cut to " + std::to_string(pairs ? pairs->longs.size() : 0) +
                        " atoms",
                  false;
         }
         if (answer->property == None) {
           // Refused as a whole: then the list must be as the requestor left it.
           if (pairs->longs != items) return why = "refused, but the list changed", false;
           return true;
         }
         for (size_t i = 0; i < items.size(); i += 2) {
           if (pairs->longs[i] != static_cast<long>(r.utf8)) return why = "a pair refused", false;
         }
         return true;
       }},
      {"a forged request for a selection the owner does not hold",
       [](Requestor& r, const std::string&, std::string& why) {
         XEvent event{};
         event.xselectionrequest.type = SelectionRequest;
         event.xselectionrequest.owner = r.Owner();
         event.xselectionrequest.requestor = r.window();
         event.xselectionrequest.selection = XA_PRIMARY;
         event.xselectionrequest.target = r.utf8;
         event.xselectionrequest.property = r.Intern("HUEVEX_P");
         event.xselectionrequest.time = CurrentTime;
         r.Forge(event);
         return Refused(r.Answer(), why);
       }},
      {"a forged request naming a window that does not exist",
       [](Requestor& r, const std::string& text, std::string& why) {
         XEvent event{};
         event.xselectionrequest.type = SelectionRequest;
         event.xselectionrequest.owner = r.Owner();
         event.xselectionrequest.requestor = 0x3FFFFFF;  // nobody's
         event.xselectionrequest.selection = r.clipboard;
         event.xselectionrequest.target = r.multiple;
         event.xselectionrequest.property = r.Intern("HUEVEX_P");
         r.Forge(event);
         event.xselectionrequest.target = r.utf8;
         r.Forge(event);
         return StillServes(r, text, why);
       }},
      {"a forged SelectionClear does not make the owner let go",
       [](Requestor& r, const std::string& text, std::string& why) {
         XEvent event{};
         event.xselectionclear.type = SelectionClear;
         event.xselectionclear.window = r.Owner();
         event.xselectionclear.selection = r.clipboard;
         event.xselectionclear.time = CurrentTime;
         r.Forge(event);
         return StillServes(r, text, why);
       }},
  };
  return cases;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s TEXT\n", argv[0]);
    return 2;
  }
  const std::string text = argv[1];
  DisplayPtr display(XOpenDisplay(nullptr));
  if (!display) return 2;
  XSetErrorHandler(IgnoreErrors);
  Requestor requestor(display.get());
  if (requestor.Owner() == None) {
    std::printf("FAIL nobody owns CLIPBOARD\n");
    return 1;
  }
  int failed = 0;
  for (const auto& [name, run] : Cases()) {
    std::string why;
    const bool ok = run(requestor, text, why);
    std::printf(ok ? "ok %s\n" : "FAIL %s: %s\n", name, why.c_str());
    std::fflush(stdout);
    failed += ok ? 0 : 1;
  }
  return failed ? 1 : 0;
}
