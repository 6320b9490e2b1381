#include "core/lrc.h"

#include "core/positiontext.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace tarvelin {

namespace {

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }
bool isAsciiLetter(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

// "[...]" starting at `start`: its length, 0 if there is no closing bracket.
qsizetype bracketLength(QStringView line, qsizetype start)
{
    if (start >= line.size() || line[start] != u'[')
        return 0;
    const qsizetype close = line.indexOf(u']', start + 1);
    return close < 0 ? 0 : close - start + 1;
}

qsizetype skipSpaces(QStringView line, qsizetype i)
{
    while (i < line.size() && line[i].isSpace())
        ++i;
    return i;
}

// Reads a run of 1..maxDigits digits at i; returns how many were read.
int readDigits(QStringView s, qsizetype i, int maxDigits, qint64 &value)
{
    int n = 0;
    value = 0;
    while (i + n < s.size() && isDigit(s[i + n])) {
        if (n == maxDigits)
            return 0; // too many
        value = value * 10 + s[i + n].digitValue();
        ++n;
    }
    return n;
}

enum class TagRead { Time, Malformed, NotTime };

// The inside of a bracket as a time: m:ss, m:ss.f, m:ss.ff, m:ss.fff or the
// same with ':' before the fraction.
TagRead readTime(QStringView s, TimeTag &tag, bool &secondsTooLarge)
{
    secondsTooLarge = false;
    qint64 minutes = 0, seconds = 0, fraction = 0;
    qsizetype i = 0;
    const int minuteDigits = readDigits(s, i, 3, minutes);
    i += minuteDigits;
    bool ok = minuteDigits > 0 && i < s.size() && s[i] == u':';
    int fractionDigits = 0;
    if (ok) {
        ++i;
        ok = readDigits(s, i, 2, seconds) == 2;
        i += 2;
    }
    if (ok && i < s.size()) {
        const QChar separator = s[i];
        fractionDigits = (separator == u'.' || separator == u':') ? readDigits(s, i + 1, 3, fraction) : 0;
        ok = fractionDigits > 0 && i + 1 + fractionDigits == s.size();
        tag.unusualForm = fractionDigits == 1 || separator == u':';
    }
    if (ok && seconds >= 60) {
        secondsTooLarge = true;
        ok = false;
    }
    if (ok) {
        static constexpr int scale[] = {0, 100, 10, 1};
        tag.ms = (minutes * 60 + seconds) * 1000 + fraction * scale[fractionDigits];
        return TagRead::Time;
    }
    // Digits with ':' and '.' only: meant as a time, written wrong.
    const bool timeLike = s.contains(u':') && std::any_of(s.begin(), s.end(), isDigit)
        && std::all_of(s.begin(), s.end(), [](QChar c) {
               return isDigit(c) || c == u':' || c == u'.' || c == u'-' || c == u' ';
           });
    return timeLike ? TagRead::Malformed : TagRead::NotTime;
}

// Key and value of "[key:value]" whose key is ASCII letters.
bool readIdTag(QStringView bracket, QStringView &key, QStringView &value)
{
    const QStringView inside = bracket.sliced(1, bracket.size() - 2);
    const qsizetype colon = inside.indexOf(u':');
    if (colon <= 0)
        return false;
    key = inside.first(colon);
    value = inside.sliced(colon + 1);
    return std::all_of(key.begin(), key.end(), isAsciiLetter);
}

// Whether the line holds one or more ID tags and nothing else but spaces.
bool isIdTagLine(QStringView line)
{
    qsizetype i = skipSpaces(line, 0);
    int count = 0;
    while (const qsizetype length = bracketLength(line, i)) {
        QStringView key, value;
        if (!readIdTag(line.sliced(i, length), key, value))
            return false;
        ++count;
        i = skipSpaces(line, i + length);
    }
    return count > 0 && i == line.size();
}

} // namespace

// "[+-]digits" within a day either way; beyond it the value is junk.
std::optional<qint64> offsetValue(QStringView value)
{
    value = value.trimmed();
    if (value.startsWith(u'+') || value.startsWith(u'-')) {
        if (value.size() < 2 || !isDigit(value[1]))
            return std::nullopt;
    } else if (value.isEmpty() || !isDigit(value[0])) {
        return std::nullopt;
    }
    bool ok = false;
    const qint64 ms = (value.startsWith(u'+') ? value.sliced(1) : value).toLongLong(&ok);
    if (!ok || std::abs(ms) > 86'400'000)
        return std::nullopt;
    return ms;
}

namespace {

// A song's length, "m:ss" with an optional fraction, read as a time tag's
// inside is.
bool isLengthValue(QStringView value)
{
    TimeTag tag;
    bool secondsTooLarge = false;
    return readTime(value, tag, secondsTooLarge) == TagRead::Time;
}

IdTag::Value idTagState(const QString &key, QStringView value)
{
    if (value.isEmpty())
        return IdTag::Value::Empty;
    if (key == u"offset")
        return offsetValue(value) ? IdTag::Value::Usable : IdTag::Value::Malformed;
    if (key == u"length")
        return isLengthValue(value) ? IdTag::Value::Usable : IdTag::Value::Malformed;
    return IdTag::Value::Usable;
}

} // namespace

LrcLine parseLrcLine(QStringView line)
{
    LrcLine result;
    if (line.trimmed().isEmpty())
        return result;
    if (isIdTagLine(line)) {
        result.kind = LrcLine::Kind::IdTags;
        for (qsizetype i = skipSpaces(line, 0); const qsizetype length = bracketLength(line, i);
             i = skipSpaces(line, i + length)) {
            QStringView key, value;
            readIdTag(line.sliced(i, length), key, value);
            IdTag tag;
            tag.key = key.toString().toLower();
            tag.value = value.trimmed().toString();
            tag.state = idTagState(tag.key, tag.value);
            tag.start = i;
            tag.length = length;
            result.ids.append(tag);
        }
        return result;
    }
    result.kind = LrcLine::Kind::Lyric;
    for (qsizetype i = skipSpaces(line, 0); const qsizetype length = bracketLength(line, i);) {
        TimeTag tag;
        bool secondsTooLarge = false;
        const TagRead read = readTime(line.sliced(i + 1, length - 2), tag, secondsTooLarge);
        if (read == TagRead::NotTime)
            break;
        if (read == TagRead::Time) {
            tag.start = i;
            tag.length = length;
            result.tags.append(tag);
        } else {
            result.malformed.append({i, length, secondsTooLarge});
        }
        result.textStart = i + length;
        i = skipSpaces(line, i + length);
    }
    // Word tags: "<time>" anywhere in the text; other angle brackets are text.
    for (qsizetype i = line.indexOf(u'<', result.textStart); i >= 0; i = line.indexOf(u'<', i + 1)) {
        const qsizetype close = line.indexOf(u'>', i + 1);
        if (close < 0)
            break;
        TimeTag time;
        bool secondsTooLarge = false;
        if (readTime(line.sliced(i + 1, close - i - 1), time, secondsTooLarge) != TagRead::Time)
            continue;
        result.words.append({time.ms, i, close - i + 1});
        i = close;
    }
    return result;
}

bool isLyricLine(QStringView line)
{
    return !line.trimmed().isEmpty() && !isIdTagLine(line);
}

QList<IdTag> readIdTags(const QStringList &lines)
{
    QList<IdTag> tags;
    for (int i = 0; i < lines.size(); ++i) {
        for (IdTag tag : parseLrcLine(lines[i]).ids) {
            tag.line = i;
            tags.append(tag);
        }
    }
    return tags;
}

qint64 lrcOffset(const QStringList &lines)
{
    for (const IdTag &tag : readIdTags(lines)) {
        if (tag.key == u"offset")
            return offsetValue(tag.value).value_or(0);
    }
    return 0;
}

QString formatTimeTag(qint64 ms)
{
    return QLatin1Char('[') + formatCentiseconds(ms / 10) + QLatin1Char(']');
}

QString formatWordTag(qint64 ms)
{
    return QLatin1Char('<') + formatCentiseconds(ms / 10) + QLatin1Char('>');
}

QString lyricText(QStringView line, const LrcLine &parsed)
{
    QString text;
    qsizetype from = parsed.textStart;
    for (const WordTag &word : parsed.words) {
        text += line.sliced(from, word.start - from);
        from = word.start + word.length;
    }
    text += line.sliced(std::min(from, line.size()));
    return text;
}

QStringList shiftTimeTags(const QStringList &lines, qint64 deltaMs)
{
    // Keeps the sum far from overflowing; a shift of a year is already absurd.
    constexpr qint64 maxShift = qint64(1) << 40;
    deltaMs = std::clamp(deltaMs, -maxShift, maxShift);
    QStringList shifted = lines;
    for (QString &line : shifted) {
        const LrcLine parsed = parseLrcLine(line);
        // From the last tag back, so the earlier spans stay where they are;
        // word tags all stand after the line tags.
        for (auto word = parsed.words.crbegin(); word != parsed.words.crend(); ++word)
            line.replace(word->start, word->length, formatWordTag(word->ms + deltaMs));
        for (auto tag = parsed.tags.crbegin(); tag != parsed.tags.crend(); ++tag)
            line.replace(tag->start, tag->length, formatTimeTag(tag->ms + deltaMs));
    }
    return shifted;
}

namespace {

QString secondsText(qint64 ms)
{
    const qint64 minutes = ms / 60000;
    const QString seconds = QString::number(double(ms % 60000) / 1000.0, 'f', ms % 10 ? 3 : 2);
    return minutes ? QStringLiteral("%1 分 %2 秒").arg(minutes).arg(seconds)
                   : QStringLiteral("%1 秒").arg(seconds);
}

} // namespace

namespace {

// What the ID tags get wrong, by line.
QHash<int, QList<LyricsProblem>> idTagProblems(const QStringList &lines)
{
    using Kind = LyricsProblem::Kind;
    QHash<int, QList<LyricsProblem>> idProblems;
    QHash<QString, int> firstLineWith; // key -> first line that has it
    for (const IdTag &tag : readIdTags(lines)) {
        const QString text = lines[tag.line].sliced(tag.start, tag.length);
        const auto add = [&](Kind kind, const QString &message) { idProblems[tag.line].append({kind, tag.line, message}); };
        if (tag.state == IdTag::Value::Malformed && tag.key == u"offset")
            add(Kind::BadIdTag, QStringLiteral("“%1”不是有效的偏移，应写作整数毫秒，如 [offset:+500]；它不起作用").arg(text));
        else if (tag.state == IdTag::Value::Malformed)
            add(Kind::BadIdTag, QStringLiteral("“%1”不是有效的歌曲长度，应写作 [length:分:秒]，如 [length:03:25]").arg(text));
        const auto first = firstLineWith.constFind(tag.key);
        if (first == firstLineWith.cend())
            firstLineWith.insert(tag.key, tag.line);
        else
            add(Kind::RepeatedIdTag, QStringLiteral("“%1”重复：第 %2 行已有 %3 标签").arg(text).arg(*first + 1).arg(tag.key));
    }
    return idProblems;
}

// Line i's tags that are not read as meant: malformed, missing, or standing
// in the text.
void tagFormProblems(QStringView line, int i, const LrcLine &parsed, QList<LyricsProblem> &problems)
{
    using Kind = LyricsProblem::Kind;
    const auto add = [&](Kind kind, const QString &message) { problems.append({kind, i, message}); };
    const auto spanText = [&](qsizetype start, qsizetype length) { return line.sliced(start, length).toString(); };
    for (const MalformedTag &bad : parsed.malformed) {
        const QString text = spanText(bad.start, bad.length);
        add(Kind::Malformed, bad.secondsTooLarge
                ? QStringLiteral("“%1”不是有效的时间标签：秒数须小于 60").arg(text)
                : QStringLiteral("“%1”不是有效的时间标签，应写作 [分:秒.百分秒]，如 [01:23.45]").arg(text));
    }
    if (parsed.kind == LrcLine::Kind::Lyric && parsed.tags.isEmpty() && parsed.malformed.isEmpty())
        add(Kind::Untagged, QStringLiteral("这一行歌词没有时间标签"));
    // Past the leading tags a tag is only text: the line does not show then.
    for (qsizetype at = parsed.kind == LrcLine::Kind::Lyric ? line.indexOf(u'[', parsed.textStart) : -1; at >= 0;
         at = line.indexOf(u'[', at + 1)) {
        const qsizetype length = bracketLength(line, at);
        if (length < 2)
            break;
        TimeTag tag;
        bool secondsTooLarge = false;
        if (readTime(line.sliced(at + 1, length - 2), tag, secondsTooLarge) != TagRead::NotTime)
            add(Kind::TagInText,
                QStringLiteral("“%1”在行中间，不算时间标签；时间标签要写在行首").arg(spanText(at, length)));
    }
}

} // namespace

QList<LyricsProblem> checkLyrics(const QStringList &lines, double durationSeconds)
{
    using Kind = LyricsProblem::Kind;
    const bool knowEnd = std::isfinite(durationSeconds) && durationSeconds > 0;
    const qint64 endMs = msFromSeconds(durationSeconds);
    const qint64 offset = lrcOffset(lines);

    const QHash<int, QList<LyricsProblem>> idProblems = idTagProblems(lines);

    // Where each tagged line's span ends: the first tag of the next tagged
    // lyric line, when it comes later.
    QList<LrcLine> parsedLines;
    parsedLines.reserve(lines.size());
    for (const QString &line : lines)
        parsedLines.append(parseLrcLine(line));
    QList<qint64> spanEnd(lines.size(), -1);
    qint64 nextStart = -1;
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        spanEnd[i] = nextStart;
        if (parsedLines[i].kind == LrcLine::Kind::Lyric && !parsedLines[i].tags.isEmpty())
            nextStart = parsedLines[i].tags.first().ms;
    }

    QList<LyricsProblem> problems;
    QHash<qint64, int> firstLineAt; // time -> first line that has it
    int previousLine = -1;          // the last line with a tag, and its first tag
    qint64 previousMs = 0;
    QString previousText;
    for (int i = 0; i < lines.size(); ++i) {
        const QStringView line = lines[i];
        const LrcLine &parsed = parsedLines[i];
        const auto add = [&](Kind kind, const QString &message) { problems.append({kind, i, message}); };
        const auto spanText = [&](qsizetype start, qsizetype length) { return line.sliced(start, length).toString(); };

        problems.append(idProblems.value(i));

        tagFormProblems(line, i, parsed, problems);
        if (parsed.tags.isEmpty())
            continue;

        for (const TimeTag &tag : parsed.tags) {
            if (tag.unusualForm)
                add(Kind::ReadAs, QStringLiteral("“%1”读作 %2").arg(spanText(tag.start, tag.length), secondsText(tag.ms)));
        }
        const TimeTag &first = parsed.tags.first();
        if (previousLine >= 0 && first.ms < previousMs) {
            add(Kind::OutOfOrder, QStringLiteral("时间 %1 早于上一处时间（第 %2 行的 %3）")
                                      .arg(spanText(first.start, first.length))
                                      .arg(previousLine + 1)
                                      .arg(previousText));
        }
        previousLine = i;
        previousMs = first.ms;
        previousText = spanText(first.start, first.length);

        for (const TimeTag &tag : parsed.tags) {
            const auto seen = firstLineAt.constFind(tag.ms);
            if (seen == firstLineAt.cend())
                firstLineAt.insert(tag.ms, i);
            else if (*seen != i)
                add(Kind::SameTime, QStringLiteral("时间 %1 与第 %2 行的时间相同").arg(spanText(tag.start, tag.length)).arg(*seen + 1));
        }
        for (const TimeTag &tag : parsed.tags) {
            if (knowEnd && tag.ms - offset > endMs)
                add(Kind::PastEnd, QStringLiteral("时间 %1 超出歌曲长度（%2）")
                                       .arg(spanText(tag.start, tag.length), formatPosition(durationSeconds)));
        }

        if (parsed.kind != LrcLine::Kind::Lyric || parsed.words.isEmpty())
            continue;
        // Word tags belong to the line's earliest tag.
        qint64 lineStart = first.ms;
        for (const TimeTag &tag : parsed.tags)
            lineStart = std::min(lineStart, tag.ms);
        const qint64 nextStart = spanEnd[i] > lineStart ? spanEnd[i] : -1;
        for (qsizetype w = 0; w < parsed.words.size(); ++w) {
            const WordTag &word = parsed.words[w];
            const QString text = spanText(word.start, word.length);
            if (w > 0 && word.ms < parsed.words[w - 1].ms) {
                const WordTag &before = parsed.words[w - 1];
                add(Kind::WordOrder, QStringLiteral("逐字时间 %1 早于它前面的 %2").arg(text, spanText(before.start, before.length)));
            }
            if (word.ms < lineStart)
                add(Kind::WordOutside, QStringLiteral("逐字时间 %1 早于本行的时间 %2").arg(text, formatTimeTag(lineStart)));
            else if (nextStart >= 0 && word.ms > nextStart)
                add(Kind::WordOutside, QStringLiteral("逐字时间 %1 晚于下一行的时间 %2").arg(text, formatTimeTag(nextStart)));
        }
        const WordTag &last = parsed.words.last();
        if (!line.sliced(last.start + last.length).trimmed().isEmpty())
            add(Kind::WordUnclosed, QStringLiteral("提示：这一行的逐字时间没有结束标签（行末的 <分:秒.百分秒>），最后一个字唱到哪里不明确"));
    }
    return problems;
}

} // namespace tarvelin
