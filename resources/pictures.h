// The program's pictures as text in the source: a string for each row from the
// top, a character for each pixel ("#" black, "W" white, "c" cyan, "s" silver,
// "g" grey, "." see-through).
#pragma once

#include <span>

#include "shell/platform/platform.h"

namespace huevex::pictures {

extern const char* const kQuestionMap[16];
extern const char* const kMagnifierMap[16];
extern const char* const kCaretMap[16];
extern const char* const kCrosshairMap[15];
extern const char* const kIcon32Map[32];
extern const char* const kIcon16Map[16];

// A map as a picture: transparent pixels have mask 1 and color black, so
// they leave the surface beneath unchanged.
Picture FromMap(std::span<const char* const> rows);

const Picture& Question();
const Picture& Magnifier();
const Picture& Caret();
const Picture& Crosshair();
const Picture& ApplicationIcon32();
const Picture& ApplicationIcon16();
// The two-color 32 x 32 image: black and grey draw black, the light colors
// white, and everything outside the drawing inverts what lies beneath.
const Picture& ApplicationIconMono();

}  // namespace huevex::pictures
