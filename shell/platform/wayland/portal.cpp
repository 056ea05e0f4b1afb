#include "shell/platform/wayland/portal.h"

#include <systemd/sd-bus.h>

#include <optional>
#include <utility>

#include "shell/platform/wayland/portal_request.h"
#include "shell/platform/wayland/snapshot_file.h"

namespace huevex::wayland {
namespace {

constexpr const char* kScreenshot = "org.freedesktop.portal.Screenshot";

constexpr const char* kNoScreenshots = "the desktop portal offers no screenshots";
constexpr const char* kPortalFailed = "the desktop portal could not take a screenshot";

class Portal final : public Source, PortalName::Listener {
 public:
  Portal(Bus bus, std::uint32_t timeout_ms) : bus_(std::move(bus)), wait_(timeout_ms) {}
  bool Start() { return name_.Watch(bus_.get(), this); }

  const char* Kind() const override { return "portal"; }
  int PollFds(pollfd* fds, int max) override;
  int TimeoutMs() override;
  void Dispatch() override;
  void SetWanted(bool wanted) override;
  void SetRootSize(int width, int height) override {
    root_width_ = width;
    root_height_ = height;
  }
  ReadResult Read(Rect block, std::uint32_t* out, ReadInfo* info) override;
  State CurrentState() override;

 private:
  // Where the screenshots stand. While Asking the request is on its way (its
  // portal perhaps still starting), past our wait too: then it is late, and
  // closing it would take the desktop's question away, so its answer is
  // still taken, and no second request goes out meanwhile (GNOME refuses one
  // as "already showing") until capturing is wished for anew.
  enum class Phase {
    Idle,           // nothing asked yet
    Asking,         // a request out
    AskingAgain,    // one out, and a wish came after it: another picture follows
    Shot,           // the last request brought the picture, taken since the last wish
    Refused,        // the last request ended so; reason_ says why
    Failed,         // likewise
    NoScreenshots,  // the portal said so: asking again is no use
    BusLost,        // the connection failed: nothing more comes
  };

  void PortalStarted() override;
  void PortalLost() override;
  static int OnVersion(sd_bus_message* reply, void* data, sd_bus_error*);
  static int OnCallReply(sd_bus_message* reply, void* data, sd_bus_error*);
  static int OnResponse(sd_bus_message* signal, void* data, sd_bus_error*);
  static int OnPermission(sd_bus_message* reply, void* data, sd_bus_error*);

  bool Asking() const { return phase_ == Phase::Asking || phase_ == Phase::AskingAgain; }
  void Request();
  void Send();
  void CallFailed(const sd_bus_error* error);
  void Answered(Response response, std::optional<std::string> uri);
  // Ends what was on its way and takes phase, with why where it is a
  // refusal or a failure (else empty).
  void Enter(Phase phase, std::string_view why = "");
  void BusFailed() { Enter(Phase::BusLost, kBusGone); }

  Bus bus_;  // first in, last out: the slots below are on it
  PortalName name_;
  Slot version_call_, permission_call_;
  PortalRequest request_;
  AnswerWait wait_;
  std::int64_t requested_realtime_ns_ = 0;  // for the file's time
  Phase phase_ = Phase::Idle;
  bool wanted_ = false;

  Image snapshot_;
  std::int64_t snapshot_ns_ = 0;
  int root_width_ = 0, root_height_ = 0;
};

void Portal::PortalStarted() {
  // Whether it offers screenshots at all.
  sd_bus_slot* slot = nullptr;
  sd_bus_call_method_async(bus_.get(), &slot, kPortalService, kPortalObject,
                           "org.freedesktop.DBus.Properties", "Get", OnVersion, this, "ss",
                           kScreenshot, "version");
  version_call_.reset(slot);
  if (Asking()) Send();
}

int Portal::OnVersion(sd_bus_message* reply, void* data, sd_bus_error*) {
  auto* self = static_cast<Portal*>(data);
  self->version_call_.reset();
  // Not running now is not for good: a request starts it again. A request
  // on its way hears the same from its own call.
  if (sd_bus_message_is_method_error(reply, nullptr) &&
      ClassOf(sd_bus_message_get_error(reply)) == CallError::Missing && !self->Asking()) {
    self->Enter(Phase::NoScreenshots, kNoScreenshots);
  }
  return 0;
}

void Portal::PortalLost() {
  if (Asking()) Enter(Phase::Failed, kPortalGone);
}

void Portal::SetWanted(bool wanted) {
  if (wanted && !wanted_) {
    if (Asking() && !wait_.Late()) {
      // The answer on its way was asked for before this wish: it is kept, but
      // a picture taken after the wish is asked for once it is in.
      phase_ = Phase::AskingAgain;
    } else {
      // Past our wait: xdg-desktop-portal gives up on the desktop's question
      // after its own 25 s and never answers; the desktop still keeps what
      // the user said, so this wish asks anew (with the answer kept, no
      // question comes).
      Request();
    }
  }
  wanted_ = wanted;
}

void Portal::Request() {
  if (phase_ == Phase::BusLost || phase_ == Phase::NoScreenshots) return;
  Enter(Phase::Asking);
  wait_.Start(MonotonicNs());
  requested_realtime_ns_ = RealtimeNs();
  if (name_.Running()) {
    Send();
  } else if (!name_.Start()) {
    BusFailed();
  }
}

void Portal::Send() {
  sd_bus_slot* slot = nullptr;
  if (!request_.Subscribe(bus_.get(), OnResponse, this) ||
      sd_bus_call_method_async(bus_.get(), &slot, kPortalService, kPortalObject, kScreenshot,
                               "Screenshot", OnCallReply, this, "sa{sv}", "", 3, "handle_token",
                               "s", request_.Token().c_str(), "interactive", "b", 0, "modal", "b",
                               0) < 0) {
    BusFailed();
    return;
  }
  request_.call.reset(slot);
  if (sd_bus_flush(bus_.get()) < 0) BusFailed();
}

int Portal::OnCallReply(sd_bus_message* reply, void* data, sd_bus_error*) {
  auto* self = static_cast<Portal*>(data);
  self->request_.call.reset();
  if (!self->Asking()) return 0;
  if (sd_bus_message_is_method_error(reply, nullptr)) {
    self->CallFailed(sd_bus_message_get_error(reply));
  } else if (!self->request_.Follow(self->bus_.get(), reply, OnResponse, self)) {
    self->BusFailed();
  }
  return 0;
}

void Portal::CallFailed(const sd_bus_error* error) {
  switch (ClassOf(error)) {
    case CallError::NotRunning:
      Enter(Phase::Failed, kNoPortal);
      break;
    case CallError::Missing:
      Enter(Phase::NoScreenshots, kNoScreenshots);
      break;
    case CallError::Other:
      Enter(Phase::Failed, kPortalFailed);
      break;
  }
}

int Portal::OnResponse(sd_bus_message* signal, void* data, sd_bus_error*) {
  auto* self = static_cast<Portal*>(data);
  if (!self->Asking()) return 0;
  Response response = Response::Other;
  std::optional<std::string> uri;
  const bool read = ReadResponse(signal, &response, [&](std::string_view key, sd_bus_message* m) {
    return key == "uri" && (uri = ReadStringVariant(m)).has_value();
  });
  if (!read) {
    self->Enter(Phase::Failed, kPortalFailed);
    return 0;
  }
  self->Answered(response, std::move(uri));
  return 0;
}

int Portal::OnPermission(sd_bus_message* reply, void* data, sd_bus_error*) {
  auto* self = static_cast<Portal*>(data);
  self->permission_call_.reset();
  const bool denied = !sd_bus_message_is_method_error(reply, nullptr) && IsDenied(reply);
  self->Enter(denied ? Phase::Refused : Phase::Failed, denied ? kRefused : kPortalFailed);
  return 0;
}

void Portal::Answered(Response response, std::optional<std::string> uri) {
  request_.Reset();
  if (response == Response::Cancelled) {
    Enter(Phase::Refused, kRefused);
    return;
  }
  if (response == Response::Other) {
    // GNOME answers so when the user denied the permission: the permission
    // store tells a denial from a failure. Asking lasts until it answers.
    sd_bus_slot* slot = nullptr;
    if (sd_bus_call_method_async(bus_.get(), &slot, "org.freedesktop.impl.portal.PermissionStore",
                                 "/org/freedesktop/impl/portal/PermissionStore",
                                 "org.freedesktop.impl.portal.PermissionStore", "Lookup",
                                 OnPermission, this, "ss", "screenshot", "screenshot") < 0) {
      Enter(Phase::Failed, kPortalFailed);
      return;
    }
    permission_call_.reset(slot);
    return;
  }
  const std::optional<std::string> path = uri ? PathFromFileUri(*uri) : std::nullopt;
  if (response != Response::Success || !path) {
    Enter(Phase::Failed, kPortalFailed);
    return;
  }
  Snapshot snapshot;
  std::string why;
  if (!TakeSnapshot(*path, requested_realtime_ns_, &snapshot, &why)) {
    Enter(Phase::Failed, why);
    return;
  }
  snapshot_ = std::move(snapshot.image);
  snapshot_ns_ = wait_.StartNs();  // the picture is no older than the request
  const bool again = phase_ == Phase::AskingAgain;
  Enter(Phase::Shot);
  if (again && wanted_) Request();
}

void Portal::Enter(Phase phase, std::string_view why) {
  request_.Reset();
  permission_call_.reset();
  phase_ = phase;
  reason_ = why;
}

int Portal::PollFds(pollfd* fds, int max) {
  return phase_ == Phase::BusLost ? 0 : PutBusPollFd(bus_.get(), fds, max);
}

int Portal::TimeoutMs() {
  if (phase_ == Phase::BusLost) return -1;
  NextWake wake(MonotonicNs());
  if (Asking()) wake.At(wait_.EndNs());
  wake.At(BusDeadlineNs(bus_.get()));
  return wake.Ms();
}

void Portal::Dispatch() {
  if (phase_ == Phase::BusLost) return;
  if (!ProcessBus(bus_.get())) {
    BusFailed();
    return;
  }
  if (Asking()) wait_.Check(MonotonicNs());
  if (sd_bus_flush(bus_.get()) < 0) BusFailed();
}

ReadResult Portal::Read(Rect block, std::uint32_t* out, ReadInfo* info) {
  const State state = CurrentState();
  if (state == State::Failed || state == State::Refused) return ReadResult::Failed;
  if (snapshot_.pixels.empty()) return ReadResult::NoFrame;
  const int width = block.Width(), height = block.Height();
  if (width <= 0 || height <= 0) return ReadResult::Ok;
  // The snapshot covers the root window, scaled as the portal took it (a
  // screenshot of a scaled output has more pixels than the root).
  const std::int64_t rw = root_width_ > 0 ? root_width_ : snapshot_.width;
  const std::int64_t rh = root_height_ > 0 ? root_height_ : snapshot_.height;
  for (int y = 0; y < height; ++y) {
    const std::int64_t ry = block.top + y;
    const std::int64_t sy = ry * snapshot_.height / rh;
    for (int x = 0; x < width; ++x) {
      const std::int64_t rx = block.left + x;
      const std::int64_t sx = rx * snapshot_.width / rw;
      const bool inside =
          rx >= 0 && ry >= 0 && rx < rw && ry < rh && sx < snapshot_.width && sy < snapshot_.height;
      out[static_cast<size_t>(y) * width + x] =
          inside ? snapshot_.pixels[static_cast<size_t>(sy) * snapshot_.width + sx] : 0u;
    }
  }
  if (info) *info = {snapshot_ns_, state != State::Live};
  return ReadResult::Ok;
}

State Portal::CurrentState() {
  // The desktop may be asking the user; a release waits for the answer.
  if (Asking()) return wait_.Late() ? State::StillAsking : State::Asking;
  if (phase_ == Phase::Refused) return State::Refused;
  if (phase_ != Phase::Idle && phase_ != Phase::Shot) return State::Failed;
  if (!wanted_) return State::Idle;
  return phase_ == Phase::Shot ? State::Live : State::Waiting;
}

}  // namespace

std::unique_ptr<Source> OpenPortal(std::uint32_t timeout_ms, std::string* why) {
  return OpenOnSessionBus<Portal>(why, timeout_ms);
}

}  // namespace huevex::wayland
