// Where a widget of the game's menus lies on the screen, worked out from
// the GUI description the way the game places it: the menu panels at the
// top of the tree are centred on the screen, children sit at their offsets,
// GUI y runs upwards from the bottom of the screen.
#pragma once

#include <string>

namespace glimro_e2e {

// A rectangle in window pixels, y downwards from the top.
struct ScreenRect {
  int left = -1;
  int top = -1;
  int width = 0;
  int height = 0;
  bool found() const { return left >= 0; }
  int centreX() const { return left + width / 2; }
  int centreY() const { return top + height / 2; }
};

// Where the named component lies on a screen of the given size; not found
// when the description has no such name.
ScreenRect widgetRect(const std::string& guiFile, const std::string& name, int screenWidth, int screenHeight);

// How far the game's bitmap font in the folder moves on printing the text,
// in pixels; -1 when the font cannot be read.
int printedWidth(const std::string& fontFolder, const std::string& text);

}  // namespace glimro_e2e
