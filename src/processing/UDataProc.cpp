// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/UDataProc.h"

namespace tavi {

TFDataProc::TFDataProc(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("FDataProc"));
    setWindowTitle(QStringLiteral("PROCESSING"));
}

} // namespace tavi
