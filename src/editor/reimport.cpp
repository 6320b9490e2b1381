#include "editor/reimport.h"

#include "document/lyricsdocument.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace tarvelin {

// Shows on the text's path box, after its path, how the text was read when
// that was a guess or the user's choice: a short note in the box's right end,
// as wide as its text, never more than half the box (the path keeps the rest;
// a longer note is cut short with "…"), placed again whenever the box changes
// size or font, and the box's tooltip, which names the encoding in full. A
// text whose encoding a byte-order mark or valid UTF-8 settled shows nothing.
class EncodingNote : public QLabel {
public:
    explicit EncodingNote(QLineEdit *box) : QLabel(box), m_box(box)
    {
        setObjectName(QStringLiteral("encodingNote"));
        setTextFormat(Qt::PlainText);
        setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        setForegroundRole(QPalette::PlaceholderText);
        // Clicks and the tooltip go to the box underneath.
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
        box->installEventFilter(this);
    }

    void showEncoding(TextEncoding encoding, bool guessed)
    {
        const QString name = encodingName(encoding);
        m_full = guessed ? QStringLiteral("推测编码：%1").arg(name) : QStringLiteral("编码：%1").arg(name);
        place();
        QLabel::show();
        m_box->setToolTip(
            guessed ? QStringLiteral("文本的编码是按内容推测的：%1。文字显示不对时，在歌词区点右键，"
                                     "选“按其他编码重新导入”。")
                          .arg(name)
                    : QStringLiteral("文本按 %1 读入。").arg(name));
    }

    void clearEncoding()
    {
        hide();
        m_box->setTextMargins(0, 0, 0, 0);
        m_box->setToolTip(QString());
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

    QLineEdit *m_box;
    QString m_full;
};

QString importedBlockText(const QStringList &lines)
{
    QString text = lines.join(u'\n');
    text.append(u'\n');
    return text;
}

ImportedText::ImportedText(QPlainTextEdit *editor, LyricsDocument *lyrics, QLineEdit *pathBox)
    : QObject(editor), m_editor(editor), m_lyrics(lyrics), m_note(pathBox ? new EncodingNote(pathBox) : nullptr)
{
    setObjectName(QStringLiteral("importedText"));
    connect(lyrics, &LyricsDocument::changed, this, &ImportedText::lyricsChanged);
    // A new path (another import, a cancelled one) is not what the note was about.
    if (m_note)
        connect(pathBox, &QLineEdit::textChanged, m_note, &EncodingNote::clearEncoding);
}

void ImportedText::imported(const LyricsFile &file, int start, int end)
{
    m_bytes = file.bytes;
    m_encoding = file.encoding;
    m_start = QTextCursor(m_editor->document());
    m_start.setPosition(start);
    m_start.setKeepPositionOnInsert(true);
    m_end = QTextCursor(m_editor->document());
    m_end.setPosition(end);
    m_end.setKeepPositionOnInsert(true);
    m_text = range().selectedText();
    m_intact = true;
    if (!m_note)
        return;
    if (file.guessed)
        m_note->showEncoding(file.encoding, true);
    else
        m_note->clearEncoding();
}

QTextCursor ImportedText::range() const
{
    QTextCursor range(m_start.document());
    range.setPosition(m_start.position());
    range.setPosition(m_end.position(), QTextCursor::KeepAnchor);
    return range;
}

void ImportedText::lyricsChanged(const LinesChange &change)
{
    if (m_replacing || !m_intact || m_start.isNull())
        return;
    // Only a change on its lines can touch it; one on the line after it
    // (where the next import goes) is read too, and found to leave it be.
    if (change.last < m_start.blockNumber() || change.first > m_end.blockNumber())
        return;
    // Format changes (a highlighter's) leave the text as imported.
    m_intact = range().selectedText() == m_text;
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

    QTextCursor cursor = range();
    const int start = cursor.selectionStart();
    m_replacing = true;
    cursor.beginEditBlock();
    cursor.insertText(text);
    cursor.endEditBlock();
    m_replacing = false;
    m_start.setPosition(start);
    m_end.setPosition(cursor.position());
    m_text = range().selectedText();
    m_encoding = encoding;
    if (m_note)
        m_note->showEncoding(encoding, false);
    return {};
}

} // namespace tarvelin
