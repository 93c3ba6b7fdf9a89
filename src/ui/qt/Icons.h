// The transport and application icons, drawn at run time: black shapes on a transparent ground.
#pragma once

#include <QIcon>

namespace tarvex::qt {

enum class TransportIcon { Rewind, Play, FastForward, NextEntry, Pause, Stop };

QIcon transportIcon(TransportIcon which);
// The application icon, 32 x 32 and 16 x 16.
QIcon applicationIcon();

}  // namespace tarvex::qt
