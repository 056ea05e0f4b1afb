// A record of platform calls, kept by the simulated desktop so that tests can
// check their order and pairing. Backends that log take a pointer that may be null.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace huevex {

// A handle as the log writes it: 0x1f0.
inline std::string HandleText(std::uintptr_t handle) {
  char text[24];
  std::snprintf(text, sizeof text, "%#llx", static_cast<unsigned long long>(handle));
  return text;
}

template <typename Handle>
std::string HandleText(Handle handle) {
  return HandleText(static_cast<std::uintptr_t>(handle));
}

class CallLog {
 public:
  void Add(std::string entry) {
    if (enabled_) entries_.push_back(std::move(entry));
  }
  void Enable(bool on) { enabled_ = on; }
  bool Enabled() const { return enabled_; }
  void Clear() { entries_.clear(); }
  const std::vector<std::string>& Entries() const { return entries_; }

  // How many entries start with the given call name ("GetDC", "KeepOnTop(").
  int Count(std::string_view prefix) const {
    return static_cast<int>(
        std::count_if(entries_.begin(), entries_.end(),
                      [&](const std::string& e) { return e.starts_with(prefix); }));
  }

 private:
  bool enabled_ = true;
  std::vector<std::string> entries_;
};

}  // namespace huevex
