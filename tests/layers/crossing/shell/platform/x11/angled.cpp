// A backend reaching the program through the include roots.
#include <picker/frm_main.h>
