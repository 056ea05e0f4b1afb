#include "shell/platform/wayland/screencast.h"

#include "shell/platform/wayland/screencast_source.h"

namespace huevex::wayland {

void Screencast::PortalStarted() {
  sd_bus_slot* slot = nullptr;
  if (sd_bus_call_method_async(bus_.get(), &slot, kPortalService, kPortalObject,
                               "org.freedesktop.DBus.Properties", "GetAll", OnProperties, this, "s",
                               kScreenCast) < 0) {
    BusFailed();
  }
  props_call_.reset(slot);
}

int Screencast::OnProperties(sd_bus_message* reply, void* data, sd_bus_error*) {
  auto* self = static_cast<Screencast*>(data);
  self->props_call_.reset();
  CastOffer offer;
  if (sd_bus_message_is_method_error(reply, nullptr)) {
    if (ClassOf(sd_bus_message_get_error(reply)) == CallError::NotRunning) {
      self->name_.Stopped();  // not for good: the next wish starts it again
      self->End(CastPhase::Failed, kNoPortal);
      return 0;
    }
  } else if (sd_bus_message_enter_container(reply, 'a', "{sv}") >= 0) {
    while (sd_bus_message_enter_container(reply, 'e', "sv") > 0) {
      const char* key = nullptr;
      sd_bus_message_read(reply, "s", &key);
      const std::string_view k = key ? key : "";
      if (k == "version") {
        sd_bus_message_read(reply, "v", "u", &offer.version);
      } else if (k == "AvailableCursorModes") {
        sd_bus_message_read(reply, "v", "u", &offer.cursor_modes);
      } else {
        sd_bus_message_skip(reply, "v");
      }
      sd_bus_message_exit_container(reply);
    }
  }
  self->offer_ = offer;
  if (!offer.Usable()) {
    self->End(CastPhase::Failed, kNoCast, true);
  } else if (self->wanted_) {
    self->Begin();
  }
  return 0;
}

void Screencast::PortalLost() {
  offer_.reset();
  if (InSession()) End(CastPhase::Failed, kPortalGone);
}

void Screencast::SetWanted(bool wanted) {
  if (wanted && !wanted_) {
    warm_until_ns_ = 0;
    if (phase_ == CastPhase::Refused || phase_ == CastPhase::Failed) End(CastPhase::Closed, "");
    if (phase_ == CastPhase::Closed) {
      if (offer_) {
        Begin();
      } else if (!props_call_ && !name_.Start()) {
        BusFailed();
      }
    }
  } else if (!wanted && wanted_) {
    warm_until_ns_ = MonotonicNs() + kWarmNs;
  }
  wanted_ = wanted;
}

void Screencast::End(CastPhase phase, std::string_view why, bool fall_back) {
  request_.Withdraw(bus_.get());
  if (!session_.empty() && InSession()) CloseSession(bus_.get(), session_);
  closed_match_.reset();
  cast_.reset();
  places_.clear();
  session_.clear();
  if (fall_back) fallback_ = true;
  if (phase_ == CastPhase::BusLost) return;  // for good
  phase_ = phase;
  reason_ = why;
}

int Screencast::PollFds(pollfd* fds, int max) {
  int n = phase_ == CastPhase::BusLost ? 0 : PutBusPollFd(bus_.get(), fds, max);
  if (cast_ && cast_->Fd() >= 0 && n < max) fds[n++] = {cast_->Fd(), POLLIN, 0};
  return n;
}

int Screencast::TimeoutMs() {
  if (phase_ == CastPhase::BusLost) return -1;
  NextWake wake(MonotonicNs());
  if (request_.Out()) wake.At(wait_.EndNs());
  if (AwaitsFrames()) wake.At(frame_deadline_ns_);
  if (!wanted_ && InSession()) wake.At(warm_until_ns_);
  wake.At(BusDeadlineNs(bus_.get()));
  return wake.Ms();
}

void Screencast::Dispatch() {
  if (phase_ == CastPhase::BusLost) return;
  if (!ProcessBus(bus_.get())) {
    BusFailed();
    return;
  }
  if (cast_) {
    cast_->Iterate();
    if (!cast_->Failure().empty()) End(CastPhase::Failed, std::string(cast_->Failure()), true);
  }
  const std::int64_t now = MonotonicNs();
  if (AwaitsFrames() && now >= frame_deadline_ns_) End(CastPhase::Failed, kNoFrames, true);
  // Past our wait the request is not closed: that would take the desktop's
  // question away. A late answer is still taken; meanwhile the user hears
  // the question is open.
  if (request_.Out()) wait_.Check(now);
  if (!wanted_ && InSession() && !request_.Out() && now >= warm_until_ns_) {
    End(CastPhase::Closed, "");
  }
  if (sd_bus_flush(bus_.get()) < 0) BusFailed();
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
  if (phase_ == CastPhase::Refused) return State::Refused;
  if (phase_ == CastPhase::Failed || phase_ == CastPhase::BusLost) return State::Failed;
  if (!wanted_) return State::Idle;
  if (cast_ && cast_->AllFramed()) return State::Live;
  if (request_.Out() && wait_.Late()) return State::StillAsking;
  // Until the desktop has answered (it may be asking the user) and the
  // stream's first picture has come, each within its deadline, a release
  // waits: the screen may still be read, here or through the screenshot.
  return State::Asking;
}

std::unique_ptr<Source> OpenScreencast(std::uint32_t timeout_ms, bool fallback, std::string* why) {
  return OpenOnSessionBus<Screencast>(why, timeout_ms, fallback);
}

}  // namespace huevex::wayland
