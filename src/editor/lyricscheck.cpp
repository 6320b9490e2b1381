#include "editor/lyricscheck.h"

#include "core/lrc.h"
#include "desktop/platformtools.h"
#include "document/lyricsdocument.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tarvelin {

namespace {

const QString Title = QStringLiteral("检查歌词");

} // namespace

LyricsCheckDialog::LyricsCheckDialog(QPlainTextEdit *editor, LyricsDocument *lyrics, QWidget *parent)
    : QDialog(parent, Qt::Tool), m_editor(editor), m_lyrics(lyrics)
{
    setObjectName(QStringLiteral("lyricsCheck"));
    setWindowTitle(Title);
    setModal(false);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("problems"));
    m_list->setColumnCount(2);
    m_list->setHeaderLabels({QStringLiteral("行"), QStringLiteral("问题")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_list->setToolTip(QStringLiteral("双击一行，光标就到歌词的那一行"));
    // A double-click or Enter on a row.
    connect(m_list, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem *item) { goToLine(item->data(0, Qt::UserRole).toInt()); });

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *again = buttons->addButton(QStringLiteral("重新检查"), QDialogButtonBox::ActionRole);
    again->setObjectName(QStringLiteral("checkAgain"));
    buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    connect(again, &QPushButton::clicked, this, [this] { check(m_duration); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    resize(460, 300);
}

int LyricsCheckDialog::check(double durationSeconds)
{
    m_duration = durationSeconds;
    m_list->clear();
    if (!m_lyrics)
        return 0;
    const QList<LyricsProblem> problems = checkLyrics(m_lyrics->lines(), durationSeconds);
    for (const LyricsProblem &problem : problems) {
        auto *item = new QTreeWidgetItem(m_list, {QString::number(problem.line + 1), problem.message});
        item->setData(0, Qt::UserRole, problem.line);
        item->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
    }
    setWindowTitle(QStringLiteral("%1（%2 个问题）").arg(Title).arg(problems.size()));
    return int(problems.size());
}

void LyricsCheckDialog::goToLine(int line)
{
    if (!m_editor)
        return;
    const QTextBlock block = m_editor->document()->findBlockByNumber(line);
    if (!block.isValid())
        return;
    QTextCursor cursor = m_editor->textCursor();
    cursor.setPosition(block.position());
    m_editor->setTextCursor(cursor);
    m_editor->ensureCursorVisible();
    m_editor->activateWindow();
    m_editor->setFocus(Qt::OtherFocusReason);
}

void checkLyricsOf(LyricsCheckDialog *dialog, double durationSeconds, PlatformTools &tools)
{
    if (dialog->check(durationSeconds) == 0) {
        dialog->hide();
        tools.showInformation(dialog->parentWidget(), Title, QStringLiteral("没有发现问题。"));
        return;
    }
    dialog->show();
    dialog->raise();
}

} // namespace tarvelin
