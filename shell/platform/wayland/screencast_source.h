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
inline constexpr const char* kSession = "org.freedesktop.portal.Session";

inline constexpr const char* kBusGone =
    "the connection to the desktop session's message bus was lost";
inline constexpr const char* kNoPortal = "the desktop portal is not running";
inline constexpr const char* kNoCast = "the desktop portal offers no screen cast";
inline constexpr const char* kRefused = "the desktop portal refused to share the screen";
inline constexpr const char* kCastFailed = "the desktop portal could not share the screen";
inline constexpr const char* kPortalGone = "the desktop portal stopped before it answered";
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

enum class CastStep { None, Creating, Selecting, Starting, Opening, Streaming };

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
  void Call(const char* method, CastStep step, bool with_session, More more);
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

  CastStep step_ = CastStep::None;
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

}  // namespace huevex::wayland
