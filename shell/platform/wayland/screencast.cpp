#include "shell/platform/wayland/screencast.h"

#include <algorithm>
#include <cstdlib>

#include "shell/platform/wayland/screencast_source.h"

namespace huevex::wayland {

Screencast::~Screencast() {
  End(State::Idle, "");
  owner_match_.reset();
  start_call_.reset();
  props_call_.reset();
  sd_bus_flush(bus_);
  sd_bus_close_unref(bus_);
}

bool Screencast::Start() {
  return WatchPortalName(bus_, &owner_match_, OnOwnerChanged, this) && StartPortal();
}

bool Screencast::StartPortal() { return StartPortalService(bus_, &start_call_, OnStarted, this); }

int Screencast::OnStarted(sd_bus_message*, void* data, sd_bus_error*) {
  auto* self = static_cast<Screencast*>(data);
  self->start_call_.reset();
  self->started_ = true;
  sd_bus_slot* slot = nullptr;
  if (sd_bus_call_method_async(self->bus_, &slot, kPortalService, kPortalObject,
                               "org.freedesktop.DBus.Properties", "GetAll", OnProperties, self, "s",
                               kScreenCast) < 0) {
    self->BusFailed();
  }
  self->props_call_.reset(slot);
  return 0;
}

int Screencast::OnProperties(sd_bus_message* reply, void* data, sd_bus_error*) {
  auto* self = static_cast<Screencast*>(data);
  self->props_call_.reset();
  std::uint32_t version = 0, cursors = 0;
  if (sd_bus_message_is_method_error(reply, nullptr)) {
    const sd_bus_error* error = sd_bus_message_get_error(reply);
    if (sd_bus_error_has_names(error, SD_BUS_ERROR_SERVICE_UNKNOWN, SD_BUS_ERROR_NAME_HAS_NO_OWNER,
                               SD_BUS_ERROR_NO_REPLY, SD_BUS_ERROR_TIMEOUT)) {
      self->started_ = false;  // not for good: the next wish starts it again
      self->End(State::Failed, kNoPortal);
      return 0;
    }
  } else if (sd_bus_message_enter_container(reply, 'a', "{sv}") >= 0) {
    while (sd_bus_message_enter_container(reply, 'e', "sv") > 0) {
      const char* key = nullptr;
      sd_bus_message_read(reply, "s", &key);
      const std::string_view k = key ? key : "";
      if (k == "version") {
        sd_bus_message_read(reply, "v", "u", &version);
      } else if (k == "AvailableCursorModes") {
        sd_bus_message_read(reply, "v", "u", &cursors);
      } else {
        sd_bus_message_skip(reply, "v");
      }
      sd_bus_message_exit_container(reply);
    }
  }
  self->props_known_ = true;
  self->available_ = version >= kLeastVersion;
  self->cursor_hidden_ = (cursors & kCursorHidden) != 0;
  if (!self->available_) {
    self->End(State::Failed, kNoCast, true);
  } else if (self->wanted_) {
    self->Begin();
  }
  return 0;
}

int Screencast::OnOwnerChanged(sd_bus_message* signal, void* data, sd_bus_error*) {
  auto* self = static_cast<Screencast*>(data);
  if (!PortalNameLost(signal)) return 0;
  self->started_ = self->props_known_ = false;
  if (self->step_ != CastStep::None) self->End(State::Failed, kPortalGone);
  return 0;
}

void Screencast::SetWanted(bool wanted) {
  if (wanted && !wanted_) {
    warm_until_ns_ = 0;
    if (outcome_ == State::Failed || outcome_ == State::Refused) outcome_ = State::Idle;
    if (step_ == CastStep::None && !bus_failed_) {
      if (props_known_) {
        Begin();
      } else if (!started_ && !start_call_ && !props_call_ && !StartPortal()) {
        BusFailed();
      }
    }
  } else if (!wanted && wanted_) {
    warm_until_ns_ = MonotonicNs() + kWarmNs;
  }
  wanted_ = wanted;
}

void Screencast::End(State state, std::string_view why, bool fall_back) {
  if (request_.Out() && !request_.Handle().empty()) {
    sd_bus_call_method_async(bus_, nullptr, kPortalService, request_.Handle().c_str(),
                             kPortalRequest, "Close", nullptr, nullptr, "");
  }
  if (!session_.empty() && step_ != CastStep::None) {
    // Closing the session takes down the desktop's "screen is shared" sign.
    sd_bus_call_method_async(bus_, nullptr, kPortalService, session_.c_str(), kSession, "Close",
                             nullptr, nullptr, "");
  }
  request_.Reset();
  closed_match_.reset();
  cast_.reset();
  places_.clear();
  session_.clear();
  step_ = CastStep::None;
  if (state == State::Failed || state == State::Refused) {
    outcome_ = state;
    reason_ = why;
  }
  if (fall_back) fallback_ = true;
}

int Screencast::PollFds(pollfd* fds, int max) {
  int n = 0;
  if (const std::optional<pollfd> bus = bus_failed_ ? std::nullopt : BusPollFd(bus_);
      bus && n < max) {
    fds[n++] = *bus;
  }
  if (cast_ && cast_->Fd() >= 0 && n < max) fds[n++] = {cast_->Fd(), POLLIN, 0};
  return n;
}

int Screencast::TimeoutMs() {
  if (bus_failed_) return -1;
  const std::int64_t now = MonotonicNs();
  std::int64_t until = INT64_MAX;
  auto at = [&](std::int64_t when) {
    until = std::min(until, std::max<std::int64_t>(when - now, 0));
  };
  if (request_.Out() && !late_) {
    at(sent_ns_ + timeout_ns_);
  }
  if ((step_ == CastStep::Opening || step_ == CastStep::Streaming) &&
      !(cast_ && cast_->AllFramed())) {
    at(frame_deadline_ns_);
  }
  if (!wanted_ && step_ != CastStep::None) at(warm_until_ns_);
  if (const std::optional<std::int64_t> bus = BusDeadlineNs(bus_)) at(*bus);
  return until == INT64_MAX ? -1 : static_cast<int>((until + 999'999) / 1'000'000);
}

void Screencast::Dispatch() {
  if (bus_failed_) return;
  if (!ProcessBus(bus_)) {
    BusFailed();
    return;
  }
  if (cast_) {
    cast_->Iterate();
    if (!cast_->Failure().empty()) End(State::Failed, std::string(cast_->Failure()), true);
  }
  const std::int64_t now = MonotonicNs();
  if ((step_ == CastStep::Opening || step_ == CastStep::Streaming) &&
      !(cast_ && cast_->AllFramed()) && now >= frame_deadline_ns_) {
    End(State::Failed, kNoFrames, true);
  }
  if (request_.Out() && !late_ && now - sent_ns_ >= timeout_ns_) {
    // Not closed: that would take the desktop's question away. A late
    // answer is still taken; meanwhile the user hears the question is open.
    late_ = true;
  }
  if (!wanted_ && step_ != CastStep::None && !request_.Out() && now >= warm_until_ns_) {
    End(State::Idle, "");
  }
  if (sd_bus_flush(bus_) < 0) BusFailed();
}

ReadResult Screencast::Read(Rect block, std::uint32_t* out, ReadInfo* info) {
  const State state = CurrentState();
  if (state == State::Failed || state == State::Refused) return ReadResult::Failed;
  std::int64_t oldest = 0;
  if (!cast_ || !ReadStreams(cast_->Frames(), block, out, &oldest)) return ReadResult::NoFrame;
  if (info) *info = {oldest, false};
  return ReadResult::Ok;
}

State Screencast::CurrentState() {
  if (bus_failed_) return State::Failed;
  if (outcome_ == State::Failed || outcome_ == State::Refused) return outcome_;
  if (!wanted_) return State::Idle;
  if (cast_ && cast_->AllFramed()) return State::Live;
  if (request_.Out() && late_) return State::StillAsking;
  // Until the desktop has answered (it may be asking the user) and the
  // stream's first picture has come, each within its deadline, a release
  // waits: the screen may still be read, here or through the screenshot.
  return State::Asking;
}

std::unique_ptr<Source> OpenScreencast(std::uint32_t timeout_ms, bool fallback, std::string* why) {
  sd_bus* bus = nullptr;
  if (sd_bus_open_user(&bus) < 0) {
    *why = "the desktop session's message bus could not be reached";
    return nullptr;
  }
  auto cast = std::make_unique<Screencast>(bus, timeout_ms ? timeout_ms : 25'000, fallback);
  if (!cast->Start()) {
    *why = kBusGone;
    return nullptr;
  }
  return cast;
}

}  // namespace huevex::wayland
