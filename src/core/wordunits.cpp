#include "core/wordunits.h"

#include <QTextBoundaryFinder>

namespace tarvelin {

namespace {

enum class CharKind { Syllable, Joining, Letter, Space, Other };

// Small kana and the long-vowel mark are sung with the kana before them.
bool joinsPreviousKana(char32_t c)
{
    switch (c) {
    case 0x3041: case 0x3043: case 0x3045: case 0x3047: case 0x3049: // ぁぃぅぇぉ
    case 0x3083: case 0x3085: case 0x3087: case 0x308E:              // ゃゅょゎ
    case 0x30A1: case 0x30A3: case 0x30A5: case 0x30A7: case 0x30A9: // ァィゥェォ
    case 0x30E3: case 0x30E5: case 0x30E7: case 0x30EE:              // ャュョヮ
    case 0x30FC:                                                     // ー
        return true;
    default:
        return false;
    }
}

CharKind kindOf(QStringView grapheme)
{
    const char32_t c = grapheme.toUcs4().value(0);
    if (joinsPreviousKana(c))
        return CharKind::Joining;
    switch (QChar::script(c)) {
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Hangul:
    case QChar::Script_Bopomofo:
        return CharKind::Syllable;
    default:
        break;
    }
    if (QChar::isSpace(c))
        return CharKind::Space;
    if (QChar::isLetterOrNumber(c) || QChar::isMark(c))
        return CharKind::Letter;
    return CharKind::Other;
}

bool isVowel(QChar c)
{
    const QString base = c.decomposition().isEmpty() ? QString(c.toLower()) : c.decomposition().left(1).toLower();
    static const QString vowels = QStringLiteral("aeiouyæøœаеёиоуыэюяєіїαεηιουω");
    return !base.isEmpty() && vowels.contains(base.at(0));
}

} // namespace

int syllableCount(QStringView word)
{
    int groups = 0;
    bool inVowels = false;
    for (const QChar c : word) {
        const bool vowel = isVowel(c);
        if (vowel && !inVowels)
            ++groups;
        inVowels = vowel;
    }
    return std::max(groups, 1);
}

QList<WordUnit> splitWordUnits(QStringView text)
{
    QList<WordUnit> units;
    QString lead;        // punctuation and spaces before the first unit
    bool inWord = false; // the last unit is a word that takes more letters
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data(), int(text.size()));
    for (qsizetype from = 0, to; (to = finder.toNextBoundary()) > 0; from = to) {
        const QStringView grapheme = text.sliced(from, to - from);
        const CharKind kind = kindOf(grapheme);
        const bool startsUnit = kind == CharKind::Syllable || (kind == CharKind::Letter && !inWord)
            || (kind == CharKind::Joining && units.isEmpty());
        if (startsUnit) {
            units.append({lead + grapheme.toString()});
            lead.clear();
            inWord = kind == CharKind::Letter;
        } else if (units.isEmpty()) {
            lead += grapheme;
        } else {
            units.last().text += grapheme;
            if (kind == CharKind::Space)
                inWord = false;
        }
    }
    if (units.isEmpty()) {
        if (!lead.trimmed().isEmpty())
            units.append({lead});
        return units;
    }
    for (WordUnit &unit : units)
        unit.syllables = syllableCount(unit.text);
    return units;
}

WordLine readWordLine(QStringView line, const LrcLine &parsed)
{
    WordLine result;
    if (parsed.words.isEmpty()) {
        result.units = splitWordUnits(lyricText(line, parsed));
        return result;
    }
    const auto syllablesIn = [](QStringView text) {
        int count = 0;
        for (const WordUnit &unit : splitWordUnits(text))
            count += unit.syllables;
        return std::max(count, 1);
    };
    const QStringView before = line.sliced(parsed.textStart, parsed.words.first().start - parsed.textStart);
    if (!before.trimmed().isEmpty())
        result.units.append({before.toString(), -1, syllablesIn(before)});
    for (qsizetype i = 0; i < parsed.words.size(); ++i) {
        const WordTag &tag = parsed.words[i];
        const qsizetype from = tag.start + tag.length;
        const qsizetype to = i + 1 < parsed.words.size() ? parsed.words[i + 1].start : line.size();
        const QStringView text = line.sliced(from, to - from);
        if (!text.isEmpty())
            result.units.append({text.toString(), tag.ms, syllablesIn(text)});
        else if (i + 1 == parsed.words.size())
            result.endMs = tag.ms;
    }
    return result;
}

QList<WordUnit> tappingUnits(QStringView line, const LrcLine &parsed)
{
    const WordLine read = readWordLine(line, parsed);
    if (parsed.words.isEmpty())
        return read.units;
    QList<WordUnit> units;
    for (qsizetype i = 0; i < read.units.size(); ++i) {
        const WordUnit &unit = read.units[i];
        const bool byRule = unit.ms < 0 || (i + 1 == read.units.size() && read.endMs < 0);
        if (!byRule) {
            units.append(unit);
            continue;
        }
        QList<WordUnit> pieces = splitWordUnits(unit.text);
        if (pieces.isEmpty())
            pieces.append(unit);
        pieces.first().ms = unit.ms;
        units.append(pieces);
    }
    return units;
}

bool mergeUnits(QList<WordUnit> &units, qsizetype i)
{
    if (i < 0 || i + 1 >= units.size())
        return false;
    units[i].text += units[i + 1].text;
    units[i].syllables += units[i + 1].syllables;
    units.removeAt(i + 1);
    return true;
}

bool splitUnit(QList<WordUnit> &units, qsizetype i)
{
    if (i < 0 || i >= units.size())
        return false;
    QList<WordUnit> pieces = splitWordUnits(units[i].text);
    if (pieces.size() < 2)
        return false;
    pieces.first().ms = units[i].ms;
    units.removeAt(i);
    for (qsizetype k = 0; k < pieces.size(); ++k)
        units.insert(i + k, pieces[k]);
    return true;
}

qsizetype sungLength(const WordLine &line, qint64 lineStartMs, qint64 lineEndMs, qint64 positionMs)
{
    qsizetype total = 0;
    bool timed = true;
    for (const WordUnit &unit : line.units) {
        total += unit.text.size();
        timed = timed && unit.ms >= 0;
    }
    const auto share = [](qint64 from, qint64 to, qint64 at, qsizetype chars) -> qsizetype {
        if (at <= from)
            return 0;
        if (to <= from || at >= to)
            return chars;
        return qsizetype(double(chars) * double(at - from) / double(to - from));
    };
    if (!timed || line.units.isEmpty())
        return share(lineStartMs, lineEndMs, positionMs, total);
    qsizetype done = 0;
    for (qsizetype i = 0; i < line.units.size(); ++i) {
        const WordUnit &unit = line.units[i];
        const qint64 next = i + 1 < line.units.size() ? line.units[i + 1].ms : (line.endMs >= 0 ? line.endMs : lineEndMs);
        if (positionMs < next || i + 1 == line.units.size())
            return done + share(unit.ms, next, positionMs, unit.text.size());
        done += unit.text.size();
    }
    return done;
}

QString writeWordTags(const QList<WordUnit> &units, qint64 endMs)
{
    QString text;
    for (const WordUnit &unit : units)
        text += (unit.ms >= 0 ? formatWordTag(unit.ms) : QString()) + unit.text;
    if (endMs >= 0)
        text += formatWordTag(endMs);
    return text;
}

} // namespace tarvelin
