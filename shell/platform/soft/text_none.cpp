#include "shell/platform/soft/text.h"

namespace huevex::soft {

std::unique_ptr<TextRenderer> TextRenderer::Create() { return nullptr; }

}  // namespace huevex::soft
