#include "shell/platform/wayland/shm_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

namespace huevex::wayland {

std::unique_ptr<ShmBuffer> ShmBuffer::Create(wl_shm* shm, int width, int height, int stride,
                                             std::uint32_t format) {
  if (width <= 0 || height <= 0 || stride < width * 4 ||
      std::int64_t{stride} * height > INT32_MAX) {
    return nullptr;
  }
  const size_t size = static_cast<size_t>(stride) * height;
  const int fd = memfd_create("huevex-frame", MFD_CLOEXEC);
  if (fd < 0) return nullptr;
  std::unique_ptr<ShmBuffer> b(new ShmBuffer);
  if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
    close(fd);
    return nullptr;
  }
  void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (data == MAP_FAILED) {
    close(fd);
    return nullptr;
  }
  b->data_ = data;
  b->size_ = size;
  wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(size));
  close(fd);  // the pool holds its own reference
  b->buffer_ = wl_shm_pool_create_buffer(pool, 0, width, height, stride, format);
  wl_shm_pool_destroy(pool);  // the buffer keeps the memory alive
  b->width_ = width;
  b->height_ = height;
  b->stride_ = stride;
  b->format_ = format;
  return b;
}

ShmBuffer::~ShmBuffer() {
  if (buffer_) wl_buffer_destroy(buffer_);
  if (data_) munmap(data_, size_);
}

}  // namespace huevex::wayland
