// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures of the splash, the about box and the sound test button, drawn
// in code so that no image file has to travel with the program.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

class QWidget;

namespace tavi {

// A first-derivative absorption line over a field axis, with "TAVI" above it.
QPixmap ResonancePicture(QSize size, bool withTitle);
// A loudspeaker with sound waves.
QIcon SpeakerIcon();
// Moves a top-level window to the centre of the screen it is on.
void CentreOnScreen(QWidget& window);

} // namespace tavi
