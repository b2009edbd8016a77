// The drawing scripts of the artwork tables: commands separated by ";", each
// a word and its numbers, drawn on a QPainter in pixels.
//
//   pen COLOUR [WIDTH]    outline colour (and width) of what follows; "nopen" for none
//   brush COLOUR          fill of shapes; "nobrush" for none
//   line X Y X Y ...      an open polyline
//   poly X Y X Y ...      a closed, filled polygon
//   rect L T R B          a rectangle whose outline covers L..R-1 by T..B-1
//   ellipse L T R B       the ellipse inside that rectangle
//   fill L T R B          fills L..R-1 by T..B-1 with the brush, no outline
//   text X Y SIZE [bold] 'TEXT'    text in the pen colour, left end and baseline at X, Y
//   ctext X Y SIZE [bold] 'TEXT'   the same, centred on X
//
// A colour is #rrggbb or one of the names of `namedColour`.
#pragma once

#include <QColor>

#include <map>
#include <string>

class QPainter;

namespace artwork {

/// black, white, grey, darkgrey, lightgrey, red, darkred, green, darkgreen,
/// blue, darkblue, yellow, orange, brown, purple, teal, and the variables
/// given; an invalid colour for another name.
QColor namedColour(const std::string& name, const std::map<std::string, QColor>& variables = {});

/// Draws the script; false with a message naming the picture, the command's
/// place and the token when it cannot be read.
bool drawScript(QPainter& painter, const std::string& picture, const std::string& script, std::string* error,
                const std::map<std::string, QColor>& variables = {});

} // namespace artwork
