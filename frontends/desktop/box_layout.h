// How the desktop program lays out the text of its message boxes for a
// person who never opens a terminal: the fact first and in words, what to do
// below it, and the codes for support and what was seen at each address
// behind the box's Details button. Advice to type a command is said in the
// window's terms.
#pragma once

#include <string>

#include "winui/qt/qt_backend.h"

namespace qtr5 {

// What the program knows beside a box's own text.
struct BoxContext {
  // Where the default image was looked for, for the box that says it is
  // missing; used once.
  std::string defaultImageNote;
  // What the transports told since the last box (one line each): the
  // details of the failure the next "Why" box explains.
  std::string transportLines;
};

BoxText LayOutBox(const std::string& text, const std::string& caption, BoxContext& context);

}  // namespace qtr5
