#include "resources/layouts.h"

#include "resources/pictures.h"

namespace huevex::layouts {
namespace {

using K = ControlKind;

constexpr ColorValue kWhite = 0x00FFFFFF;
constexpr ColorValue kBlack = 0x00000000;
constexpr ColorValue kTableLine = 0x00A0A0A0;

const FontDesc kSmall6{"Small Fonts", 6, 400};
const FontDesc kSmall6Bold{"Small Fonts", 6, 700};
const FontDesc kSmall525{"Small Fonts", 5.25, 400};

// A gray one-pixel line of the code table, from (x1, y1) to (x2, y2).
ControlLayout TableLine(std::string_view name, int x1, int y1, int x2, int y2) {
  return {.name = name,
          .kind = K::Line,
          .container = "fraColors",
          .left = x1,
          .top = y1,
          .width = x2,
          .height = y2,
          .fore_color = kTableLine};
}

// A three-pixel white line beneath the code table.
ControlLayout WhiteLine(std::string_view name, int x1, int y1, int x2, int y2) {
  return {.name = name,
          .kind = K::Line,
          .container = "fraColorInfo",
          .left = x1,
          .top = y1,
          .width = x2,
          .height = y2,
          .fore_color = kWhite,
          .line_width = 3};
}

ControlLayout CodeValue(std::string_view name, int top) {
  return {.name = name,
          .kind = K::Label,
          .container = "fraColors",
          .left = 120,
          .top = top,
          .width = 975,
          .height = 255,
          .fore_color = kBlack,
          .transparent = true};
}

ControlLayout RowTitle(std::string_view name, int top, std::string_view caption) {
  return {.name = name,
          .kind = K::Label,
          .container = "fraColorInfo",
          .left = 0,
          .top = top,
          .width = 375,
          .height = 255,
          .caption = caption,
          .alignment = TextAlign::Right,
          .transparent = true,
          .font = kSmall6};
}

ControlLayout AboutLabel(std::string_view name, int top, int height, std::string_view caption,
                         const FontDesc& font) {
  return {.name = name,
          .kind = K::Label,
          .container = "fraAbout",
          .left = 0,
          .top = top,
          .width = 2415,
          .height = height,
          .caption = caption,
          .alignment = TextAlign::Center,
          .transparent = true,
          .font = font};
}

}  // namespace

const FormLayout& Main() {
  static const FormLayout layout{
      .name = "frmMain",
      .caption = "HUEVEX",
      .framed = true,
      .taskbar = true,
      .client_width = 2535,
      .client_height = 1575,
      .start_up = StartUpPosition::CenterScreen,
      .font = {"Arial", 8.25, 400},
      .icon = &pictures::ApplicationIcon32(),
      .controls = {
          {.name = "fraQuestion",
           .kind = K::Frame,
           .left = 2160,
           .top = 1080,
           .width = 255,
           .height = 375},
          {.name = controls::imgQuestion,
           .kind = K::Image,
           .container = "fraQuestion",
           .left = 0,
           .top = 120,
           .width = 240,
           .height = 240,
           .picture = &pictures::Question()},
          {.name = "fraMagnify",
           .kind = K::Frame,
           .left = 120,
           .top = 1080,
           .width = 1935,
           .height = 375},
          {.name = controls::imgMagnify,
           .kind = K::Image,
           .container = "fraMagnify",
           .left = 120,
           .top = 120,
           .width = 240,
           .height = 240,
           .picture = &pictures::Magnifier()},
          {.name = controls::imgCaret,
           .kind = K::Image,
           .container = "fraMagnify",
           .left = 1560,
           .top = 120,
           .width = 240,
           .height = 240,
           .picture = &pictures::Caret()},
          {.name = controls::lblMagnify,
           .kind = K::Label,
           .container = "fraMagnify",
           .left = 120,
           .top = 120,
           .width = 1695,
           .height = 255,
           .caption = "MAGNiFIER",
           .back_color = kWindowColor,
           .fore_color = kWindowTextColor,
           .alignment = TextAlign::Center,
           .transparent = true,
           .font = kSmall6},
          {.name = controls::timSpy, .kind = K::Timer, .enabled = false, .interval = 1},
          {.name = controls::picCursor,
           .kind = K::PictureBox,
           .left = 240,
           .top = 720,
           .width = 225,
           .height = 225,
           .border = false,
           .picture = &pictures::Crosshair(),
           .auto_size = true},
          {.name = controls::picColor,
           .kind = K::PictureBox,
           .left = 120,
           .top = 120,
           .width = 495,
           .height = 255,
           .back_color = kWindowColor,
           .fore_color = kWindowTextColor},
          {.name = "fraColorInfo",
           .kind = K::Frame,
           .left = 720,
           .top = 0,
           .width = 1695,
           .height = 1095},
          {.name = "fraColors",
           .kind = K::Frame,
           .container = "fraColorInfo",
           .left = 480,
           .top = 240,
           .width = 1095,
           .height = 735,
           .back_color = kWhite,
           .fore_color = kWindowTextColor,
           .border = false},
          TableLine("lneBottom", 0, 720, 1200, 720),
          TableLine("lneTop", 0, 0, 1200, 0),
          TableLine("lneRight", 1080, 0, 1080, 720),
          TableLine("lneLeft", 0, 0, 0, 720),
          TableLine("Line1", 0, 240, 1200, 240),
          CodeValue(controls::lblDECvalue, 240),
          CodeValue(controls::lblHEXvalue, 0),
          CodeValue(controls::lblRGBvalue, 480),
          TableLine("Line2", 0, 480, 1200, 480),
          WhiteLine("Line4", 1560, 240, 1560, 960),
          WhiteLine("Line3", 480, 960, 1560, 960),
          RowTitle("lblRGB", 720, "RGB:"),
          RowTitle("lblDEC", 480, "DEC:"),
          RowTitle("lblHEX", 240, "HEX:"),
          {.name = "fraPicker",
           .kind = K::Frame,
           .left = 120,
           .top = 360,
           .width = 495,
           .height = 735},
          {.name = "lblPicker",
           .kind = K::Label,
           .container = "fraPicker",
           .left = 0,
           .top = 120,
           .width = 495,
           .height = 255,
           .caption = "PiCKER",
           .back_color = kWindowColor,
           .fore_color = kWindowTextColor,
           .alignment = TextAlign::Center,
           .transparent = true,
           .font = kSmall525},
      }};
  return layout;
}

const FormLayout& Zoom() {
  static const FormLayout layout{
      .name = "frmZoom",
      .caption = "Screen Zoom",
      .framed = false,
      .taskbar = false,
      .client_width = 2625,
      .client_height = 1590,
      .start_up = StartUpPosition::Manual,
      .icon = &pictures::ApplicationIcon32(),
      .controls = {
          {.name = controls::tmrZoom, .kind = K::Timer, .enabled = true, .interval = 50},
          {.name = controls::picZoom,
           .kind = K::PictureBox,
           .left = 240,
           .top = 240,
           .width = 2115,
           .height = 1095,
           .back_color = kWindowColor,
           .fore_color = kWindowTextColor,
           .pixel_scale = true,
           .persistent_image = true},
          {.name = "fraMagnify",
           .kind = K::Frame,
           .left = 120,
           .top = 0,
           .width = 2415,
           .height = 1455},
      }};
  return layout;
}

const FormLayout& About() {
  static const FormLayout layout{
      .name = "frmAbout",
      .caption = "Form1",
      .framed = false,
      .taskbar = false,
      .client_width = 2625,
      .client_height = 1590,
      .start_up = StartUpPosition::WindowsDefault,
      .font = kSmall6,
      .icon = &pictures::ApplicationIcon32(),
      .controls = {
          {.name = "fraAbout",
           .kind = K::Frame,
           .left = 120,
           .top = 0,
           .width = 2415,
           .height = 1455},
          AboutLabel("lblAboutProtip", 840, 135, "PROTiP: ", kSmall6Bold),
          AboutLabel("lblAboutFoot", 1080, 375,
                     "USE THE MAGNiFiER DROPDOWN TO ZOOM iN ON SMALLER iTEMS!", kSmall6),
          AboutLabel("lblAboutBody", 360, 495,
                     "DRAG CROSSHAiR FROM PiCKER BOX AND DROP ON COLOR TO GET CODES.", kSmall6),
          AboutLabel("lblAboutHead", 120, 255, "USiNG HUEVEX:", kSmall6Bold),
      }};
  return layout;
}

}  // namespace huevex::layouts
