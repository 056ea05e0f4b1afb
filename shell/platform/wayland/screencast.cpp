#include "shell/platform/wayland/screencast.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "shell/platform/wayland/pipewire_stream.h"
#include "shell/platform/wayland/portal_request.h"
#include "shell/platform/wayland/restore_token.h"

namespace huevex::wayland {
namespace {

constexpr const char* kScreenCast = "org.freedesktop.portal.ScreenCast";
constexpr const char* kSession = "org.freedesktop.portal.Session";

constexpr const char* kBusGone = "the connection to the desktop session's message bus was lost";
constexpr const char* kNoPortal = "the desktop portal is not running";
constexpr const char* kNoCast = "the desktop portal offers no screen cast";
constexpr const char* kRefused = "the desktop portal refused to share the screen";
constexpr const char* kCastFailed = "the desktop portal could not share the screen";
constexpr const char* kNoAnswer = "the desktop portal did not answer in time";
constexpr const char* kPortalGone = "the desktop portal stopped before it answered";
constexpr const char* kNoFrames = "the desktop's screen cast sends no pictures";
constexpr const char* kEnded = "the desktop stopped sharing the screen";

// The versions before 4 have no persistent sessions: the user would be asked
// at every pick.
constexpr std::uint32_t kLeastVersion = 4;
constexpr std::uint32_t kMonitor = 1, kCursorHidden = 1, kPersistUntilRevoked = 2;
// A portal answer slower than this may be the user's: the state says Asking.
constexpr std::int64_t kAskingNs = 300'000'000;
// A started stream must bring its first frame within this.
constexpr std::int64_t kFrameDeadlineNs = 3'000'000'000;
// The session outlives the wish this long, so that the next pick finds frames
// at once instead of a new session's few hundred milliseconds.
constexpr std::int64_t kWarmNs = 5'000'000'000;

enum class Step { None, Creating, Selecting, Starting, Opening, Streaming };

class Screencast final : public Source {
 public:
  Screencast(sd_bus* bus, std::uint32_t timeout_ms, bool fallback)
      : bus_(bus),
        timeout_ns_(std::int64_t{timeout_ms} * 1'000'000),
        fallback_allowed_(fallback),
        token_path_(RestoreTokenPath(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"))) {}
  ~Screencast() override;
  bool Start();

  const char* Kind() const override { return "screencast"; }
  int PollFds(pollfd* fds, int max) override;
  int TimeoutMs() override;
  void Dispatch() override;
  void SetWanted(bool wanted) override;
  ReadResult Read(Rect block, std::uint32_t* out, ReadInfo* info) override;
  State CurrentState() override;
  bool WantsFallback() const override { return fallback_allowed_ && fallback_; }

 private:
  static int OnOwnerChanged(sd_bus_message* signal, void* data, sd_bus_error*);
  static int OnStarted(sd_bus_message* reply, void* data, sd_bus_error*);
  static int OnProperties(sd_bus_message* reply, void* data, sd_bus_error*);
  static int OnCallReply(sd_bus_message* reply, void* data, sd_bus_error*);
  static int OnResponse(sd_bus_message* signal, void* data, sd_bus_error*);
  static int OnRemote(sd_bus_message* reply, void* data, sd_bus_error*);
  static int OnClosed(sd_bus_message* signal, void* data, sd_bus_error*);

  bool StartPortal();
  void Begin();
  // Calls method with the session (unless creating it), then fill's
  // arguments, then the options with our handle token and more's entries.
  template <typename More>
  void Call(const char* method, Step step, bool with_session, More more);
  // What a Response told, of the results we use.
  struct Results {
    std::optional<std::string> session, token;
    std::optional<std::vector<StreamPlace>> places;
  };
  void Answered(std::uint32_t response, Results results);
  void SelectSources();
  void OpenRemote();
  // The session ends; state says why when it ended on a failure.
  void End(State state, std::string_view why, bool fall_back = false);
  void BusFailed() {
    bus_failed_ = true;
    reason_ = kBusGone;
    End(State::Failed, kBusGone);
  }

  sd_bus* bus_;
  std::int64_t timeout_ns_;
  bool fallback_allowed_;
  std::string token_path_;
  Slot owner_match_, start_call_, props_call_, closed_match_;
  bool bus_failed_ = false, started_ = false, props_known_ = false;
  bool available_ = false, cursor_hidden_ = false;
  bool wanted_ = false, fallback_ = false;

  Step step_ = Step::None;
  PortalRequest request_;
  std::int64_t sent_ns_ = 0;
  bool late_ = false;        // the answer is past our deadline, still taken if it comes
  bool asked_once_ = false;  // Start went out with no token: the desktop asks
  std::string session_;
  std::int64_t frame_deadline_ns_ = 0, warm_until_ns_ = 0;
  std::vector<StreamPlace> places_;  // from Start's answer
  std::unique_ptr<PipeWireCast> cast_;
  State outcome_ = State::Idle;  // Refused or Failed until wanted again
};

Screencast::~Screencast() {
  End(State::Idle, "");
  owner_match_.reset();
  start_call_.reset();
  props_call_.reset();
  sd_bus_flush(bus_);
  sd_bus_close_unref(bus_);
}

bool Screencast::Start() {
  sd_bus_slot* slot = nullptr;
  const int r = sd_bus_add_match_async(
      bus_, &slot,
      "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
      "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
      "arg0='org.freedesktop.portal.Desktop'",
      OnOwnerChanged, nullptr, this);
  owner_match_.reset(slot);
  return r >= 0 && StartPortal();
}

bool Screencast::StartPortal() {
  // As for the screenshot: a portal still being started may leave calls
  // unanswered, so the bus starts it first.
  sd_bus_slot* slot = nullptr;
  const int r = sd_bus_call_method_async(
      bus_, &slot, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
      "StartServiceByName", OnStarted, this, "su", kPortalService, 0u);
  start_call_.reset(slot);
  return r >= 0 && sd_bus_flush(bus_) >= 0;
}

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
  const char *name = nullptr, *old_owner = nullptr, *new_owner = nullptr;
  if (sd_bus_message_read(signal, "sss", &name, &old_owner, &new_owner) < 0) return 0;
  if (!new_owner || *new_owner) return 0;
  self->started_ = self->props_known_ = false;
  if (self->step_ != Step::None) self->End(State::Failed, kPortalGone);
  return 0;
}

void Screencast::SetWanted(bool wanted) {
  if (wanted && !wanted_) {
    warm_until_ns_ = 0;
    if (outcome_ == State::Failed || outcome_ == State::Refused) outcome_ = State::Idle;
    if (step_ == Step::None && !bus_failed_) {
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

void Screencast::Begin() {
  if (!available_) {
    End(State::Failed, kNoCast, true);
    return;
  }
  outcome_ = State::Idle;
  const std::string session_token = NewToken();
  session_ = PortalPath(bus_, "session", session_token);
  Call("CreateSession", Step::Creating, false, [&](sd_bus_message* m) {
    return sd_bus_message_append(m, "{sv}", "session_handle_token", "s", session_token.c_str());
  });
}

template <typename More>
void Screencast::Call(const char* method, Step step, bool with_session, More more) {
  sd_bus_message* m = nullptr;
  if (!request_.Subscribe(bus_, OnResponse, this) ||
      sd_bus_message_new_method_call(bus_, &m, kPortalService, kPortalObject, kScreenCast, method) <
          0) {
    BusFailed();
    return;
  }
  int r = with_session ? sd_bus_message_append(m, "o", session_.c_str()) : 0;
  if (r >= 0 && step == Step::Starting) r = sd_bus_message_append(m, "s", "");
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
  const Step step = step_;
  // Start's 2 after the user was asked is how some desktops say no.
  const bool asked =
      step == Step::Starting && (asked_once_ || late_ || MonotonicNs() - sent_ns_ >= kAskingNs);
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
  if (step == Step::Creating) {
    if (results.session) session_ = *results.session;
    SelectSources();
  } else if (step == Step::Selecting) {
    Call("Start", Step::Starting, true, [](sd_bus_message*) { return 0; });
  } else if (step == Step::Starting) {
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
  Call("SelectSources", Step::Selecting, true, [&](sd_bus_message* m) {
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
  step_ = Step::Opening;
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
  self->step_ = Step::Streaming;
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

void Screencast::End(State state, std::string_view why, bool fall_back) {
  if (request_.Out() && !request_.Handle().empty()) {
    sd_bus_call_method_async(bus_, nullptr, kPortalService, request_.Handle().c_str(),
                             kPortalRequest, "Close", nullptr, nullptr, "");
  }
  if (!session_.empty() && step_ != Step::None) {
    // Closing the session takes down the desktop's "screen is shared" sign.
    sd_bus_call_method_async(bus_, nullptr, kPortalService, session_.c_str(), kSession, "Close",
                             nullptr, nullptr, "");
  }
  request_.Reset();
  closed_match_.reset();
  cast_.reset();
  places_.clear();
  session_.clear();
  step_ = Step::None;
  if (state == State::Failed || state == State::Refused) {
    outcome_ = state;
    reason_ = why;
  }
  if (fall_back) fallback_ = true;
}

int Screencast::PollFds(pollfd* fds, int max) {
  int n = 0;
  const int events = bus_failed_ ? -1 : sd_bus_get_events(bus_);
  if (events >= 0 && n < max) fds[n++] = {sd_bus_get_fd(bus_), static_cast<short>(events), 0};
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
    if (step_ == Step::Starting && now < sent_ns_ + kAskingNs) at(sent_ns_ + kAskingNs);
  }
  if ((step_ == Step::Opening || step_ == Step::Streaming) && !(cast_ && cast_->AllFramed())) {
    at(frame_deadline_ns_);
  }
  if (!wanted_ && step_ != Step::None) at(warm_until_ns_);
  std::uint64_t bus_usec = 0;  // sd-bus's own deadline, for its calls' replies
  if (sd_bus_get_timeout(bus_, &bus_usec) > 0 && bus_usec != UINT64_MAX) {
    at(static_cast<std::int64_t>(bus_usec) * 1000);
  }
  return until == INT64_MAX ? -1 : static_cast<int>((until + 999'999) / 1'000'000);
}

void Screencast::Dispatch() {
  if (bus_failed_) return;
  for (;;) {
    const int r = sd_bus_process(bus_, nullptr);
    if (r < 0) {
      BusFailed();
      return;
    }
    if (r == 0) break;
  }
  if (cast_) {
    cast_->Iterate();
    if (!cast_->Failure().empty()) End(State::Failed, std::string(cast_->Failure()), true);
  }
  const std::int64_t now = MonotonicNs();
  if ((step_ == Step::Opening || step_ == Step::Streaming) && !(cast_ && cast_->AllFramed()) &&
      now >= frame_deadline_ns_) {
    End(State::Failed, kNoFrames, true);
  }
  if (request_.Out() && !late_ && now - sent_ns_ >= timeout_ns_) {
    // Not closed: that would take the desktop's question away. A late
    // answer is still taken; meanwhile the user hears that none came.
    late_ = true;
    outcome_ = State::Failed;
    reason_ = kNoAnswer;
  }
  if (!wanted_ && step_ != Step::None && !request_.Out() && now >= warm_until_ns_) {
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
  if (request_.Out() && step_ == Step::Starting &&
      (asked_once_ || MonotonicNs() - sent_ns_ >= kAskingNs)) {
    return State::Asking;
  }
  return cast_ && cast_->AllFramed() ? State::Live : State::Waiting;
}

}  // namespace

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
