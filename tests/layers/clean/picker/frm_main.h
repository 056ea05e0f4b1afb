#pragma once
#include "shell/forms/form.h"
