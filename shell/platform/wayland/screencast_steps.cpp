// The screen cast's conversation with the portal: CreateSession, then
// SelectSources (every monitor, no pointer, persistent, with the kept restore
// token), then Start (where the desktop may ask the user), whose answer names
// the streams and a new token, then OpenPipeWireRemote for the connection.
// Each request's answer comes as a Response signal (portal_request.h).
#include <fcntl.h>

#include "shell/platform/wayland/screencast_source.h"

namespace huevex::wayland {

void Screencast::Begin() {
  if (!offer_->Usable()) {
    End(CastPhase::Failed, kNoCast, true);
    return;
  }
  const std::string session_token = NewToken();
  session_ = PortalPath(bus_.get(), "session", session_token);
  Call("CreateSession", CastPhase::Creating, false, [&](sd_bus_message* m) {
    return sd_bus_message_append(m, "{sv}", "session_handle_token", "s", session_token.c_str());
  });
}

template <typename More>
void Screencast::Call(const char* method, CastPhase step, bool with_session, More more) {
  const auto args = [&](sd_bus_message* m) {
    int r = with_session ? sd_bus_message_append(m, "o", session_.c_str()) : 0;
    if (r >= 0 && step == CastPhase::Starting) r = sd_bus_message_append(m, "s", "");
    return r;
  };
  if (!SendRequest(bus_.get(), &request_, kScreenCast, method, args, more, OnCallReply, OnResponse,
                   this)) {
    BusFailed();
    return;
  }
  phase_ = step;
  wait_.Start(MonotonicNs());
}

int Screencast::OnCallReply(sd_bus_message* reply, void* data, sd_bus_error*) {
  auto* self = static_cast<Screencast*>(data);
  self->request_.call.reset();
  if (sd_bus_message_is_method_error(reply, nullptr)) {
    const bool missing = ClassOf(sd_bus_message_get_error(reply)) == CallError::Missing;
    self->End(CastPhase::Failed, missing ? kNoCast : kCastFailed, missing);
  } else if (!self->request_.Follow(self->bus_.get(), reply, OnResponse, self)) {
    self->BusFailed();
  }
  return 0;
}

int Screencast::OnResponse(sd_bus_message* signal, void* data, sd_bus_error*) {
  auto* self = static_cast<Screencast*>(data);
  Response response = Response::Other;
  Results results;
  const bool read = ReadResponse(signal, &response, [&](std::string_view key, sd_bus_message* m) {
    if (key == "session_handle") return (results.session = ReadStringVariant(m)).has_value();
    if (key == "restore_token") return (results.token = ReadStringVariant(m)).has_value();
    if (key == "streams") return (results.places = ReadStreamPlaces(m)).has_value();
    return false;
  });
  if (read) {
    self->Answered(response, std::move(results));
  } else {
    self->End(CastPhase::Failed, kCastFailed, true);
  }
  return 0;
}

void Screencast::Answered(Response response, Results results) {
  const CastPhase step = phase_;
  // Other after the user was asked is how some desktops say no.
  const bool asked = step == CastPhase::Starting &&
                     (asked_once_ || wait_.Late() || MonotonicNs() - wait_.StartNs() >= kAskingNs);
  request_.Reset();
  if (response == Response::Cancelled || (response == Response::Other && asked)) {
    End(CastPhase::Refused, kRefused, true);
    return;
  }
  if (response != Response::Success) {
    End(CastPhase::Failed, kCastFailed, true);
    return;
  }
  if (step == CastPhase::Creating) {
    if (results.session) session_ = *results.session;
    SelectSources();
  } else if (step == CastPhase::Selecting) {
    Call("Start", CastPhase::Starting, true, [](sd_bus_message*) { return 0; });
  } else if (step == CastPhase::Starting) {
    if (results.token && LoadRestoreToken(token_path_) != results.token) {
      SaveRestoreToken(token_path_, *results.token);
    }
    if (!results.places || results.places->empty()) {
      End(CastPhase::Failed, kCastFailed, true);
      return;
    }
    places_ = std::move(*results.places);
    OpenRemote();
  }
}

void Screencast::SelectSources() {
  sd_bus_slot* slot = nullptr;
  sd_bus_match_signal_async(bus_.get(), &slot, nullptr, session_.c_str(), kSession, "Closed",
                            OnClosed, nullptr, this);
  closed_match_.reset(slot);
  const std::optional<std::string> token = LoadRestoreToken(token_path_);
  asked_once_ = !token;
  const bool hidden = offer_->HidesCursor();
  Call("SelectSources", CastPhase::Selecting, true, [&](sd_bus_message* m) {
    int r = sd_bus_message_append(m, "{sv}{sv}{sv}", "types", "u", kMonitor, "multiple", "b", 1,
                                  "persist_mode", "u", kPersistUntilRevoked);
    if (r >= 0 && hidden) r = sd_bus_message_append(m, "{sv}", "cursor_mode", "u", kCursorHidden);
    if (r >= 0 && token) r = sd_bus_message_append(m, "{sv}", "restore_token", "s", token->c_str());
    return r;
  });
}

void Screencast::OpenRemote() {
  sd_bus_slot* slot = nullptr;
  if (sd_bus_call_method_async(bus_.get(), &slot, kPortalService, kPortalObject, kScreenCast,
                               "OpenPipeWireRemote", OnRemote, this, "oa{sv}", session_.c_str(),
                               0) < 0) {
    BusFailed();
    return;
  }
  request_.call.reset(slot);
  phase_ = CastPhase::Opening;
  frame_deadline_ns_ = MonotonicNs() + kFrameDeadlineNs;
}

int Screencast::OnRemote(sd_bus_message* reply, void* data, sd_bus_error*) {
  auto* self = static_cast<Screencast*>(data);
  self->request_.call.reset();
  int fd = -1;
  if (sd_bus_message_is_method_error(reply, nullptr) || sd_bus_message_read(reply, "h", &fd) < 0) {
    self->End(CastPhase::Failed, kCastFailed, true);
    return 0;
  }
  // The message owns its descriptor; the connection gets one of its own.
  const int own = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  std::string why;
  if (own >= 0) self->cast_ = PipeWireCast::Connect(own, self->places_, &why);
  if (!self->cast_) {
    self->End(CastPhase::Failed, why.empty() ? kCastFailed : why, true);
    return 0;
  }
  self->phase_ = CastPhase::Streaming;
  return 0;
}

int Screencast::OnClosed(sd_bus_message*, void* data, sd_bus_error*) {
  auto* self = static_cast<Screencast*>(data);
  self->session_.clear();  // closed already
  if (self->wanted_) {
    self->End(CastPhase::Failed, kEnded);
  } else {
    self->End(CastPhase::Closed, "");
  }
  return 0;
}

}  // namespace huevex::wayland
