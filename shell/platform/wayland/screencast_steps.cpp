// The screen cast's conversation with the portal: CreateSession, then
// SelectSources (every monitor, no pointer, persistent, with the kept restore
// token), then Start (where the desktop may ask the user), whose answer names
// the streams and a new token, then OpenPipeWireRemote for the connection.
// Each request's answer comes as a Response signal (portal_request.h).
#include <fcntl.h>

#include "shell/platform/wayland/screencast_source.h"

namespace huevex::wayland {

void Screencast::Begin() {
  if (!available_) {
    End(State::Failed, kNoCast, true);
    return;
  }
  outcome_ = State::Idle;
  const std::string session_token = NewToken();
  session_ = PortalPath(bus_, "session", session_token);
  Call("CreateSession", CastStep::Creating, false, [&](sd_bus_message* m) {
    return sd_bus_message_append(m, "{sv}", "session_handle_token", "s", session_token.c_str());
  });
}

template <typename More>
void Screencast::Call(const char* method, CastStep step, bool with_session, More more) {
  sd_bus_message* m = nullptr;
  if (!request_.Subscribe(bus_, OnResponse, this) ||
      sd_bus_message_new_method_call(bus_, &m, kPortalService, kPortalObject, kScreenCast, method) <
          0) {
    BusFailed();
    return;
  }
  int r = with_session ? sd_bus_message_append(m, "o", session_.c_str()) : 0;
  if (r >= 0 && step == CastStep::Starting) r = sd_bus_message_append(m, "s", "");
  if (r >= 0) r = sd_bus_message_open_container(m, 'a', "{sv}");
  if (r >= 0) r = sd_bus_message_append(m, "{sv}", "handle_token", "s", request_.Token().c_str());
  if (r >= 0) r = more(m);
  if (r >= 0) r = sd_bus_message_close_container(m);
  sd_bus_slot* slot = nullptr;
  if (r >= 0) r = sd_bus_call_async(bus_, &slot, m, OnCallReply, this, 0);
  sd_bus_message_unref(m);
  request_.call.reset(slot);
  if (r < 0 || sd_bus_flush(bus_) < 0) {
    BusFailed();
    return;
  }
  step_ = step;
  sent_ns_ = MonotonicNs();
  late_ = false;
}

int Screencast::OnCallReply(sd_bus_message* reply, void* data, sd_bus_error*) {
  auto* self = static_cast<Screencast*>(data);
  self->request_.call.reset();
  if (sd_bus_message_is_method_error(reply, nullptr)) {
    const sd_bus_error* error = sd_bus_message_get_error(reply);
    const bool missing =
        sd_bus_error_has_names(error, SD_BUS_ERROR_UNKNOWN_METHOD, SD_BUS_ERROR_UNKNOWN_INTERFACE,
                               SD_BUS_ERROR_UNKNOWN_OBJECT);
    self->End(State::Failed, missing ? kNoCast : kCastFailed, missing);
  } else if (!self->request_.Follow(self->bus_, reply, OnResponse, self)) {
    self->BusFailed();
  }
  return 0;
}

int Screencast::OnResponse(sd_bus_message* signal, void* data, sd_bus_error*) {
  auto* self = static_cast<Screencast*>(data);
  std::uint32_t response = 2;
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
    self->End(State::Failed, kCastFailed, true);
  }
  return 0;
}

void Screencast::Answered(std::uint32_t response, Results results) {
  const CastStep step = step_;
  // Start's 2 after the user was asked is how some desktops say no.
  const bool asked =
      step == CastStep::Starting && (asked_once_ || late_ || MonotonicNs() - sent_ns_ >= kAskingNs);
  request_.Reset();
  if (response == 1 || (response == 2 && asked)) {
    End(State::Refused, kRefused, true);
    return;
  }
  if (response != 0) {
    End(State::Failed, kCastFailed, true);
    return;
  }
  outcome_ = State::Idle;  // a late answer makes good its "no answer"
  if (step == CastStep::Creating) {
    if (results.session) session_ = *results.session;
    SelectSources();
  } else if (step == CastStep::Selecting) {
    Call("Start", CastStep::Starting, true, [](sd_bus_message*) { return 0; });
  } else if (step == CastStep::Starting) {
    if (results.token && LoadRestoreToken(token_path_) != results.token) {
      SaveRestoreToken(token_path_, *results.token);
    }
    if (!results.places || results.places->empty()) {
      End(State::Failed, kCastFailed, true);
      return;
    }
    places_ = std::move(*results.places);
    OpenRemote();
  }
}

void Screencast::SelectSources() {
  sd_bus_slot* slot = nullptr;
  sd_bus_match_signal_async(bus_, &slot, nullptr, session_.c_str(), kSession, "Closed", OnClosed,
                            nullptr, this);
  closed_match_.reset(slot);
  const std::optional<std::string> token = LoadRestoreToken(token_path_);
  asked_once_ = !token;
  const bool hidden = cursor_hidden_;
  Call("SelectSources", CastStep::Selecting, true, [&](sd_bus_message* m) {
    int r = sd_bus_message_append(m, "{sv}{sv}{sv}", "types", "u", kMonitor, "multiple", "b", 1,
                                  "persist_mode", "u", kPersistUntilRevoked);
    if (r >= 0 && hidden) r = sd_bus_message_append(m, "{sv}", "cursor_mode", "u", kCursorHidden);
    if (r >= 0 && token) r = sd_bus_message_append(m, "{sv}", "restore_token", "s", token->c_str());
    return r;
  });
}

void Screencast::OpenRemote() {
  sd_bus_slot* slot = nullptr;
  if (sd_bus_call_method_async(bus_, &slot, kPortalService, kPortalObject, kScreenCast,
                               "OpenPipeWireRemote", OnRemote, this, "oa{sv}", session_.c_str(),
                               0) < 0) {
    BusFailed();
    return;
  }
  request_.call.reset(slot);
  step_ = CastStep::Opening;
  frame_deadline_ns_ = MonotonicNs() + kFrameDeadlineNs;
}

int Screencast::OnRemote(sd_bus_message* reply, void* data, sd_bus_error*) {
  auto* self = static_cast<Screencast*>(data);
  self->request_.call.reset();
  int fd = -1;
  if (sd_bus_message_is_method_error(reply, nullptr) || sd_bus_message_read(reply, "h", &fd) < 0) {
    self->End(State::Failed, kCastFailed, true);
    return 0;
  }
  // The message owns its descriptor; the connection gets one of its own.
  const int own = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  std::string why;
  if (own >= 0) self->cast_ = PipeWireCast::Connect(own, self->places_, &why);
  if (!self->cast_) {
    self->End(State::Failed, why.empty() ? kCastFailed : why, true);
    return 0;
  }
  self->step_ = CastStep::Streaming;
  return 0;
}

int Screencast::OnClosed(sd_bus_message*, void* data, sd_bus_error*) {
  auto* self = static_cast<Screencast*>(data);
  self->session_.clear();  // closed already
  if (self->wanted_) {
    self->End(State::Failed, kEnded);
  } else {
    self->End(State::Idle, "");
  }
  return 0;
}

}  // namespace huevex::wayland
