// The one way the Win32 backend includes <windows.h>.
//
// The seam comes first: it declares constants under Win32's own names
// (COLOR_WINDOW, SWP_NOSIZE, ...), which <windows.h> then defines as macros
// standing for the same numbers. The other order would turn those
// declarations into nonsense.
#pragma once

#include "shell/platform/platform.h"
// Keep <windows.h> below the seam; the defines trim it and keep min/max usable.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>
