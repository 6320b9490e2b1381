#include "core/lyricsexport.h"

#include "core/lrc.h"

#include <QHash>
#include <QStringEncoder>

#include <algorithm>
#include <optional>

namespace tarvelin {

namespace {

using namespace Qt::StringLiterals;

// ---- Rearranging ---------------------------------------------------------

// The ID-tag line without its [offset:] tags; the line itself when it has none.
QString withoutOffsetTags(const QString &line, const LrcLine &parsed)
{
    QString out = line;
    for (auto id = parsed.ids.crbegin(); id != parsed.ids.crend(); ++id)
        if (id->key == u"offset")
            out.remove(id->start, id->length);
    return out;
}

// The line without its word tags.
QString withoutWordTags(const QString &line)
{
    const LrcLine parsed = parseLrcLine(line);
    if (parsed.words.isEmpty())
        return line;
    QString out = line;
    for (auto word = parsed.words.crbegin(); word != parsed.words.crend(); ++word)
        out.remove(word->start, word->length);
    return out;
}

// Offset applied and word tags stripped, line for line. A line left empty by
// taking its [offset:] away is dropped (-1 in `sources`).
struct Lines {
    QStringList text;
    QList<int> sources; // index of each line in the input
};

Lines prepare(const QStringList &input, bool applyOffset, bool stripWords)
{
    Lines lines;
    const qint64 offset = applyOffset ? lrcOffset(input) : 0;
    const QStringList shifted = offset ? shiftTimeTags(input, -offset) : input;
    for (int i = 0; i < shifted.size(); ++i) {
        QString line = shifted[i];
        const LrcLine parsed = parseLrcLine(line);
        if (applyOffset && parsed.kind == LrcLine::Kind::IdTags) {
            const QString rest = withoutOffsetTags(line, parsed);
            if (rest.size() != line.size() && rest.trimmed().isEmpty())
                continue;
            line = rest;
        }
        if (stripWords && parsed.kind == LrcLine::Kind::Lyric)
            line = withoutWordTags(line);
        lines.text << line;
        lines.sources << i;
    }
    return lines;
}

// A tagged line and its translations, with the untagged lines after them.
struct Unit {
    QList<qint64> tags;   // sorted
    QStringList bodies;   // each line without its time tags
    QList<int> sources;
    QStringList trailing; // blank lines, ID lines, untagged text
    QList<int> trailingSources;
};

struct Grouped {
    Lines head; // before the first tagged line, as they are
    QList<Unit> units;
};

// The line with its valid time tags taken out: what follows them, malformed
// brackets included.
QString bodyOf(const QString &line, const LrcLine &parsed)
{
    QString body;
    qsizetype from = 0;
    for (const TimeTag &tag : parsed.tags) {
        // Spaces between the tags go; a malformed bracket among them stays.
        const QStringView between = QStringView(line).sliced(from, tag.start - from);
        if (!between.trimmed().isEmpty())
            body += between;
        from = tag.start + tag.length;
    }
    return body + QStringView(line).sliced(from).toString();
}

Grouped group(const Lines &lines)
{
    Grouped grouped;
    for (int i = 0; i < lines.text.size(); ++i) {
        const QString &line = lines.text[i];
        const LrcLine parsed = parseLrcLine(line);
        if (parsed.kind != LrcLine::Kind::Lyric || parsed.tags.isEmpty()) {
            if (grouped.units.isEmpty()) {
                grouped.head.text << line;
                grouped.head.sources << lines.sources[i];
            } else {
                grouped.units.last().trailing << line;
                grouped.units.last().trailingSources << lines.sources[i];
            }
            continue;
        }
        QList<qint64> tags;
        for (const TimeTag &tag : parsed.tags)
            tags << tag.ms;
        std::sort(tags.begin(), tags.end());
        const bool translation = !grouped.units.isEmpty() && grouped.units.last().trailing.isEmpty()
            && grouped.units.last().tags == tags;
        if (!translation)
            grouped.units.append(Unit{tags, {}, {}, {}, {}});
        grouped.units.last().bodies << bodyOf(line, parsed);
        grouped.units.last().sources << lines.sources[i];
    }
    return grouped;
}

QString tagsText(const QList<qint64> &tags)
{
    QString text;
    for (qint64 ms : tags)
        text += formatTimeTag(ms);
    return text;
}

// The body's word tags moved by delta.
QString shiftWords(const QString &body, qint64 delta)
{
    if (delta == 0)
        return body;
    // A body is read as a line of its own: it has no leading time tags left,
    // so only its word tags move.
    return shiftTimeTags({body}, delta).constFirst();
}

void appendUnitLines(Lines &out, const Unit &unit, const QList<qint64> &tags, qint64 wordShift)
{
    for (int b = 0; b < unit.bodies.size(); ++b) {
        out.text << tagsText(tags) + shiftWords(unit.bodies[b], wordShift);
        out.sources << unit.sources[b];
    }
}

void appendTrailing(Lines &out, const QStringList &trailing, const QList<int> &sources)
{
    out.text << trailing;
    out.sources << sources;
}

Lines collapse(const Grouped &grouped)
{
    QList<Unit> merged;
    QHash<QString, int> byText;
    for (const Unit &unit : grouped.units) {
        const QString key = unit.bodies.join(u'\n');
        const auto seen = byText.constFind(key);
        if (seen == byText.cend()) {
            byText.insert(key, int(merged.size()));
            merged << unit;
            continue;
        }
        Unit &into = merged[*seen];
        for (qint64 ms : unit.tags)
            if (!into.tags.contains(ms))
                into.tags << ms;
        std::sort(into.tags.begin(), into.tags.end());
        // Text after a later copy is kept; its blank lines are not needed.
        for (int t = 0; t < unit.trailing.size(); ++t) {
            if (!unit.trailing[t].trimmed().isEmpty() && !into.trailing.contains(unit.trailing[t])) {
                into.trailing << unit.trailing[t];
                into.trailingSources << unit.trailingSources[t];
            }
        }
    }
    Lines out = grouped.head;
    for (const Unit &unit : merged) {
        appendUnitLines(out, unit, unit.tags, 0);
        appendTrailing(out, unit.trailing, unit.trailingSources);
    }
    return out;
}

struct Item {
    qint64 ms;
    const Unit *unit;
    bool first; // the unit's earliest tag: carries its trailing lines
};

QList<Item> expandedItems(const Grouped &grouped)
{
    QList<Item> items;
    for (const Unit &unit : grouped.units)
        for (int t = 0; t < unit.tags.size(); ++t)
            items.append({unit.tags[t], &unit, t == 0});
    std::stable_sort(items.begin(), items.end(), [](const Item &a, const Item &b) { return a.ms < b.ms; });
    return items;
}

Lines expand(const Grouped &grouped)
{
    Lines out = grouped.head;
    for (const Item &item : expandedItems(grouped)) {
        appendUnitLines(out, *item.unit, {item.ms}, item.ms - item.unit->tags.first());
        if (item.first)
            appendTrailing(out, item.unit->trailing, item.unit->trailingSources);
    }
    return out;
}

Lines rearranged(const QStringList &input, const ExportOptions &options)
{
    const Lines prepared = prepare(input, options.applyOffset, options.stripWords);
    switch (options.repeats) {
    case RepeatedLines::Keep:
        return prepared;
    case RepeatedLines::Collapse:
        return collapse(group(prepared));
    case RepeatedLines::Expand:
        return expand(group(prepared));
    }
    return prepared;
}

// ---- Subtitles -----------------------------------------------------------

struct Cue {
    qint64 start = 0;
    qint64 end = 0;
    QStringList bodies; // word tags still in
    QList<int> sources;
};

QList<Cue> cues(const QStringList &input, qint64 songMs)
{
    // Subtitles have no offset of their own: it always goes into the times.
    const Grouped grouped = group(prepare(input, true, false));
    QList<Cue> result;
    const QList<Item> items = expandedItems(grouped);
    for (qsizetype i = 0; i < items.size(); ++i) {
        const Item &item = items[i];
        Cue cue;
        cue.start = item.ms;
        const qint64 shift = item.ms - item.unit->tags.first();
        for (int b = 0; b < item.unit->bodies.size(); ++b) {
            cue.bodies << shiftWords(item.unit->bodies[b], shift);
            cue.sources << item.unit->sources[b];
        }
        const LrcLine main = parseLrcLine(cue.bodies.first());
        const bool anyText = std::any_of(cue.bodies.cbegin(), cue.bodies.cend(), [](const QString &body) {
            return !lyricText(body, parseLrcLine(body)).trimmed().isEmpty();
        });
        if (!anyText)
            continue; // a tag on an empty line only ends the line before it

        std::optional<qint64> next;
        for (qsizetype j = i + 1; j < items.size() && !next; ++j)
            if (items[j].ms > item.ms)
                next = items[j].ms;
        // A last word tag with nothing after it marks the end of the singing.
        std::optional<qint64> wordEnd;
        qint64 lastWord = item.ms;
        if (!main.words.isEmpty()) {
            const WordTag &last = main.words.last();
            lastWord = last.ms;
            if (QStringView(cue.bodies.first()).sliced(last.start + last.length).trimmed().isEmpty()) {
                wordEnd = last.ms;
                lastWord = main.words.size() > 1 ? main.words[main.words.size() - 2].ms : item.ms;
            }
        }
        if (wordEnd && *wordEnd > item.ms && (!next || *wordEnd <= *next))
            cue.end = *wordEnd;
        else if (next)
            cue.end = *next;
        else {
            cue.end = std::max(lastWord, item.ms) + LastLineHoldMs;
            if (songMs > item.ms)
                cue.end = std::min(cue.end, songMs);
        }
        result << cue;
    }
    return result;
}

QString srtTime(qint64 ms)
{
    return u"%1:%2:%3,%4"_s.arg(ms / 3'600'000, 2, 10, QLatin1Char('0'))
        .arg(ms / 60'000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

QString assTime(qint64 ms)
{
    return u"%1:%2:%3.%4"_s.arg(ms / 3'600'000)
        .arg(ms / 60'000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 10 % 100, 2, 10, QLatin1Char('0'));
}

Lines srt(const QStringList &input, qint64 songMs)
{
    Lines out;
    int number = 0;
    for (const Cue &cue : cues(input, songMs)) {
        out.text << QString::number(++number) << srtTime(cue.start) + u" --> "_s + srtTime(cue.end);
        out.sources << -1 << -1;
        for (int b = 0; b < cue.bodies.size(); ++b) {
            const QString text = lyricText(cue.bodies[b], parseLrcLine(cue.bodies[b])).trimmed();
            if (text.isEmpty())
                continue;
            out.text << text;
            out.sources << cue.sources[b];
        }
        out.text << QString();
        out.sources << -1;
    }
    return out;
}

// "{\kf50}同{\kf30}一句": each stretch of text with its time to fill, in
// centiseconds counted from the line's start so that the cuts add up.
QString karaoke(const QString &body, qint64 start, qint64 end)
{
    const LrcLine parsed = parseLrcLine(body);
    if (parsed.words.isEmpty())
        return lyricText(body, parsed).trimmed();
    const auto cs = [start](qint64 ms) { return std::max<qint64>(ms - start, 0) / 10; };
    QString out;
    const auto add = [&](qint64 from, qint64 to, QStringView text) {
        out += u"{\\kf%1}"_s.arg(std::max<qint64>(cs(to) - cs(from), 0)) + text.toString();
    };
    const QStringView line(body);
    const WordTag &first = parsed.words.first();
    const QStringView before = line.sliced(parsed.textStart, first.start - parsed.textStart);
    if (!before.trimmed().isEmpty() || first.ms > start)
        add(start, first.ms, before);
    for (qsizetype w = 0; w < parsed.words.size(); ++w) {
        const WordTag &word = parsed.words[w];
        const qsizetype textFrom = word.start + word.length;
        const bool last = w + 1 == parsed.words.size();
        const QStringView text = last ? line.sliced(textFrom)
                                      : line.sliced(textFrom, parsed.words[w + 1].start - textFrom);
        if (last && text.trimmed().isEmpty())
            break; // the end tag
        add(word.ms, last ? end : parsed.words[w + 1].ms, text);
    }
    return out;
}

Lines ass(const QStringList &input, qint64 songMs, bool stripWords)
{
    Lines out;
    out.text = QStringList{
        u"[Script Info]"_s,
        u"ScriptType: v4.00+"_s,
        u"PlayResX: 1280"_s,
        u"PlayResY: 720"_s,
        u"WrapStyle: 0"_s,
        u"ScaledBorderAndShadow: yes"_s,
        QString(),
        u"[V4+ Styles]"_s,
        u"Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, "
        "Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, "
        "MarginR, MarginV, Encoding"_s,
        // Karaoke fills from the second colour (yellow, not yet sung) to the first (white).
        u"Style: Default,Noto Sans CJK SC,54,&H00FFFFFF,&H0000D7FF,&H00000000,&H80000000,0,0,0,0,100,100,0,0,1,3,1,2,40,40,110,1"_s,
        u"Style: Translation,Noto Sans CJK SC,40,&H00FFFFFF,&H00FFFFFF,&H00000000,&H80000000,0,0,0,0,100,100,0,0,1,2,1,2,40,40,50,1"_s,
        QString(),
        u"[Events]"_s,
        u"Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text"_s,
    };
    for (qsizetype i = 0; i < out.text.size(); ++i)
        out.sources << -1;
    for (const Cue &cue : cues(input, songMs)) {
        for (int b = 0; b < cue.bodies.size(); ++b) {
            const QString &body = cue.bodies[b];
            const QString text = stripWords ? lyricText(body, parseLrcLine(body)).trimmed() : karaoke(body, cue.start, cue.end);
            if (text.isEmpty())
                continue;
            out.text << u"Dialogue: 0,%1,%2,%3,,0,0,0,,%4"_s.arg(assTime(cue.start), assTime(cue.end),
                                                                  b == 0 ? u"Default"_s : u"Translation"_s, text);
            out.sources << cue.sources[b];
        }
    }
    return out;
}

// ---- Encoding ------------------------------------------------------------

const char *codecOf(ExportEncoding encoding)
{
    return encoding == ExportEncoding::Gb18030 || encoding == ExportEncoding::Gbk ? "GB18030" : "UTF-8";
}

// Two-byte GB18030 codes that GBK does not have: the euro sign, ǹ, the
// ideographic description characters, the radicals and Extension A
// characters of FE50-FEA0, and the codes that GB18030-2005 gave real
// characters where GBK had private-use ones (vertical forms, ḿ).
bool gbkLacks(uchar lead, uchar trail)
{
    const int code = lead << 8 | trail;
    return code == 0xA2E3 || code == 0xA8BC || code == 0xA8BF || (code >= 0xA989 && code <= 0xA995)
        || (code >= 0xA6D9 && code <= 0xA6DF) || code == 0xA6EC || code == 0xA6ED || code == 0xA6F3
        || (code >= 0xFE50 && code <= 0xFEA0);
}

class Checker {
public:
    explicit Checker(ExportEncoding encoding) : m_encoding(encoding), m_gb("GB18030", QStringConverter::Flag::Stateless) {}

    // Whether the code point (one or two UTF-16 units) can be written.
    bool holds(QStringView character)
    {
        if (character.size() == 1 && character[0].isSurrogate())
            return false; // half a pair: nothing can write it
        if (m_encoding != ExportEncoding::Gbk || character[0].unicode() < 0x80)
            return true;
        const char32_t code = character.size() == 2 ? QChar::surrogateToUcs4(character[0], character[1]) : character[0].unicode();
        if ((code >= 0xE000 && code <= 0xF8FF) || code == 0xFEFF)
            return false; // private use: GBK's user-defined areas mean nothing elsewhere; a stray BOM
        const QByteArray bytes = m_gb.encode(character);
        return !m_gb.hasError() && bytes.size() == 2 && !gbkLacks(uchar(bytes[0]), uchar(bytes[1]));
    }

private:
    ExportEncoding m_encoding;
    QStringEncoder m_gb;
};

// Calls f(position, length) for each code point of the text.
template<typename F>
void forEachCodePoint(QStringView text, F f)
{
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n = i + 1 < text.size() && text[i].isHighSurrogate() && text[i + 1].isLowSurrogate() ? 2 : 1;
        f(i, n);
        i += n;
    }
}

QString replaced(QStringView line, Checker &checker)
{
    QString out;
    out.reserve(line.size());
    forEachCodePoint(line, [&](qsizetype i, qsizetype n) {
        const QStringView character = line.sliced(i, n);
        if (checker.holds(character))
            out += character;
        else
            out += u'?';
    });
    return out;
}

QList<UnencodableChar> unencodableIn(const QStringList &lines, const QList<int> &sourceLines, ExportEncoding encoding)
{
    Checker checker(encoding);
    QList<UnencodableChar> found;
    for (int index : sourceLines) {
        const QStringView line = lines[index];
        int column = 0;
        forEachCodePoint(line, [&](qsizetype i, qsizetype n) {
            ++column;
            if (!checker.holds(line.sliced(i, n)))
                found.append({index + 1, column, line.sliced(i, n).toString()});
        });
    }
    return found;
}

} // namespace

QStringList rearrangeLyrics(const QStringList &lines, const ExportOptions &options)
{
    return rearranged(lines, options).text;
}

QList<UnencodableChar> unencodableChars(const QStringList &lines, ExportEncoding encoding)
{
    QList<int> all;
    for (int i = 0; i < lines.size(); ++i)
        all << i;
    return unencodableIn(lines, all, encoding);
}

ExportResult exportLyrics(const QStringList &lines, const ExportOptions &options)
{
    Lines out;
    switch (options.format) {
    case ExportFormat::Lrc:
        out = rearranged(lines, options);
        break;
    case ExportFormat::Srt:
        out = srt(lines, options.songMs);
        break;
    case ExportFormat::Ass:
        out = ass(lines, options.songMs, options.stripWords);
        break;
    }

    // The characters are looked for in the lines the result came from, so
    // they are named where the user can find them, once each.
    QList<int> used;
    for (int source : out.sources)
        if (source >= 0)
            used << source;
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());

    ExportResult result;
    result.unencodable = unencodableIn(lines, used, options.encoding);
    if (!result.unencodable.isEmpty() && options.replaceUnencodable) {
        Checker checker(options.encoding);
        for (QString &line : out.text)
            line = replaced(line, checker);
    }
    const QString ending = options.crlf ? u"\r\n"_s : u"\n"_s;
    for (const QString &line : std::as_const(out.text))
        result.text += line + ending;
    if (!result.unencodable.isEmpty() && !options.replaceUnencodable)
        return result;

    QStringEncoder encoder(codecOf(options.encoding), QStringConverter::Flag::Stateless);
    if (options.encoding == ExportEncoding::Utf8Bom)
        result.bytes = "\xEF\xBB\xBF";
    result.bytes += encoder.encode(result.text);
    return result;
}

QStringList describeUnencodable(const QList<UnencodableChar> &chars)
{
    QStringList out;
    for (const UnencodableChar &c : chars) {
        // Half a surrogate pair or an invisible character is named by its number.
        const char32_t code = c.character.size() == 2 ? QChar::surrogateToUcs4(c.character[0], c.character[1])
                                                       : c.character[0].unicode();
        const bool visible = !(c.character.size() == 1 && c.character[0].isSurrogate()) && QChar::isPrint(code);
        const QString shown = visible ? c.character : u"U+%1"_s.arg(uint(code), 4, 16, QLatin1Char('0')).toUpper();
        out << u"第 %1 行第 %2 个字“%3”"_s.arg(c.line).arg(c.column).arg(shown);
    }
    return out;
}

namespace {

template<typename E, std::size_t N>
bool fromKey(const QString &key, E &value, const std::pair<E, const char16_t *> (&names)[N])
{
    for (const auto &[v, name] : names) {
        if (key.compare(QStringView(name), Qt::CaseInsensitive) == 0) {
            value = v;
            return true;
        }
    }
    return false;
}

template<typename E, std::size_t N>
QString toKey(E value, const std::pair<E, const char16_t *> (&names)[N])
{
    for (const auto &[v, name] : names)
        if (v == value)
            return QString::fromUtf16(name);
    return {};
}

constexpr std::pair<ExportEncoding, const char16_t *> EncodingKeys[] = {
    {ExportEncoding::Utf8, u"utf-8"}, {ExportEncoding::Utf8Bom, u"utf-8-bom"},
    {ExportEncoding::Gb18030, u"gb18030"}, {ExportEncoding::Gbk, u"gbk"}};
constexpr std::pair<RepeatedLines, const char16_t *> RepeatKeys[] = {
    {RepeatedLines::Keep, u"keep"}, {RepeatedLines::Collapse, u"collapse"}, {RepeatedLines::Expand, u"expand"}};
constexpr std::pair<ExportFormat, const char16_t *> FormatKeys[] = {
    {ExportFormat::Lrc, u"lrc"}, {ExportFormat::Srt, u"srt"}, {ExportFormat::Ass, u"ass"}};

} // namespace

QString encodingKey(ExportEncoding encoding) { return toKey(encoding, EncodingKeys); }
bool encodingFromKey(const QString &key, ExportEncoding &encoding) { return fromKey(key, encoding, EncodingKeys); }
QString repeatsKey(RepeatedLines repeats) { return toKey(repeats, RepeatKeys); }
bool repeatsFromKey(const QString &key, RepeatedLines &repeats) { return fromKey(key, repeats, RepeatKeys); }
QString formatKey(ExportFormat format) { return toKey(format, FormatKeys); }
bool formatFromKey(const QString &key, ExportFormat &format) { return fromKey(key, format, FormatKeys); }

} // namespace tarvelin
