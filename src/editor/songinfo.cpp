#include "editor/songinfo.h"

#include "core/lrc.h"
#include "document/lyricsdocument.h"

#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
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

SongInfoChanges songInfoChanges(const LyricsDocument &lyrics, const SongTags &tags)
{
    QList<std::pair<QString, QString>> wanted{
        {QStringLiteral("ti"), tagValue(tags.title)},
        {QStringLiteral("ar"), tagValue(tags.artist)},
        {QStringLiteral("al"), tagValue(tags.album)},
    };
    if (tags.duration > 0 && std::isfinite(tags.duration))
        wanted.append({QStringLiteral("length"), lengthText(tags.duration)});
    wanted.append({QStringLiteral("by"), QString()});

    SongInfoChanges changes;
    for (const auto &[name, value] : wanted) {
        const IdTagLookup found = lyrics.idTag(name);
        const QString text = QStringLiteral("[%1:%2]").arg(name, value);
        if (found.state == IdTagLookup::State::Set)
            continue;
        if (found.state == IdTagLookup::State::Absent) {
            changes.topLines << text;
            continue;
        }
        if (value.isEmpty()) // an empty one is all there is to offer
            continue;
        for (const IdTag &id : lyrics.line(found.line).ids) {
            if (id.key == name) {
                changes.rewrites.append({found.line, id.start, id.length, text});
                break;
            }
        }
    }
    std::sort(changes.rewrites.begin(), changes.rewrites.end(), [](const auto &a, const auto &b) {
        return std::pair(a.line, a.start) < std::pair(b.line, b.start);
    });
    return changes;
}

int insertSongInfo(LyricsDocument &lyrics, const SongTags &tags)
{
    const SongInfoChanges changes = songInfoChanges(lyrics, tags);
    if (changes.topLines.isEmpty() && changes.rewrites.isEmpty())
        return 0;
    QTextDocument *document = lyrics.textDocument();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    // From the last back, so that the earlier places stay where they are.
    for (auto rewrite = changes.rewrites.crbegin(); rewrite != changes.rewrites.crend(); ++rewrite) {
        const int at = document->findBlockByNumber(rewrite->line).position() + int(rewrite->start);
        cursor.setPosition(at);
        cursor.setPosition(at + int(rewrite->length), QTextCursor::KeepAnchor);
        cursor.insertText(rewrite->tag);
    }
    if (!changes.topLines.isEmpty()) {
        cursor.setPosition(0);
        cursor.insertText(changes.topLines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    }
    cursor.endEditBlock();
    return int(changes.topLines.size() + changes.rewrites.size());
}

} // namespace tarvelin
