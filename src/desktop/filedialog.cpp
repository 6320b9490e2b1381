#include "desktop/filedialog.h"

namespace tarvelin {

FileDialog::FileDialog(PlatformTools &tools, const QString &title, const QList<FileType> &types)
    : m_tools(tools), m_title(title)
{
    // Qt's name filter: "description (pattern)", or the bare pattern.
    for (const FileType &type : types)
        m_nameFilters << (type.description == type.pattern
                              ? type.pattern
                              : QStringLiteral("%1 (%2)").arg(type.description, type.pattern));
}

bool FileDialog::chooseOpen(QWidget *parent)
{
    return show(parent, PlatformTools::FileMode::Open);
}

bool FileDialog::chooseSave(QWidget *parent)
{
    return show(parent, PlatformTools::FileMode::Save);
}

bool FileDialog::show(QWidget *parent, PlatformTools::FileMode mode)
{
    const auto chosen = m_tools.chooseFile(parent, mode, m_title, m_nameFilters);
    if (!chosen || chosen->isEmpty())
        return false;
    chosenPath = *chosen;
    return true;
}

} // namespace tarvelin
