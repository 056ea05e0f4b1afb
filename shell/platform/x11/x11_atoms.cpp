#include "shell/platform/x11/x11_atoms.h"

#include <array>
#include <utility>

namespace huevex::x11 {

Atoms::Atoms(Display* display) {
  const std::array<std::pair<const char*, Atom*>, 36> entries{{
      {"WM_PROTOCOLS", &wm_protocols},
      {"WM_DELETE_WINDOW", &wm_delete_window},
      {"WM_STATE", &wm_state},
      {"WM_TRANSIENT_FOR", &wm_transient_for},
      {"_NET_WM_PING", &net_wm_ping},
      {"_NET_WM_NAME", &net_wm_name},
      {"_NET_WM_ICON", &net_wm_icon},
      {"_NET_WM_PID", &net_wm_pid},
      {"_NET_WM_STATE", &net_wm_state},
      {"_NET_WM_STATE_ABOVE", &net_wm_state_above},
      {"_NET_WM_STATE_SKIP_TASKBAR", &net_wm_state_skip_taskbar},
      {"_NET_WM_STATE_SKIP_PAGER", &net_wm_state_skip_pager},
      {"_NET_WM_STATE_HIDDEN", &net_wm_state_hidden},
      {"_NET_WM_WINDOW_TYPE", &net_wm_window_type},
      {"_NET_WM_WINDOW_TYPE_NORMAL", &net_wm_window_type_normal},
      {"_NET_WM_WINDOW_TYPE_UTILITY", &net_wm_window_type_utility},
      {"_NET_WM_USER_TIME", &net_wm_user_time},
      {"_NET_ACTIVE_WINDOW", &net_active_window},
      {"_NET_FRAME_EXTENTS", &net_frame_extents},
      {"_NET_REQUEST_FRAME_EXTENTS", &net_request_frame_extents},
      {"_NET_WORKAREA", &net_workarea},
      {"_NET_CURRENT_DESKTOP", &net_current_desktop},
      {"_NET_SUPPORTED", &net_supported},
      {"_NET_SUPPORTING_WM_CHECK", &net_supporting_wm_check},
      {"_MOTIF_WM_HINTS", &motif_wm_hints},
      {"UTF8_STRING", &utf8_string},
      {"CLIPBOARD", &clipboard},
      {"TARGETS", &targets},
      {"TIMESTAMP", &timestamp},
      {"TEXT", &text},
      {"text/plain;charset=utf-8", &text_plain_utf8},
      {"CLIPBOARD_MANAGER", &clipboard_manager},
      {"SAVE_TARGETS", &save_targets},
      {"MULTIPLE", &multiple},
      {"HUEVEX_TRANSFER", &transfer},
      {"RESOURCE_MANAGER", &resource_manager},
  }};
  std::array<char*, entries.size()> names{};
  std::array<Atom, entries.size()> atoms{};
  for (size_t i = 0; i < entries.size(); ++i) names[i] = const_cast<char*>(entries[i].first);
  XInternAtoms(display, names.data(), static_cast<int>(names.size()), False, atoms.data());
  for (size_t i = 0; i < entries.size(); ++i) *entries[i].second = atoms[i];
}

}  // namespace huevex::x11
