// The viewer's face and downloader on Qt: its window, a widget the host places on its form,
// and downloads through Qt's network access on the thread's event loop.
#pragma once

#include "viewer/control/parts.h"

namespace vistrel {

// The face factory answers no face when the process has no QApplication, and the downloader
// starts nothing when it has no event loop (QCoreApplication). `chooser` shows the printer
// selection (the library passes its dialog's; null: no selection dialog).
ViewerParts qtViewerParts(PrinterChooser chooser = nullptr);

}  // namespace vistrel
