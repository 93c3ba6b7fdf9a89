// The icons of the pattern and samples windows, drawn at run time: dark shapes on a transparent
// ground, 32 x 32 pixels. The preview's play and stop icons are the transport's triangle and square.
#pragma once

#include <QIcon>

namespace tarvex::qt {

enum class ArrowIcon { Left, Right };

// An arrow: a shaft and a head, pointing left (previous) or right (next).
QIcon arrowIcon(ArrowIcon direction);

}  // namespace tarvex::qt
