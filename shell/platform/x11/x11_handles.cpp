#include "shell/platform/x11/x11_handles.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <string_view>

namespace huevex::x11 {

std::unique_ptr<ShmImage> ShmImage::Create(Display* display, Visual* visual, int depth, int width,
                                           int height) {
  std::unique_ptr<ShmImage> shm(new ShmImage);
  shm->display_ = display;
  shm->image_ =
      XShmCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, nullptr, &shm->info_,
                      static_cast<unsigned>(width), static_cast<unsigned>(height));
  if (!shm->image_) return nullptr;
  const size_t bytes = static_cast<size_t>(shm->image_->bytes_per_line) * height;
  shm->info_.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (shm->info_.shmid < 0) return nullptr;
  void* address = shmat(shm->info_.shmid, nullptr, 0);
  if (address == reinterpret_cast<void*>(-1)) {
    shmctl(shm->info_.shmid, IPC_RMID, nullptr);
    shm->info_.shmid = -1;
    return nullptr;
  }
  shm->info_.shmaddr = shm->image_->data = static_cast<char*>(address);
  shm->info_.readOnly = False;
  shm->attached_ = XShmAttach(display, &shm->info_) != 0;
  // The server must have attached before the segment is marked for removal.
  XSync(display, False);
  shmctl(shm->info_.shmid, IPC_RMID, nullptr);
  if (!shm->attached_) return nullptr;
  return shm;
}

ShmImage::~ShmImage() {
  if (attached_) XShmDetach(display_, &info_);
  if (image_) {
    image_->data = nullptr;  // the segment's memory is not XDestroyImage's to free
    XDestroyImage(image_);
  }
  if (info_.shmaddr) shmdt(info_.shmaddr);
}

bool ShmUsable(Display* display) {
  if (!XShmQueryExtension(display)) return false;
  const std::string_view name = DisplayString(display);
  // ":0", ":0.0" and "unix:0" are local sockets; a host name before the colon
  // may be another machine (an ssh-forwarded display).
  return name.starts_with(':') || name.starts_with("unix:");
}

}  // namespace huevex::x11
