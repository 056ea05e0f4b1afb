// A wl_buffer in shared memory that the compositor copies a frame into and
// the module reads from: an anonymous memory file mapped on both sides.
#pragma once

#include <wayland-client.h>

#include <cstdint>
#include <memory>

namespace huevex::wayland {

class ShmBuffer {
 public:
  // Null when the memory or the buffer cannot be had.
  static std::unique_ptr<ShmBuffer> Create(wl_shm* shm, int width, int height, int stride,
                                           std::uint32_t format);
  ~ShmBuffer();
  ShmBuffer(const ShmBuffer&) = delete;
  ShmBuffer& operator=(const ShmBuffer&) = delete;

  bool Fits(int width, int height, int stride, std::uint32_t format) const {
    return width == width_ && height == height_ && stride == stride_ && format == format_;
  }
  wl_buffer* buffer() const { return buffer_; }
  const std::uint8_t* pixels() const { return static_cast<const std::uint8_t*>(data_); }
  int width() const { return width_; }
  int height() const { return height_; }
  int stride() const { return stride_; }
  std::uint32_t format() const { return format_; }

 private:
  ShmBuffer() = default;
  wl_buffer* buffer_ = nullptr;
  void* data_ = nullptr;
  size_t size_ = 0;
  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;
  std::uint32_t format_ = 0;
};

}  // namespace huevex::wayland
