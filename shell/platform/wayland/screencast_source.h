// The screen cast source's insides, shared by screencast.cpp (the source:
// wishes, deadlines, reads, PipeWire) and screencast_steps.cpp (the
// conversation with the portal that starts a session). Not for other files.
#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/platform/wayland/pipewire_stream.h"
#include "shell/platform/wayland/portal_request.h"
#include "shell/platform/wayland/restore_token.h"
#include "shell/platform/wayland/source.h"

namespace huevex::wayland {

inline constexpr const char* kScreenCast = "org.freedesktop.portal.ScreenCast";

inline constexpr const char* kNoCast = "the desktop portal offers no screen cast";
inline constexpr const char* kCastFailed = "the desktop portal could not share the screen";
inline constexpr const char* kNoFrames = "the desktop's screen cast sends no pictures";
inline constexpr const char* kEnded = "the desktop stopped sharing the screen";

// The versions before 4 have no persistent sessions: the user would be asked
// at every pick.
inline constexpr std::uint32_t kLeastVersion = 4;
inline constexpr std::uint32_t kMonitor = 1, kCursorHidden = 1, kPersistUntilRevoked = 2;
// A portal answer slower than this may be the user's: the state says Asking.
inline constexpr std::int64_t kAskingNs = 300'000'000;
// A started stream must bring its first frame within this.
inline constexpr std::int64_t kFrameDeadlineNs = 3'000'000'000;
// The session outlives the wish this long, so that the next pick finds frames
// at once instead of a new session's few hundred milliseconds.
inline constexpr std::int64_t kWarmNs = 5'000'000'000;

// What the portal's ScreenCast offers, from its properties.
struct CastOffer {
  std::uint32_t version = 0, cursor_modes = 0;
  bool Usable() const { return version >= kLeastVersion; }
  bool HidesCursor() const { return (cursor_modes & kCursorHidden) != 0; }
};

// Where the screen cast stands: no session; a session on one of its steps
// (the request of Creating, Selecting or Starting out, the PipeWire remote
// asked for, the streams running); or the last session's end, a refusal or
// a failure (reason_ says why), until capturing is wished for again; or a
// connection that failed for good.
enum class CastPhase {
  Closed,
  Creating,
  Selecting,
  Starting,
  Opening,
  Streaming,
  Refused,
  Failed,
  BusLost
};

class Screencast final : public Source, PortalName::Listener {
 public:
  Screencast(Bus bus, std::uint32_t timeout_ms, bool fallback)
      : bus_(std::move(bus)),
        wait_(timeout_ms),
        fallback_allowed_(fallback),
        token_path_(RestoreTokenPath(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"))) {}
  ~Screencast() override { End(CastPhase::Closed, ""); }
  bool Start() { return name_.Watch(bus_.get(), this); }

  const char* Kind() const override { return "screencast"; }
  int PollFds(pollfd* fds, int max) override;
  int TimeoutMs() override;
  void Dispatch() override;
  void SetWanted(bool wanted) override;
  ReadResult Read(Rect block, std::uint32_t* out, ReadInfo* info) override;
  State CurrentState() override;
  bool WantsFallback() const override { return fallback_allowed_ && fallback_; }

 private:
  void PortalStarted() override;
  void PortalLost() override;
  static int OnProperties(sd_bus_message* reply, void* data, sd_bus_error*);
  static int OnCallReply(sd_bus_message* reply, void* data, sd_bus_error*);
  static int OnResponse(sd_bus_message* signal, void* data, sd_bus_error*);
  static int OnRemote(sd_bus_message* reply, void* data, sd_bus_error*);
  static int OnClosed(sd_bus_message* signal, void* data, sd_bus_error*);

  bool InSession() const { return phase_ >= CastPhase::Creating && phase_ <= CastPhase::Streaming; }
  // Asked for its streams, which have not all sent a frame yet.
  bool AwaitsFrames() const {
    return (phase_ == CastPhase::Opening || phase_ == CastPhase::Streaming) &&
           !(cast_ && cast_->AllFramed());
  }
  void Begin();
  // Calls method with the session (unless creating it), then Start's parent
  // window, then the options with our handle token and more's entries; step
  // is the phase while the request is out.
  template <typename More>
  void Call(const char* method, CastPhase step, bool with_session, More more);
  // What a Response told, of the results we use.
  struct Results {
    std::optional<std::string> session, token;
    std::optional<std::vector<StreamPlace>> places;
  };
  void Answered(Response response, Results results);
  void SelectSources();
  void OpenRemote();
  // The session ends in phase (Closed, with why empty; Refused, Failed or
  // BusLost); with fall_back, under "auto", for the screenshot to take over.
  void End(CastPhase phase, std::string_view why, bool fall_back = false);
  void BusFailed() { End(CastPhase::BusLost, kBusGone); }

  Bus bus_;  // first in, last out: the slots below are on it
  PortalName name_;
  Slot props_call_, closed_match_;
  std::optional<CastOffer> offer_;  // none until the properties are read
  PortalRequest request_;
  AnswerWait wait_;
  const bool fallback_allowed_;
  std::string token_path_;

  CastPhase phase_ = CastPhase::Closed;
  bool wanted_ = false;
  bool fallback_ = false;    // for the rest of the run, once told
  bool asked_once_ = false;  // Start went out with no token: the desktop asks
  std::string session_;
  std::int64_t frame_deadline_ns_ = 0, warm_until_ns_ = 0;
  std::vector<StreamPlace> places_;  // from Start's answer
  std::unique_ptr<PipeWireCast> cast_;
};

}  // namespace huevex::wayland
