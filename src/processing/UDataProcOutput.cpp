// SPDX-License-Identifier: GPL-3.0-or-later
// The processing window's outputs: the text exports and the printed page.
// The exports and printing are written here.
#include "processing/UDataProc.h"

namespace tavi {

void TFDataProc::MExportAsciiClick() {}

void TFDataProc::DOSaveTBClick() {}

void TFDataProc::MPrintClick() {}

void TFDataProc::MPrintPdfClick() {}

void TFDataProc::MExportDataClick() {}

} // namespace tavi
