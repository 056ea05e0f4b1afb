#include "shell/platform/wayland/portal.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "shell/platform/wayland/portal_request.h"
#include "shell/platform/wayland/snapshot_file.h"

namespace huevex::wayland {
namespace {

constexpr const char* kService = kPortalService;
constexpr const char* kObject = kPortalObject;
constexpr const char* kScreenshot = "org.freedesktop.portal.Screenshot";

constexpr const char* kBusGone = "the connection to the desktop session's message bus was lost";
constexpr const char* kNoPortal = "the desktop portal is not running";
constexpr const char* kNoScreenshots = "the desktop portal offers no screenshots";
constexpr const char* kRefused = "the desktop portal refused to share the screen";
constexpr const char* kPortalFailed = "the desktop portal could not take a screenshot";
constexpr const char* kPortalGone = "the desktop portal stopped before it answered";

// An error's words for the user: a portal that is not there, or one that is
// there without screenshots, or one that failed.
const char* ReasonFor(const sd_bus_error* error) {
  if (sd_bus_error_has_names(error, SD_BUS_ERROR_SERVICE_UNKNOWN, SD_BUS_ERROR_NAME_HAS_NO_OWNER,
                             SD_BUS_ERROR_NO_REPLY, SD_BUS_ERROR_TIMEOUT)) {
    return kNoPortal;
  }
  if (sd_bus_error_has_names(error, SD_BUS_ERROR_UNKNOWN_METHOD, SD_BUS_ERROR_UNKNOWN_INTERFACE,
                             SD_BUS_ERROR_UNKNOWN_PROPERTY, SD_BUS_ERROR_UNKNOWN_OBJECT)) {
    return kNoScreenshots;
  }
  return kPortalFailed;
}

class Portal final : public Source {
 public:
  Portal(sd_bus* bus, std::uint32_t timeout_ms) : bus_(bus), timeout_ms_(timeout_ms) {}
  ~Portal() override;
  bool Start(std::string* why);

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
  static int OnStarted(sd_bus_message* reply, void* data, sd_bus_error*);
  static int OnVersion(sd_bus_message* reply, void* data, sd_bus_error*);
  static int OnOwnerChanged(sd_bus_message* signal, void* data, sd_bus_error*);
  static int OnCallReply(sd_bus_message* reply, void* data, sd_bus_error*);
  static int OnResponse(sd_bus_message* signal, void* data, sd_bus_error*);
  static int OnPermission(sd_bus_message* reply, void* data, sd_bus_error*);

  bool StartPortal();
  void Request();
  void Send();
  void Answered(std::uint32_t response, std::optional<std::string> uri);
  // The request ends without a snapshot: state and reason say why.
  void EndRequest(State state, std::string_view why);
  void BusFailed();

  sd_bus* bus_;
  std::uint32_t timeout_ms_;
  Slot owner_match_, start_call_, version_call_, permission_call_;
  bool started_ = false;  // the portal runs: calls may go out
  bool wanted_ = false;
  bool bus_failed_ = false;
  bool no_screenshots_ = false;  // the portal said so: asking again is no use

  // The request on its way. Past our deadline it stays out (closing it would
  // take the desktop's question away): late, its answer is still taken, and
  // no second request goes out meanwhile (GNOME refuses one as "already
  // showing") until capturing is wished for anew.
  bool pending_ = false;
  bool late_ = false;
  bool renew_ = false;  // a wish came while it was out: another picture follows
  PortalRequest request_;
  std::int64_t requested_ns_ = 0;           // CLOCK_MONOTONIC
  std::int64_t requested_realtime_ns_ = 0;  // for the file's time
  std::int64_t deadline_ns_ = 0;

  // How the last request ended (Live: with a snapshot).
  State outcome_ = State::Idle;
  Image snapshot_;
  std::int64_t snapshot_ns_ = 0;
  bool snapshot_current_ = false;  // taken since capturing was last wanted
  int root_width_ = 0, root_height_ = 0;
};

Portal::~Portal() {
  owner_match_.reset();
  start_call_.reset();
  version_call_.reset();
  permission_call_.reset();
  request_.Reset();
  if (bus_) {
    sd_bus_flush(bus_);
    sd_bus_close_unref(bus_);
  }
}

bool Portal::Start(std::string* why) {
  if (!WatchPortalName(bus_, &owner_match_, OnOwnerChanged, this) || !StartPortal()) {
    *why = kBusGone;
    return false;
  }
  return true;
}

// Calls go out once the portal runs.
bool Portal::StartPortal() { return StartPortalService(bus_, &start_call_, OnStarted, this); }

int Portal::OnStarted(sd_bus_message*, void* data, sd_bus_error*) {
  auto* self = static_cast<Portal*>(data);
  self->start_call_.reset();
  // Whatever the answer (a portal that runs without being activatable is
  // refused here), the calls themselves tell whether the portal is there.
  self->started_ = true;
  // Whether it offers screenshots at all.
  sd_bus_slot* slot = nullptr;
  sd_bus_call_method_async(self->bus_, &slot, kService, kObject, "org.freedesktop.DBus.Properties",
                           "Get", OnVersion, self, "ss", kScreenshot, "version");
  self->version_call_.reset(slot);
  if (self->pending_) self->Send();
  return 0;
}

int Portal::OnVersion(sd_bus_message* reply, void* data, sd_bus_error*) {
  auto* self = static_cast<Portal*>(data);
  self->version_call_.reset();
  if (sd_bus_message_is_method_error(reply, nullptr)) {
    const char* why = ReasonFor(sd_bus_message_get_error(reply));
    if (why == kNoScreenshots) self->no_screenshots_ = true;
    // Not running now is not for good: a request starts it again.
    if (why == kNoScreenshots && !self->pending_) self->EndRequest(State::Failed, why);
  }
  return 0;
}

int Portal::OnOwnerChanged(sd_bus_message* signal, void* data, sd_bus_error*) {
  auto* self = static_cast<Portal*>(data);
  if (!PortalNameLost(signal)) return 0;
  // Gone: a later request starts it again before calling it.
  self->started_ = false;
  if (self->pending_) self->EndRequest(State::Failed, kPortalGone);
  return 0;
}

void Portal::SetWanted(bool wanted) {
  if (wanted && !wanted_) {
    snapshot_current_ = false;
    if (!pending_) {
      Request();
    } else if (late_) {
      // xdg-desktop-portal gives up on the desktop's question after its own
      // 25 s and never answers; the desktop still keeps what the user said,
      // so this wish asks anew (with the answer kept, no question comes).
      request_.Reset();
      pending_ = false;
      outcome_ = State::Idle;
      reason_.clear();
      Request();
    } else {
      // The answer on its way was asked for before this wish: it is kept, but
      // a picture taken after the wish is asked for once it is in.
      renew_ = true;
    }
  }
  wanted_ = wanted;
}

void Portal::Request() {
  if (bus_failed_) return;
  if (no_screenshots_) {
    EndRequest(State::Failed, kNoScreenshots);
    return;
  }
  pending_ = true;
  late_ = false;
  requested_ns_ = MonotonicNs();
  requested_realtime_ns_ = RealtimeNs();
  deadline_ns_ = requested_ns_ + std::int64_t{timeout_ms_} * 1'000'000;
  if (started_) {
    Send();
  } else if (!start_call_ && !StartPortal()) {
    BusFailed();
  }
}

void Portal::Send() {
  sd_bus_slot* slot = nullptr;
  if (!request_.Subscribe(bus_, OnResponse, this) ||
      sd_bus_call_method_async(bus_, &slot, kService, kObject, kScreenshot, "Screenshot",
                               OnCallReply, this, "sa{sv}", "", 3, "handle_token", "s",
                               request_.Token().c_str(), "interactive", "b", 0, "modal", "b",
                               0) < 0) {
    request_.Reset();
    BusFailed();
    return;
  }
  request_.call.reset(slot);
  if (sd_bus_flush(bus_) < 0) BusFailed();
}

int Portal::OnCallReply(sd_bus_message* reply, void* data, sd_bus_error*) {
  auto* self = static_cast<Portal*>(data);
  self->request_.call.reset();
  if (!self->pending_) return 0;
  if (sd_bus_message_is_method_error(reply, nullptr)) {
    const char* why = ReasonFor(sd_bus_message_get_error(reply));
    if (why == kNoScreenshots) self->no_screenshots_ = true;
    self->EndRequest(State::Failed, why);
    return 0;
  }
  if (!self->request_.Follow(self->bus_, reply, OnResponse, self)) self->BusFailed();
  return 0;
}

int Portal::OnResponse(sd_bus_message* signal, void* data, sd_bus_error*) {
  auto* self = static_cast<Portal*>(data);
  if (!self->pending_) return 0;
  std::uint32_t response = 2;
  std::optional<std::string> uri;
  const bool read = ReadResponse(signal, &response, [&](std::string_view key, sd_bus_message* m) {
    return key == "uri" && (uri = ReadStringVariant(m)).has_value();
  });
  if (!read) {
    self->EndRequest(State::Failed, kPortalFailed);
    return 0;
  }
  self->Answered(response, std::move(uri));
  return 0;
}

int Portal::OnPermission(sd_bus_message* reply, void* data, sd_bus_error*) {
  auto* self = static_cast<Portal*>(data);
  self->permission_call_.reset();
  const bool denied = !sd_bus_message_is_method_error(reply, nullptr) && IsDenied(reply);
  self->EndRequest(denied ? State::Refused : State::Failed, denied ? kRefused : kPortalFailed);
  return 0;
}

void Portal::Answered(std::uint32_t response, std::optional<std::string> uri) {
  request_.Reset();
  if (response == 1) {
    EndRequest(State::Refused, kRefused);
    return;
  }
  if (response == 2) {
    // GNOME answers 2 when the user denied the permission: the permission
    // store tells a denial from a failure.
    sd_bus_slot* slot = nullptr;
    if (sd_bus_call_method_async(bus_, &slot, "org.freedesktop.impl.portal.PermissionStore",
                                 "/org/freedesktop/impl/portal/PermissionStore",
                                 "org.freedesktop.impl.portal.PermissionStore", "Lookup",
                                 OnPermission, this, "ss", "screenshot", "screenshot") < 0) {
      EndRequest(State::Failed, kPortalFailed);
      return;
    }
    permission_call_.reset(slot);
    return;
  }
  const std::optional<std::string> path = uri ? PathFromFileUri(*uri) : std::nullopt;
  if (response != 0 || !path) {
    EndRequest(State::Failed, kPortalFailed);
    return;
  }
  Snapshot snapshot;
  std::string why;
  if (!TakeSnapshot(*path, requested_realtime_ns_, &snapshot, &why)) {
    EndRequest(State::Failed, why);
    return;
  }
  snapshot_ = std::move(snapshot.image);
  snapshot_ns_ = requested_ns_;  // the picture is no older than the request
  EndRequest(State::Live, "");
  if (std::exchange(renew_, false) && wanted_) {
    Request();
  } else {
    snapshot_current_ = true;
  }
}

void Portal::EndRequest(State state, std::string_view why) {
  pending_ = late_ = false;
  if (state != State::Live) renew_ = false;
  request_.Reset();
  permission_call_.reset();
  outcome_ = state;
  reason_ = why;
}

void Portal::BusFailed() {
  pending_ = false;
  bus_failed_ = true;
  reason_ = kBusGone;
}

int Portal::PollFds(pollfd* fds, int max) {
  if (bus_failed_ || max < 1) return 0;
  const std::optional<pollfd> bus = BusPollFd(bus_);
  if (!bus) return 0;
  fds[0] = *bus;
  return 1;
}

int Portal::TimeoutMs() {
  if (bus_failed_) return -1;
  const std::int64_t now = MonotonicNs();
  std::int64_t until = -1;
  if (pending_ && !late_) until = std::max<std::int64_t>(deadline_ns_ - now, 0);
  if (const std::optional<std::int64_t> bus = BusDeadlineNs(bus_)) {
    const std::int64_t bus_ns = std::max<std::int64_t>(*bus - now, 0);
    until = until < 0 ? bus_ns : std::min(until, bus_ns);
  }
  return until < 0 ? -1 : static_cast<int>((until + 999'999) / 1'000'000);
}

void Portal::Dispatch() {
  if (bus_failed_) return;
  if (!ProcessBus(bus_)) {
    BusFailed();
    return;
  }
  if (pending_ && !late_ && MonotonicNs() >= deadline_ns_) late_ = true;
  if (sd_bus_flush(bus_) < 0) BusFailed();
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
  if (bus_failed_) return State::Failed;
  if (pending_ && late_) return State::StillAsking;
  // The desktop may be asking the user; a release waits for the answer.
  if (pending_) return State::Asking;
  if (outcome_ == State::Failed || outcome_ == State::Refused) return outcome_;
  if (!wanted_) return State::Idle;
  return snapshot_current_ ? State::Live : State::Waiting;
}

}  // namespace

std::unique_ptr<Source> OpenPortal(std::uint32_t timeout_ms, std::string* why) {
  sd_bus* bus = nullptr;
  if (sd_bus_open_user(&bus) < 0) {
    *why = "the desktop session's message bus could not be reached";
    return nullptr;
  }
  auto portal = std::make_unique<Portal>(bus, timeout_ms ? timeout_ms : kDefaultPortalTimeoutMs);
  if (!portal->Start(why)) return nullptr;
  return portal;
}

}  // namespace huevex::wayland
