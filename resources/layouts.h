// The three windows as data: their own properties and their controls in
// layout order, positions and sizes in twips.
#pragma once

#include "shell/forms/layout.h"

namespace huevex::layouts {

const FormLayout& Main();
const FormLayout& Zoom();
const FormLayout& About();

}  // namespace huevex::layouts
