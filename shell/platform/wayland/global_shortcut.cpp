#include "shell/platform/wayland/global_shortcut.h"

#include <systemd/sd-bus.h>

#include <optional>
#include <utility>

#include "shell/platform/wayland/portal_request.h"

namespace huevex::wayland {
namespace {

constexpr const char* kGlobalShortcuts = "org.freedesktop.portal.GlobalShortcuts";
constexpr const char* kShortcutId = "pick";
constexpr const char* kDescription = "Pick a color with HUEVEX";
// The same in every run: a desktop names the shortcut's entry in its
// settings after the session's token where the program has no application
// id (KDE does, for a program outside a sandbox), so that keys the user
// gives it there hold in the next run.
constexpr const char* kSessionToken = "huevex";

constexpr const char* kNotBound = "the desktop portal bound no shortcut";
constexpr const char* kShortcutRefused = "the desktop refused it";
constexpr const char* kBindFailed = "the desktop portal could not bind it";
constexpr const char* kShortcutEnded = "the desktop ended it";

// Whether a BindShortcuts answer's "shortcuts", a(sa{sv}), holds ours; none
// when malformed.
std::optional<bool> HoldsOurs(sd_bus_message* m) {
  if (sd_bus_message_enter_container(m, 'v', "a(sa{sv})") < 0 ||
      sd_bus_message_enter_container(m, 'a', "(sa{sv})") < 0) {
    return std::nullopt;
  }
  bool ours = false;
  while (sd_bus_message_enter_container(m, 'r', "sa{sv}") > 0) {
    const char* id = nullptr;
    if (sd_bus_message_read(m, "s", &id) < 0 || sd_bus_message_skip(m, "a{sv}") < 0 ||
        sd_bus_message_exit_container(m) < 0) {
      return std::nullopt;
    }
    ours = ours || (id && std::string_view(id) == kShortcutId);
  }
  if (sd_bus_message_exit_container(m) < 0 || sd_bus_message_exit_container(m) < 0) {
    return std::nullopt;
  }
  return ours;
}

class PortalShortcut final : public GlobalShortcut, PortalName::Listener {
 public:
  PortalShortcut(Bus bus, std::string trigger)
      : bus_(std::move(bus)), trigger_(std::move(trigger)) {}
  ~PortalShortcut() override { End(Phase::Failed, ""); }
  bool Start() { return name_.Watch(bus_.get(), this); }

  int PollFds(pollfd* fds, int max) override;
  int TimeoutMs() override;
  void Dispatch() override;
  int TakePresses() override { return std::exchange(presses_, 0); }
  ShortcutState CurrentState() const override;
  std::string_view Reason() const override { return reason_; }

 private:
  enum class Phase {
    Starting,     // the portal being started, then its version asked
    Creating,     // CreateSession's request out
    Listing,      // ListShortcuts' request out: is ours kept from an earlier run?
    Binding,      // BindShortcuts' request out (the desktop may ask the user)
    Bound,        // presses come as Activated signals
    Refused,      // reason_ says why
    Failed,       // likewise
    Unavailable,  // the portal has no global shortcuts
    BusLost,      // the connection failed: nothing more comes
  };

  void PortalStarted() override;
  void PortalLost() override;
  static int OnVersion(sd_bus_message* reply, void* data, sd_bus_error*);
  static int OnCallReply(sd_bus_message* reply, void* data, sd_bus_error*);
  static int OnResponse(sd_bus_message* signal, void* data, sd_bus_error*);
  static int OnActivated(sd_bus_message* signal, void* data, sd_bus_error*);
  static int OnClosed(sd_bus_message* signal, void* data, sd_bus_error*);

  bool SessionOpen() const {
    return phase_ == Phase::Listing || phase_ == Phase::Binding || phase_ == Phase::Bound;
  }
  // Sends the request of `step` (Creating or Binding), args(m) before its options.
  template <typename Args, typename More>
  void Send(const char* method, Phase step, Args args, More more);
  void Create();
  void List();
  void Bind();
  // Ends what was on its way (the request, the session) and takes phase,
  // with why for a refusal or a failure.
  void End(Phase phase, std::string_view why);
  void BusFailed() { End(Phase::BusLost, kBusGone); }

  Bus bus_;  // first in, last out: the slots below are on it
  PortalName name_;
  Slot version_call_, activated_match_, closed_match_;
  PortalRequest request_;
  std::string trigger_, session_, reason_;
  Phase phase_ = Phase::Starting;
  int presses_ = 0;
};

void PortalShortcut::PortalStarted() {
  if (phase_ != Phase::Starting) return;
  sd_bus_slot* slot = nullptr;
  if (sd_bus_call_method_async(bus_.get(), &slot, kPortalService, kPortalObject,
                               "org.freedesktop.DBus.Properties", "Get", OnVersion, this, "ss",
                               kGlobalShortcuts, "version") < 0) {
    BusFailed();
  }
  version_call_.reset(slot);
}

int PortalShortcut::OnVersion(sd_bus_message* reply, void* data, sd_bus_error*) {
  auto* self = static_cast<PortalShortcut*>(data);
  self->version_call_.reset();
  std::uint32_t version = 0;
  // Portals without the interface answer with errors of several kinds; no
  // portal at all is no way to a shortcut either.
  if (!sd_bus_message_is_method_error(reply, nullptr)) {
    sd_bus_message_read(reply, "v", "u", &version);
  }
  if (version < 1) {
    self->End(Phase::Unavailable, "");
  } else {
    self->Create();
  }
  return 0;
}

void PortalShortcut::PortalLost() {
  if (phase_ == Phase::Creating || SessionOpen()) {
    session_.clear();  // gone with the portal
    End(Phase::Failed, kPortalGone);
  }
}

template <typename Args, typename More>
void PortalShortcut::Send(const char* method, Phase step, Args args, More more) {
  if (!SendRequest(bus_.get(), &request_, kGlobalShortcuts, method, args, more, OnCallReply,
                   OnResponse, this)) {
    BusFailed();
    return;
  }
  phase_ = step;
}

void PortalShortcut::Create() {
  session_ = PortalPath(bus_.get(), "session", kSessionToken);
  sd_bus_slot* slot = nullptr;
  sd_bus_match_signal_async(bus_.get(), &slot, nullptr, kPortalObject, kGlobalShortcuts,
                            "Activated", OnActivated, nullptr, this);
  activated_match_.reset(slot);
  Send(
      "CreateSession", Phase::Creating, [](sd_bus_message*) { return 0; },
      [](sd_bus_message* m) {
        return sd_bus_message_append(m, "{sv}", "session_handle_token", "s", kSessionToken);
      });
}

// The session is there now, named as the answer said. A shortcut the
// desktop keeps from an earlier run (the user gave it keys in its settings)
// is not bound again: KDE answers a bind by opening its settings.
void PortalShortcut::List() {
  sd_bus_slot* slot = nullptr;
  sd_bus_match_signal_async(bus_.get(), &slot, nullptr, session_.c_str(), kSession, "Closed",
                            OnClosed, nullptr, this);
  closed_match_.reset(slot);
  Send(
      "ListShortcuts", Phase::Listing,
      [this](sd_bus_message* m) { return sd_bus_message_append(m, "o", session_.c_str()); },
      [](sd_bus_message*) { return 0; });
}

void PortalShortcut::Bind() {
  Send(
      "BindShortcuts", Phase::Binding,
      [this](sd_bus_message* m) {
        int r = sd_bus_message_append(m, "o", session_.c_str());
        if (r >= 0) {
          r = sd_bus_message_append(m, "a(sa{sv})", 1, kShortcutId, 2, "description", "s",
                                    kDescription, "preferred_trigger", "s", trigger_.c_str());
        }
        return r >= 0 ? sd_bus_message_append(m, "s", "") : r;  // no parent window
      },
      [](sd_bus_message*) { return 0; });
}

int PortalShortcut::OnCallReply(sd_bus_message* reply, void* data, sd_bus_error*) {
  auto* self = static_cast<PortalShortcut*>(data);
  self->request_.call.reset();
  if (!sd_bus_message_is_method_error(reply, nullptr)) {
    if (!self->request_.Follow(self->bus_.get(), reply, OnResponse, self)) self->BusFailed();
    return 0;
  }
  // A portal that lists nothing is asked to bind.
  if (self->phase_ == Phase::Listing) {
    self->Bind();
    return 0;
  }
  switch (ClassOf(sd_bus_message_get_error(reply))) {
    case CallError::NotRunning:
      self->End(Phase::Failed, kNoPortal);
      break;
    case CallError::Missing:
      self->End(Phase::Unavailable, "");
      break;
    case CallError::Other:
      self->End(Phase::Failed, kBindFailed);
      break;
  }
  return 0;
}

int PortalShortcut::OnResponse(sd_bus_message* signal, void* data, sd_bus_error*) {
  auto* self = static_cast<PortalShortcut*>(data);
  Response response = Response::Other;
  std::optional<std::string> session;
  std::optional<bool> ours;
  const bool read = ReadResponse(signal, &response, [&](std::string_view key, sd_bus_message* m) {
    if (key == "session_handle") return (session = ReadStringVariant(m)).has_value();
    if (key == "shortcuts") return (ours = HoldsOurs(m)).has_value();
    return false;
  });
  self->request_.Reset();
  if (!read || response == Response::Other) {
    self->End(Phase::Failed, kBindFailed);
  } else if (response == Response::Cancelled) {
    self->End(Phase::Refused, kShortcutRefused);
  } else if (self->phase_ == Phase::Creating) {
    if (session) self->session_ = *session;
    self->List();
  } else if (ours.value_or(false)) {
    self->phase_ = Phase::Bound;
  } else if (self->phase_ == Phase::Listing) {
    self->Bind();
  } else {
    // KDE Plasma 5.27 answers so: it opens its shortcut settings instead.
    self->End(Phase::Failed, kNotBound);
  }
  return 0;
}

int PortalShortcut::OnActivated(sd_bus_message* signal, void* data, sd_bus_error*) {
  auto* self = static_cast<PortalShortcut*>(data);
  const char *session = nullptr, *id = nullptr;
  std::uint64_t timestamp = 0;
  if (sd_bus_message_read(signal, "ost", &session, &id, &timestamp) < 0) return 0;
  if (self->phase_ == Phase::Bound && session && id && self->session_ == session &&
      std::string_view(id) == kShortcutId) {
    ++self->presses_;
  }
  return 0;
}

int PortalShortcut::OnClosed(sd_bus_message*, void* data, sd_bus_error*) {
  auto* self = static_cast<PortalShortcut*>(data);
  self->session_.clear();  // closed already
  self->End(Phase::Failed, kShortcutEnded);
  return 0;
}

void PortalShortcut::End(Phase phase, std::string_view why) {
  request_.Withdraw(bus_.get());
  if (!session_.empty() && SessionOpen()) CloseSession(bus_.get(), session_);
  version_call_.reset();
  activated_match_.reset();
  closed_match_.reset();
  session_.clear();
  if (phase_ == Phase::BusLost) return;  // for good
  phase_ = phase;
  reason_ = why;
}

int PortalShortcut::PollFds(pollfd* fds, int max) {
  return phase_ == Phase::BusLost ? 0 : PutBusPollFd(bus_.get(), fds, max);
}

int PortalShortcut::TimeoutMs() {
  if (phase_ == Phase::BusLost) return -1;
  NextWake wake(MonotonicNs());
  wake.At(BusDeadlineNs(bus_.get()));
  return wake.Ms();
}

void PortalShortcut::Dispatch() {
  if (phase_ == Phase::BusLost) return;
  if (!ProcessBus(bus_.get()) || sd_bus_flush(bus_.get()) < 0) BusFailed();
}

ShortcutState PortalShortcut::CurrentState() const {
  switch (phase_) {
    case Phase::Starting:
    case Phase::Creating:
    case Phase::Listing:
    case Phase::Binding:
      return ShortcutState::Waiting;
    case Phase::Bound:
      return ShortcutState::Bound;
    case Phase::Refused:
      return ShortcutState::Refused;
    case Phase::Unavailable:
      return ShortcutState::Unavailable;
    case Phase::Failed:
    case Phase::BusLost:
      break;
  }
  return ShortcutState::Failed;
}

}  // namespace

std::unique_ptr<GlobalShortcut> OpenGlobalShortcut(std::string trigger, std::string* why) {
  return OpenOnSessionBus<PortalShortcut>(why, std::move(trigger));
}

}  // namespace huevex::wayland
