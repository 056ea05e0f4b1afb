#include "x11.h"

#include <X11/Xlib.h>

#include "../platform.h"
