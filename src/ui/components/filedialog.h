#pragma once

#include "ui/components/platformtools.h"

#include <QString>

class QWidget;

namespace tarvelin {

// A file dialog object as the window keeps it: its title, its type filter
// ("description|pattern|..."; the first pair is preselected) and the last
// chosen FileName, which survives between uses. A cancelled dialog leaves
// FileName as it was.
class FileDialog {
public:
    FileDialog(PlatformTools &tools, QString title, QString filter);

    QString DialogTitle;
    QString Filter;
    QString FileName;
    // Kept for callers that set it; a cancel is never raised as an error.
    bool CancelError = false;

    // Modal; true when the user chose a file (FileName then holds its full
    // path), false on cancel.
    bool ShowOpen(QWidget *parent);
    bool ShowSave(QWidget *parent);

private:
    bool show(QWidget *parent, PlatformTools::FileMode mode);
    PlatformTools &m_tools;
};

} // namespace tarvelin
