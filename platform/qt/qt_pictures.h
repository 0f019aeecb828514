// The program's pictures for the Qt window: the bitmaps of resources/bitmaps,
// compiled into the program, looked up by their resource identifiers.
#pragma once

#include <QIcon>
#include <QImage>

namespace qtr5 {

// The bitmap with resource identifier `id` (101, 103, 104, 105, 106, 109);
// a null image for any other identifier.
QImage LoadPicture(int id);

// The program's icon (resource 108) in every size it is drawn in; a null
// icon for any other identifier.
QIcon LoadProgramIcon(int id);

// The browse button's picture with its button-face background made
// transparent, so that it sits on any button style.
QPixmap BrowsePixmap();

}  // namespace qtr5
