// What every drawing function of the screens gets: the frame's painter, the
// text renderer and the theme.
#pragma once

#include "ui_toolkit/canvas.h"
#include "ui_toolkit/text.h"
#include "ui_toolkit/theme.h"

namespace remote::ui {

struct PaintContext {
  kova::ui::Painter& p;
  const kova::ui::TextRenderer& tr;
  const kova::ui::Theme& theme;
};

}  // namespace remote::ui
