// The forms toolkit: forms built from their layouts, loaded on first use,
// shown, hidden and unloaded; their controls painted and hit-tested; mouse
// capture from press to release; timers; the clipboard; and the default
// handling of run-time errors. What the program includes to have all of it.
#pragma once

#include "shell/forms/clipboard.h"
#include "shell/forms/controls.h"
#include "shell/forms/form.h"
#include "shell/forms/layout.h"
#include "shell/forms/runtime.h"
