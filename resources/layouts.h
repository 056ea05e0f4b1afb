// The three windows as data: their own properties and their controls in
// layout order, positions and sizes in twips.
#pragma once

#include <string_view>

#include "shell/forms/layout.h"

namespace huevex::layouts {

// The names of the controls the forms' procedures handle events of or reach:
// the layouts are written with them, and the forms bind and reach them by them.
namespace controls {
inline constexpr std::string_view picCursor = "picCursor";
inline constexpr std::string_view timSpy = "timSpy";
inline constexpr std::string_view picColor = "picColor";
inline constexpr std::string_view lblDECvalue = "lblDECvalue";
inline constexpr std::string_view lblRGBvalue = "lblRGBvalue";
inline constexpr std::string_view lblHEXvalue = "lblHEXvalue";
inline constexpr std::string_view imgMagnify = "imgMagnify";
inline constexpr std::string_view lblMagnify = "lblMagnify";
inline constexpr std::string_view imgCaret = "imgCaret";
inline constexpr std::string_view imgQuestion = "imgQuestion";
inline constexpr std::string_view tmrZoom = "tmrZoom";
inline constexpr std::string_view picZoom = "picZoom";
}  // namespace controls

const FormLayout& Main();
const FormLayout& Zoom();
const FormLayout& About();

}  // namespace huevex::layouts
