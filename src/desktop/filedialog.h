#pragma once

#include "desktop/platformtools.h"

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

namespace tarvelin {

// One entry of a file dialog's type list: what the list shows and the
// pattern it matches, e.g. {"歌曲", "*.mp3 *.wma"}. A description equal to its
// pattern is shown once ("*.txt").
struct FileType {
    QString description;
    QString pattern;
};

// A file dialog object as the window keeps it: its title, its type list (the
// first entry is preselected) and the path last chosen, which survives
// between uses. A cancelled dialog leaves chosenPath as it was.
class FileDialog {
public:
    FileDialog(PlatformTools &tools, const QString &title, const QList<FileType> &types);

    QString chosenPath;

    // Modal; true when the user chose a file (chosenPath then holds its full
    // path), false on cancel.
    bool chooseOpen(QWidget *parent);
    bool chooseSave(QWidget *parent);

private:
    bool show(QWidget *parent, PlatformTools::FileMode mode);

    PlatformTools &m_tools;
    QString m_title;
    QStringList m_nameFilters;
};

} // namespace tarvelin
