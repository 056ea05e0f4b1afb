#include "../platform.h"
#include "x11.h"
#include <X11/Xlib.h>
