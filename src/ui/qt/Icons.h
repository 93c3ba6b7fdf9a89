// The transport, viewer and application icons, drawn at run time: black shapes on a transparent
// ground, 32 x 32 pixels. The preview's play and stop icons are the transport's triangle and square.
#pragma once

#include <QIcon>

namespace tarvex::qt {

enum class TransportIcon { Rewind, Play, FastForward, NextEntry, Pause, Stop };

QIcon transportIcon(TransportIcon which);

// The pattern and samples windows' arrows: a shaft and a head, pointing left (previous) or right
// (next).
enum class ArrowIcon { Left, Right };
QIcon arrowIcon(ArrowIcon direction);

// The application icon, 32 x 32 and 16 x 16.
QIcon applicationIcon();

}  // namespace tarvex::qt
