#include "ui/components/filedialog.h"

#include "core/filefilter.h"

#include <utility>

namespace tarvelin {

FileDialog::FileDialog(PlatformTools &tools, QString title, QString filter)
    : DialogTitle(std::move(title)), Filter(std::move(filter)), m_tools(tools)
{
}

bool FileDialog::ShowOpen(QWidget *parent)
{
    return show(parent, PlatformTools::FileMode::Open);
}

bool FileDialog::ShowSave(QWidget *parent)
{
    return show(parent, PlatformTools::FileMode::Save);
}

bool FileDialog::show(QWidget *parent, PlatformTools::FileMode mode)
{
    const auto chosen = m_tools.chooseFile(parent, mode, DialogTitle, toNameFilters(parseFilter(Filter)));
    if (!chosen || chosen->isEmpty())
        return false;
    FileName = *chosen;
    return true;
}

} // namespace tarvelin
