#include "ui/workflow/songinfo.h"

#include "core/lrc.h"

#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>

#include <cmath>

namespace tarvelin {

namespace {

QString tagValue(QString value)
{
    value.replace(QLatin1Char('['), QChar(0xFF3B));
    value.replace(QLatin1Char(']'), QChar(0xFF3D));
    static const QRegularExpression breaks(QStringLiteral("[\\r\\n\\x{2028}\\x{2029}]+"));
    value.replace(breaks, QStringLiteral(" "));
    return value.trimmed();
}

QString lengthText(double seconds)
{
    const qint64 whole = qint64(std::floor(seconds));
    return QStringLiteral("%1:%2").arg(whole / 60, 2, 10, QLatin1Char('0')).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QStringList editorLines(const QPlainTextEdit *editor)
{
    QStringList lines;
    for (QTextBlock block = editor->document()->firstBlock(); block.isValid(); block = block.next())
        lines << block.text();
    return lines;
}

QStringList missingSongInfo(const QStringList &lines, const SongTags &tags)
{
    static const QRegularExpression key(QStringLiteral("\\[\\s*([A-Za-z]+)\\s*:"));
    QSet<QString> present;
    for (const QString &line : lines) {
        if (parseLrcLine(line).kind != LrcLine::Kind::IdTags)
            continue;
        for (auto it = key.globalMatch(line); it.hasNext();)
            present.insert(it.next().captured(1).toLower());
    }

    QList<std::pair<QString, QString>> wanted{
        {QStringLiteral("ti"), tagValue(tags.title)},
        {QStringLiteral("ar"), tagValue(tags.artist)},
        {QStringLiteral("al"), tagValue(tags.album)},
    };
    if (tags.duration > 0 && std::isfinite(tags.duration))
        wanted.append({QStringLiteral("length"), lengthText(tags.duration)});
    wanted.append({QStringLiteral("by"), QString()});

    QStringList result;
    for (const auto &[name, value] : wanted) {
        if (!present.contains(name))
            result << QStringLiteral("[%1:%2]").arg(name, value);
    }
    return result;
}

int insertSongInfo(QPlainTextEdit *editor, const SongTags &tags)
{
    const QStringList lines = missingSongInfo(editorLines(editor), tags);
    if (lines.isEmpty())
        return 0;
    QTextCursor cursor(editor->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.beginEditBlock();
    cursor.insertText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    cursor.endEditBlock();
    return int(lines.size());
}

} // namespace tarvelin
