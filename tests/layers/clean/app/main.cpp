#include <shell/platform/x11/x11.h>

#include "picker/frm_main.h"
