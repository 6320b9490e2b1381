#include "ui/components/platformtools.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace tarvelin {

std::optional<QString> DesktopTools::chooseFile(QWidget *parent, FileMode mode, const QString &title,
                                                const QStringList &nameFilters)
{
    QFileDialog dialog(parent, title);
    dialog.setAcceptMode(mode == FileMode::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(mode == FileMode::Open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilters(nameFilters);
    if (!nameFilters.isEmpty())
        dialog.selectNameFilter(nameFilters.first());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
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

std::optional<int> PlatformTools::askInteger(QWidget *, const QString &, const QString &, int, int, int)
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

std::optional<int> DesktopTools::askInteger(QWidget *parent, const QString &title, const QString &label, int value,
                                            int min, int max)
{
    bool ok = false;
    const int answer = QInputDialog::getInt(parent, title, label, value, min, max, 10, &ok);
    return ok ? std::optional<int>(answer) : std::nullopt;
}

} // namespace tarvelin
