#include "picker/frm_main.h"
#include <shell/platform/x11/x11.h>
