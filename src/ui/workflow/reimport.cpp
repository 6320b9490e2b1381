#include "ui/workflow/reimport.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace tarvelin {

namespace {

const QString NoteName = QStringLiteral("encodingNote");

// The note in the right end of the path box: as wide as its text, never more
// than half the box (the path keeps the rest; a longer note is cut short
// with "…", the box's tooltip naming the encoding in full), and placed again
// whenever the box changes size or font.
class EncodingNote : public QLabel {
public:
    explicit EncodingNote(QLineEdit *box) : QLabel(box), m_box(box)
    {
        setObjectName(NoteName);
        setTextFormat(Qt::PlainText);
        setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        setForegroundRole(QPalette::PlaceholderText);
        // Clicks and the tooltip go to the box underneath.
        setAttribute(Qt::WA_TransparentForMouseEvents);
        box->installEventFilter(this);
    }

    void showText(const QString &text)
    {
        m_full = text;
        place();
        QLabel::show();
    }

    void place()
    {
        ensurePolished();
        const QFontMetrics metrics(font());
        const int pad = 6;
        const int room = m_box->width() / 2;
        QString shown = m_full;
        if (metrics.horizontalAdvance(shown) + pad > room)
            shown = metrics.elidedText(m_full, Qt::ElideRight, std::max(0, room - pad));
        setText(shown);
        const int width = std::min(room, metrics.horizontalAdvance(shown) + pad);
        setGeometry(m_box->width() - width - 2, 0, width, m_box->height());
        // The path scrolls under the note's left edge, never behind it.
        m_box->setTextMargins(0, 0, width + 2, 0);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_box && isVisibleTo(m_box)
            && (event->type() == QEvent::Resize || event->type() == QEvent::FontChange
                || event->type() == QEvent::StyleChange))
            place();
        return QLabel::eventFilter(watched, event);
    }
    void changeEvent(QEvent *event) override
    {
        QLabel::changeEvent(event);
        if (isVisibleTo(m_box) && (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange))
            place();
    }

private:
    QLineEdit *m_box;
    QString m_full;
};

} // namespace

QString importedBlockText(const QStringList &lines)
{
    QString text = lines.join(u'\n');
    text.append(u'\n');
    return text;
}

ImportedText::ImportedText(QPlainTextEdit *editor, QLineEdit *Text2)
    : QObject(editor), m_editor(editor), m_Text2(Text2)
{
    setObjectName(QStringLiteral("importedText"));
    connect(editor->document(), &QTextDocument::contentsChange, this, &ImportedText::contentsChange);
    // A new path (another import, a cancelled one) is not what the note was about.
    if (Text2)
        connect(Text2, &QLineEdit::textChanged, this, [Text2] { clearEncodingNote(Text2); });
}

void ImportedText::imported(const LyricsFile &file, int start, int end)
{
    m_bytes = file.bytes;
    m_encoding = file.encoding;
    m_start = start;
    m_end = end;
    m_text = currentText();
    m_intact = true;
    if (!m_Text2)
        return;
    if (file.guessed)
        showEncodingNote(m_Text2, file.encoding, true);
    else
        clearEncodingNote(m_Text2);
}

QString ImportedText::currentText() const
{
    QTextCursor cursor(m_editor->document());
    cursor.setPosition(m_start);
    cursor.setPosition(m_end, QTextCursor::KeepAnchor);
    return cursor.selectedText();
}

void ImportedText::contentsChange(int position, int removed, int added)
{
    // Changes after the text (the next import, typing on the line after it)
    // leave it whole.
    if (m_replacing || !m_intact || !m_editor || position >= m_end)
        return;
    // Changes that stop short of it move it; an insertion right at its start
    // goes into its first line.
    const bool intoFirstLine = position == m_start && removed == 0 && added > 0;
    if (position + removed <= m_start && !intoFirstLine) {
        m_start += added - removed;
        m_end += added - removed;
        return;
    }
    // Format changes (a highlighter's) report their range as removed and
    // added again; the text is still the imported one then.
    m_intact = removed == added && currentText() == m_text;
}

QString ImportedText::unavailableReason() const
{
    if (!m_encoding)
        return QStringLiteral("还没有导入文本");
    if (!m_intact || !m_editor)
        return QStringLiteral("导入的文字已经改动过，重新导入会丢掉这些改动");
    return {};
}

std::optional<TextEncoding> ImportedText::encoding() const
{
    return m_encoding;
}

QString ImportedText::reimportAs(TextEncoding encoding)
{
    if (const QString reason = unavailableReason(); !reason.isEmpty())
        return reason;
    const DecodedText decoded = decodeTextAs(m_bytes, encoding);
    if (!decoded.error.isEmpty())
        return decoded.error;
    const QStringList lines = splitLines(decoded.text);
    const QString text = lines.isEmpty() ? QString() : importedBlockText(lines);

    QTextCursor cursor(m_editor->document());
    cursor.setPosition(m_start);
    cursor.setPosition(m_end, QTextCursor::KeepAnchor);
    m_replacing = true;
    cursor.beginEditBlock();
    cursor.insertText(text);
    cursor.endEditBlock();
    m_replacing = false;
    m_end = m_start + int(text.size());
    m_text = currentText();
    m_encoding = encoding;
    if (m_Text2)
        showEncodingNote(m_Text2, encoding, false);
    return {};
}

void showEncodingNote(QLineEdit *Text2, TextEncoding encoding, bool guessed)
{
    auto *note = static_cast<EncodingNote *>(Text2->findChild<QLabel *>(NoteName, Qt::FindDirectChildrenOnly));
    if (!note)
        note = new EncodingNote(Text2);
    const QString name = encodingName(encoding);
    note->showText(guessed ? QStringLiteral("推测编码：%1").arg(name) : QStringLiteral("编码：%1").arg(name));
    Text2->setToolTip(
        guessed ? QStringLiteral("文本的编码是按内容推测的：%1。文字显示不对时，在歌词区点右键，"
                                 "选“按其他编码重新导入”。")
                      .arg(name)
                : QStringLiteral("文本按 %1 读入。").arg(name));
}

void clearEncodingNote(QLineEdit *Text2)
{
    if (auto *note = Text2->findChild<QLabel *>(NoteName, Qt::FindDirectChildrenOnly))
        note->hide();
    Text2->setTextMargins(0, 0, 0, 0);
    Text2->setToolTip(QString());
}

} // namespace tarvelin
