#pragma once
#include <shell/platform/platform.h>

#include <vector>
