// What the server tells the program: the events for its windows, for the
// root window and from the window manager, taken in by X11Desktop and passed
// on to the program as the calls of WindowEvents.
#include <X11/Xatom.h>
#include <X11/keysym.h>

#include "shell/platform/x11/x11_desktop.h"
#include "shell/platform/x11/x11_properties.h"

namespace huevex::x11 {
namespace {

// The virtual-key code of the keys the program reads; 0 for the others.
int VirtualKeyOf(KeySym key) {
  switch (key) {
    case XK_Return:
    case XK_KP_Enter:
      return VK_RETURN;
    case XK_Escape:
      return VK_ESCAPE;
    case XK_Left:
    case XK_KP_Left:
      return VK_LEFT;
    case XK_Up:
    case XK_KP_Up:
      return VK_UP;
    case XK_Right:
    case XK_KP_Right:
      return VK_RIGHT;
    case XK_Down:
    case XK_KP_Down:
      return VK_DOWN;
    default:
      return 0;
  }
}

std::optional<MouseButton> ButtonOf(unsigned button) {
  switch (button) {
    case Button1:
      return MouseButton::Left;
    case Button2:
      return MouseButton::Middle;
    case Button3:
      return MouseButton::Right;
    default:
      return std::nullopt;  // the wheel (4 to 7) and extra buttons
  }
}

}  // namespace

void X11Desktop::Handle(XEvent& event) {
  if (clipboard_.Handle(event) || screen_.Handle(event)) return;
  if (screen_.MonitorsChanged(event)) {
    TellMonitors();
    return;
  }
  switch (event.type) {
    case Expose:
      if (event.xexpose.count == 0) {
        if (TopLevel* top = Find(event.xexpose.window)) PutSurface(*top);
        if (event.xexpose.window == cover_.window()) RedrawCover();
      }
      break;
    case ButtonPress:
    case ButtonRelease:
      if (modal_ != 0) {
        if (event.xbutton.window == modal_ && modal_closes_(event)) modal_done_ = true;
        break;
      }
      HandleButton(event.xbutton);
      break;
    case MotionNotify:
      last_time_ = event.xmotion.time;
      capture_.Follow({event.xmotion.x_root, event.xmotion.y_root});
      break;
    case KeyPress:
      last_time_ = event.xkey.time;
      if (modal_ != 0) {
        if (event.xkey.window == modal_ && modal_closes_(event)) modal_done_ = true;
      } else {
        HandleKey(event.xkey);
      }
      break;
    case ClientMessage:
      HandleClientMessage(event.xclient);
      break;
    case PropertyNotify:
      HandleProperty(event.xproperty);
      break;
    case ConfigureNotify:
      HandleConfigure(event.xconfigure);
      break;
    case ReparentNotify:
      if (TopLevel* top = Find(event.xreparent.window)) {
        top->managed = event.xreparent.parent != root_;
        if (!top->managed) {
          top->outer = {event.xreparent.x, event.xreparent.y};
          top->client_root.reset();
          top->extents.reset();  // the frame went with the window manager that drew it
        }
      }
      break;
    case MapNotify:
      if (TopLevel* top = Find(event.xmap.window)) {
        top->mapped = true;
      } else if (!wm_.Running() && event.xmap.event == root_ && !event.xmap.override_redirect) {
        RiseOver(event.xmap.window);  // another program's window came up, perhaps over ours
      }
      break;
    case UnmapNotify:
      if (TopLevel* top = Find(event.xunmap.window)) top->mapped = false;
      break;
    case DestroyNotify:
      HandleDestroy(event.xdestroywindow);
      break;
    default:
      break;
  }
}

void X11Desktop::HandleClientMessage(const XClientMessageEvent& event) {
  if (event.message_type != atoms_.wm_protocols) return;
  const auto protocol = static_cast<Atom>(event.data.l[0]);
  if (protocol == atoms_.net_wm_ping) {
    XEvent pong{};
    pong.xclient = event;
    pong.xclient.window = root_;
    XSendEvent(display_, root_, False, SubstructureNotifyMask | SubstructureRedirectMask, &pong);
    return;
  }
  if (protocol != atoms_.wm_delete_window || !Find(event.window)) return;
  if (event.data.l[1] != 0) last_time_ = static_cast<Time>(event.data.l[1]);
  if (modal_ != 0) {
    if (event.window == modal_) modal_done_ = true;
    return;
  }
  if (listener_) listener_->OnCloseRequest(Hwnd{event.window});
}

void X11Desktop::HandleProperty(const XPropertyEvent& event) {
  last_time_ = event.time;
  if (event.window == root_) {
    if (event.atom == atoms_.resource_manager) {
      const int dpi = ReadDpi();
      if (dpi == dpi_) return;
      dpi_ = dpi;
      std::vector<Window> ours;
      for (auto& [window, top] : windows_) ours.push_back(window);
      for (Window window : ours) {
        if (listener_ && Find(window)) listener_->OnDpiChanged(Hwnd{window}, dpi_);
      }
    } else if (event.atom == atoms_.net_supporting_wm_check) {
      wm_.Follow();
    }
    return;
  }
  TopLevel* top = Find(event.window);
  if (!top) return;
  if (event.atom == atoms_.net_frame_extents) {
    top->extents = wm_.ReadFrame(event.window, top->framed);
  } else if (event.atom == atoms_.wm_state) {
    const std::vector<long> state =
        ReadLongs(display_, event.window, atoms_.wm_state, atoms_.wm_state);
    top->iconic = !state.empty() && state[0] == IconicState;
  }
}

void X11Desktop::HandleConfigure(const XConfigureEvent& event) {
  if (event.window == root_) {
    // Also all that a monitor set or deleted by a client (xrandr --setmonitor) sends.
    screen_.SetSize(event.width, event.height);
    TellMonitors();
    return;
  }
  TopLevel* top = Find(event.window);
  if (!top) {
    // Another program's window moved or rose; without a window manager ours
    // must rise again if it went above them.
    if (!wm_.Running() && event.event == root_ && !event.override_redirect) {
      RiseOver(event.window);
    }
    return;
  }
  if (top->cover == UnderCover::Beneath) return;  // where the program put it, on the cover
  if (event.send_event) {
    // From the window manager: the client's position on the root window.
    top->client_root = Point{event.x, event.y};
  } else if (!top->managed) {
    top->outer = {event.x, event.y};
    top->client_root.reset();
  }
}

void X11Desktop::HandleDestroy(const XDestroyWindowEvent& event) {
  if (wm_.Gone(event.window)) {
    if (!yielding_) wm_.KeepAbove(TopmostShown());
    return;
  }
  // Destroyed by someone else (ours are gone from the table before they are
  // destroyed): the program takes it as the window being closed.
  if (TopLevel* top = Find(event.window)) {
    top->window.release();
    top->image.shared.reset();
    if (modal_ == event.window) modal_done_ = true;
    if (listener_ && modal_ == 0) listener_->OnCloseRequest(Hwnd{event.window});
  }
}

// A held key repeats as more presses, which is what a nudge wants.
void X11Desktop::HandleKey(XKeyEvent& event) {
  if (shortcut_.Matches(event)) {
    if (listener_) listener_->OnShortcut();
    return;
  }
  const int key = VirtualKeyOf(XLookupKeysym(&event, 0));
  if (key == 0 || !listener_) return;
  const Window window = capture_.window() ? capture_.window() : event.window;
  if (!Find(window)) return;
  listener_->OnKeyDown(Hwnd{window}, key, (event.state & ShiftMask) != 0);
}

void X11Desktop::HandleButton(const XButtonEvent& event) {
  last_time_ = event.time;
  const std::optional<MouseButton> button = ButtonOf(event.button);
  if (!button || !listener_) return;
  const bool press = event.type == ButtonPress;
  if (const Window captured = capture_.window()) {
    const Point client = capture_.Follow({event.x_root, event.y_root});
    if (press) {
      listener_->OnMouseDown(Hwnd{captured}, *button, client);
    } else {
      listener_->OnMouseUp(Hwnd{captured}, *button, client);
    }
    return;
  }
  if (!Find(event.window)) return;
  if (press) {
    press_root_ = {event.x_root, event.y_root};
    listener_->OnMouseDown(Hwnd{event.window}, *button, {event.x, event.y});
  } else {
    listener_->OnMouseUp(Hwnd{event.window}, *button, {event.x, event.y});
  }
}

}  // namespace huevex::x11
