// The pictures of the main window's toolbar buttons.
#pragma once

#include "ImageList.h"

namespace tarnwick {

// The mask (transparent) colour of the pictures: light grey.
inline const QColor kToolbarMaskColor{192, 192, 192};

// Thirteen 16 x 16 pictures in the 16-colour palette, drawn on the mask colour
// and keyed "New", "Open", "Save", "Print", "Cut", "Copy", "Paste", "Bold",
// "Italic", "Underline", "Align Left", "Center", "Align Right", in that order.
ImageList buildToolbarIcons();

}  // namespace tarnwick
