#pragma once

// A small scene that uses every drawing piece of the toolkit, for pixel and
// draw-log assertions and for looking at the result.

#include "ui_toolkit/canvas.h"
#include "ui_toolkit/text.h"
#include "ui_toolkit/text_input.h"
#include "ui_toolkit/theme.h"

namespace kova::ui::testing {

// Fixed positions the tests check.
inline constexpr Rect scene_rail{0, 0, 64, 10000};
inline constexpr Rect scene_primary_button{96, 120, 246, 152};
inline constexpr Rect scene_card{88, 180, 620, 252};

void paint_scene(Painter& p, const TextRenderer& tr, const Theme& t, TextInput& input);

}  // namespace kova::ui::testing
