// The screen cast's frames over PipeWire: a connection on the descriptor the
// portal hands out, one stream per monitor the portal shares, each taking
// frames in shared memory (memfd or plain memory, never dma-buf) in a format
// reads understand. The connection's loop is driven by the program's own
// poll: its descriptor joins the poll set, and Iterate handles what arrived
// without waiting. Each stream keeps a copy of its newest finished frame, so
// a read never waits and never sees half a frame.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "shell/platform/platform.h"
#include "shell/platform/wayland/stream_frames.h"

namespace huevex::wayland {

class PipeWireCast {
 public:
  // Connects on fd (taken over, closed in every case) and asks each node for
  // its frames; null, with why for the user, when PipeWire cannot be reached.
  static std::unique_ptr<PipeWireCast> Connect(int fd, const std::vector<StreamPlace>& places,
                                               std::string* why);
  virtual ~PipeWireCast() = default;

  virtual int Fd() const = 0;
  // Handles what arrived, without waiting.
  virtual void Iterate() = 0;
  // A stream or the connection failed: why, for the user; else empty.
  virtual const std::string& Failure() const = 0;
  // Every stream has a frame.
  virtual bool AllFramed() const = 0;
  virtual const std::vector<StreamFrame>& Frames() const = 0;
};

}  // namespace huevex::wayland
