// The atoms the backend speaks, interned together in one round trip.
#pragma once

#include <X11/Xlib.h>

namespace huevex::x11 {

struct Atoms {
  explicit Atoms(Display* display);

  Atom wm_protocols = 0;
  Atom wm_delete_window = 0;
  Atom wm_state = 0;
  Atom wm_transient_for = 0;
  Atom net_wm_ping = 0;
  Atom net_wm_name = 0;
  Atom net_wm_icon = 0;
  Atom net_wm_pid = 0;
  Atom net_wm_state = 0;
  Atom net_wm_state_above = 0;
  Atom net_wm_state_skip_taskbar = 0;
  Atom net_wm_state_skip_pager = 0;
  Atom net_wm_state_hidden = 0;
  Atom net_wm_window_type = 0;
  Atom net_wm_window_type_normal = 0;
  Atom net_wm_window_type_utility = 0;
  Atom net_wm_user_time = 0;
  Atom net_active_window = 0;
  Atom net_frame_extents = 0;
  Atom net_request_frame_extents = 0;
  Atom net_workarea = 0;
  Atom net_current_desktop = 0;
  Atom net_supported = 0;
  Atom net_supporting_wm_check = 0;
  Atom motif_wm_hints = 0;
  Atom utf8_string = 0;
  Atom clipboard = 0;
  Atom targets = 0;
  Atom timestamp = 0;
  Atom text = 0;
  Atom text_plain_utf8 = 0;
  Atom clipboard_manager = 0;
  Atom save_targets = 0;
  Atom multiple = 0;
  Atom transfer = 0;  // the property selections are delivered in
  Atom resource_manager = 0;
};

}  // namespace huevex::x11
