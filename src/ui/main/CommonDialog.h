// The settings of the main window's shared file/printer dialog. It holds no
// widget: the commands that use it set these fields and then show the dialog
// they need.
#pragma once

#include <QString>

namespace tarnwick {

struct CommonDialog {
    QString DialogTitle;
    // Filter as "description|pattern" pairs, e.g. "All Files (*.*)|*.*".
    QString Filter;
    // The file chosen by the last file dialog; empty after a cancel.
    QString FileName;
    // When true a cancel is reported as an error instead of an empty name.
    bool CancelError = false;
};

}  // namespace tarnwick
