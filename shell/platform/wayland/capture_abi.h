/* The screen capture module for Wayland sessions, as the Linux program sees it.
 * It also holds the program's global shortcut there (the desktop portal's).
 *
 * The program runs on Xwayland there; its windows, pointer, clipboard and
 * timers stay on X, but X cannot give it other clients' pixels. This module
 * (huevex-wayland.so, loaded with dlopen only in a Wayland session) reads them
 * from the compositor instead. Everything between the two is plain C: one
 * exported function hands out a versioned table of function pointers; no C++
 * type, exception or allocation crosses, and every string goes into a buffer
 * the caller owns.
 *
 * A capture runs only while it is wanted (a pick or the magnifier is on); at
 * rest nothing is captured and nothing wakes the program. Each call returns at
 * once: the module never waits for the compositor or the portal.
 */
#ifndef HUEVEX_CAPTURE_ABI_H
#define HUEVEX_CAPTURE_ABI_H

#include <poll.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A new version only appends calls to the table, and the module serves every
 * earlier version with the same table: a caller uses the calls its version
 * has. Version 2 added the shortcut. */
#define HUEVEX_CAPTURE_ABI_VERSION 2u
/* The module's one exported symbol, for dlsym. */
#define HUEVEX_CAPTURE_ENTRY "huevex_capture_entry"
/* The module's file name, installed in ${libdir}/huevex/ and built next to the
 * program. */
#define HUEVEX_CAPTURE_MODULE "huevex-wayland.so"

typedef struct huevex_capture huevex_capture;   /* one open source */
typedef struct huevex_shortcut huevex_shortcut; /* the global shortcut */

/* The state of a source, for the user notice. */
enum huevex_capture_state {
  HUEVEX_CAPTURE_IDLE = 0,    /* not wanted: nothing is captured */
  HUEVEX_CAPTURE_WAITING = 1, /* wanted; the first frame or the portal's answer is on its way */
  HUEVEX_CAPTURE_LIVE = 2,    /* wanted, and reads give the screen as it is */
  HUEVEX_CAPTURE_REFUSED = 3, /* the user or the desktop said no; the reason says who */
  HUEVEX_CAPTURE_FAILED = 4,  /* the screen cannot be read; the reason says why */
  /* the desktop has not answered yet: a request to the portal is out (the
   * desktop may be asking the user, its dialog up), or a stream it started
   * has not sent its first picture; each has a deadline of its own */
  HUEVEX_CAPTURE_ASKING = 5,
  /* a request to the portal is still out past the portal's wait: the desktop
   * may still be asking the user (its dialog up); a late answer is taken */
  HUEVEX_CAPTURE_STILL_ASKING = 6
};

/* The state of the global shortcut. */
enum huevex_shortcut_state {
  /* asked for, not answered yet: the desktop may be asking the user */
  HUEVEX_SHORTCUT_WAITING = 0,
  HUEVEX_SHORTCUT_BOUND = 1,   /* presses are counted */
  HUEVEX_SHORTCUT_REFUSED = 2, /* the user or the desktop said no; the reason says who */
  HUEVEX_SHORTCUT_FAILED = 3,  /* there is none; the reason says why */
  /* the desktop offers programs no global shortcut (its portal has none):
   * the user binds the command in its settings instead */
  HUEVEX_SHORTCUT_UNAVAILABLE = 4
};

/* What a read answers. */
enum huevex_capture_read {
  HUEVEX_READ_OK = 0,
  HUEVEX_READ_NO_FRAME = 1, /* nothing current to read yet: try again on a later tick */
  HUEVEX_READ_FAILED = 2    /* the source failed (see the state) */
};

/* About the pixels one read returned. */
typedef struct huevex_capture_frame_info {
  /* When the oldest frame the read used was taken, CLOCK_MONOTONIC in
   * nanoseconds (the compositor's presentation time where it gives one). */
  int64_t captured_ns;
  /* 1 when the pixels come from an earlier snapshot kept while a new one is
   * awaited (the desktop portal); 0 when they are current. */
  int32_t stale;
  int32_t reserved;
} huevex_capture_frame_info;

/* Settings for open; zero means the default. */
typedef struct huevex_capture_options {
  uint32_t size;              /* sizeof(huevex_capture_options) */
  uint32_t portal_timeout_ms; /* how long to wait for the portal's answer (default 25 s) */
} huevex_capture_options;

typedef struct huevex_capture_api {
  uint32_t version; /* HUEVEX_CAPTURE_ABI_VERSION */
  uint32_t size;    /* sizeof(huevex_capture_api): later versions only append */

  /* Opens a source: kind is "screencopy" (the compositor's capture protocol),
   * "screencast" (the desktop portal's screen cast over PipeWire), "portal"
   * (the desktop portal's screenshot) or "auto" (screencopy where the
   * compositor offers it, else the screen cast, else the screenshot; kind
   * tells which, and may change while the source runs). Returns NULL and writes why, for
   * the user, into reason (NUL-terminated, cut to reason_size) when it cannot
   * be had. options may be NULL. */
  huevex_capture* (*open)(const char* kind, const huevex_capture_options* options, char* reason,
                          size_t reason_size);
  /* Stops everything the source runs and frees it. NULL is ignored. */
  void (*close)(huevex_capture* capture);
  /* Which source serves now: "screencopy", "screencast" or "portal", a
   * static string. Under "auto" the screen cast gives way to "portal" where
   * the desktop has none, refuses it, or sends no frames. */
  const char* (*kind)(huevex_capture* capture);

  /* The descriptors to poll, with the events to poll for, written into fds
   * (at most max); returns how many. Ask again before every poll: the set and
   * the events change. */
  int (*poll_fds)(huevex_capture* capture, struct pollfd* fds, int max);
  /* Milliseconds until dispatch must run even if no descriptor is ready
   * (a portal time-out); -1 when there is no such deadline. */
  int (*timeout_ms)(huevex_capture* capture);
  /* Handles whatever has arrived; never blocks. Returns the state. */
  int (*dispatch)(huevex_capture* capture);

  /* wanted 1: keep frames coming (a pick started, the magnifier opened);
   * wanted 0: stop capturing and free the frames (the screen cast keeps its
   * session a few seconds more, so that the next pick reads at once).
   * Returns the state. */
  int (*set_wanted)(huevex_capture* capture, int wanted);
  /* The size of the X root window, which the portal's snapshot is scaled to;
   * the compositor capture takes its layout from the compositor instead. */
  void (*set_root_size)(huevex_capture* capture, int32_t width, int32_t height);

  /* Reads the block at (left, top) in X root coordinates, width x height,
   * into out (row-major, 0x00BBGGRR, width per row). Pixels off every output
   * read black. info may be NULL. Never waits for a frame. */
  int (*read)(huevex_capture* capture, int32_t left, int32_t top, int32_t width, int32_t height,
              uint32_t* out, huevex_capture_frame_info* info);

  /* The state, and for REFUSED and FAILED the reason for the user (else an
   * empty string) written into reason. */
  int (*state)(huevex_capture* capture, char* reason, size_t reason_size);

  /* Where the pointer's picture may lie now, in X root coordinates (width or
   * height 0: nowhere known). Compositors that draw the pointer in software
   * put it into the captured frames; reads then give, under it, the pixels
   * last seen there without it. */
  void (*set_pointer)(huevex_capture* capture, int32_t left, int32_t top, int32_t width,
                      int32_t height);

  /* Since version 2: the desktop portal's global shortcut, for the rest of
   * the run, on a connection of its own (no source need be open). trigger is
   * the keys wished for in the XDG shortcuts format ("LOGO+ALT+c"); the
   * desktop may choose others, or ask the user. Returns NULL and writes why
   * into reason when the desktop session's bus cannot be reached. */
  huevex_shortcut* (*shortcut_open)(const char* trigger, char* reason, size_t reason_size);
  /* Gives the shortcut back to the desktop and frees it. NULL is ignored. */
  void (*shortcut_close)(huevex_shortcut* shortcut);
  /* As poll_fds, timeout_ms and dispatch above; dispatch returns the state. */
  int (*shortcut_poll_fds)(huevex_shortcut* shortcut, struct pollfd* fds, int max);
  int (*shortcut_timeout_ms)(huevex_shortcut* shortcut);
  int (*shortcut_dispatch)(huevex_shortcut* shortcut);
  /* How many times the shortcut was pressed since the last call. */
  int (*shortcut_presses)(huevex_shortcut* shortcut);
  /* The state, and for REFUSED and FAILED the reason for the user (else an
   * empty string) written into reason. */
  int (*shortcut_state)(huevex_shortcut* shortcut, char* reason, size_t reason_size);
} huevex_capture_api;

/* The module's entry: the table for the ABI version the caller was built
 * with, or NULL when the module cannot serve it (a later one). */
typedef const huevex_capture_api* (*huevex_capture_entry_fn)(uint32_t abi_version);

#ifdef __cplusplus
}
#endif

#endif /* HUEVEX_CAPTURE_ABI_H */
