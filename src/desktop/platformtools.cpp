#include "desktop/platformtools.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QInputDialog>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>

namespace tarvelin {

namespace {

// The file dialog's size and date columns in the default locale (see
// installChineseTranslations) rather than the system's, which Qt's file
// model uses.
class FileColumnsInDefaultLocale : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
        if (role != Qt::DisplayRole || !files || (index.column() != 1 && index.column() != 3))
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        if (index.column() == 1)
            return files->isDir(source) ? QString() : QLocale().formattedDataSize(files->size(source));
        return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
    }
};

} // namespace

std::unique_ptr<QFileDialog> DesktopTools::fileDialog(QWidget *parent, FileMode mode, const QString &title,
                                                      const QStringList &nameFilters)
{
    auto dialog = std::make_unique<QFileDialog>(parent, title);
    // Qt's own dialog, in Chinese whatever the desktop's language.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setProxyModel(new FileColumnsInDefaultLocale(dialog.get()));
    dialog->setAcceptMode(mode == FileMode::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog->setFileMode(mode == FileMode::Open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog->setNameFilters(nameFilters);
    if (!nameFilters.isEmpty())
        dialog->selectNameFilter(nameFilters.first());
    return dialog;
}

std::optional<QString> DesktopTools::chooseFile(QWidget *parent, FileMode mode, const QString &title,
                                                const QStringList &nameFilters)
{
    const auto dialog = fileDialog(parent, mode, title, nameFilters);
    if (dialog->exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog->selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        return std::nullopt;
    return files.first();
}

void DesktopTools::showError(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::warning(parent, title, text);
}

PlatformTools::CloseAnswer DesktopTools::askSaveBeforeClose(QWidget *parent)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Tarvelin"),
                    QStringLiteral("歌词已修改，是否在关闭前保存？"), QMessageBox::NoButton, parent);
    QPushButton *save = box.addButton(QStringLiteral("保存"), QMessageBox::AcceptRole);
    QPushButton *discard = box.addButton(QStringLiteral("不保存"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save)
        return CloseAnswer::Save;
    if (box.clickedButton() == discard)
        return CloseAnswer::Discard;
    return CloseAnswer::Cancel;
}

bool DesktopTools::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

bool PlatformTools::askYesNo(QWidget *, const QString &, const QString &)
{
    return false;
}

std::optional<QString> PlatformTools::askText(QWidget *, const QString &, const QString &, const QString &)
{
    return std::nullopt;
}

bool DesktopTools::askYesNo(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    QPushButton *yes = box.addButton(QStringLiteral("是"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("否"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void DesktopTools::showInformation(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::information(parent, title, text);
}

PlatformTools::RestoreAnswer DesktopTools::askRestoreLyrics(QWidget *parent, const QString &details)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("恢复歌词"), QStringLiteral("恢复上次未保存的歌词？"),
                    QMessageBox::NoButton, parent);
    box.setInformativeText(details);
    QPushButton *restore = box.addButton(QStringLiteral("恢复"), QMessageBox::AcceptRole);
    QPushButton *discard = box.addButton(QStringLiteral("丢弃"), QMessageBox::DestructiveRole);
    box.setDefaultButton(restore);
    box.exec();
    if (box.clickedButton() == restore)
        return RestoreAnswer::Restore;
    if (box.clickedButton() == discard)
        return RestoreAnswer::Discard;
    return RestoreAnswer::Later;
}

std::optional<QString> DesktopTools::askText(QWidget *parent, const QString &title, const QString &label,
                                             const QString &text)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(parent, title, label, QLineEdit::Normal, text, &ok);
    return ok ? std::optional<QString>(answer) : std::nullopt;
}

} // namespace tarvelin
