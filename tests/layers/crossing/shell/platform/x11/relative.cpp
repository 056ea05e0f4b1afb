// A backend reaching the program through its own folder.
#include "../../../picker/frm_main.h"
