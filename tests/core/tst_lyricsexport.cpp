// Export for other players: every option written and read back, the exact
// forms of collapse, expand, offset and subtitles, and the characters GBK
// cannot hold.
#include "core/lrc.h"
#include "core/lyricsexport.h"
#include "core/lyricstext.h"
#include "../support/datatable.h"

#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;
using namespace tarvelin;

namespace {

// What a player shows: every (time, text, word times from the line's first
// tag) of the lines, offset applied, in order.
QStringList shown(const QStringList &lines, bool withWords)
{
    const qint64 offset = lrcOffset(lines);
    QStringList out;
    for (const QString &line : lines) {
        const LrcLine parsed = parseLrcLine(line);
        if (parsed.tags.isEmpty())
            continue;
        const qint64 first = std::ranges::min(parsed.tags, {}, &TimeTag::ms).ms;
        QStringList words;
        for (const WordTag &word : parsed.words)
            words << QString::number(word.ms - first);
        for (const TimeTag &tag : parsed.tags)
            out << u"%1 %2 %3"_s.arg(std::max<qint64>(tag.ms - offset, 0), 9, 10, QLatin1Char('0'))
                       .arg(lyricText(line, parsed), withWords ? words.join(u',') : QString());
    }
    std::stable_sort(out.begin(), out.end(), [](const QString &a, const QString &b) { return a.first(9) < b.first(9); });
    return out;
}

QStringList lines(const char16_t *text) { return QString::fromUtf16(text).split(u'\n'); }

} // namespace

class TestLyricsExport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTrip_data()
    {
        const auto row = tarvelin::table<QStringList>({"input"});
        row("collapsed", lines(u"[ar:某人]\n[00:12.00][01:30.00]同一句\n[00:20.00]下一句\n\n[01:40.00]结束\n[01:50.00]"));
        row("bilingual", lines(u"[00:10.00]你好\n[00:10.00]Hello\n[00:45.00][00:15.00]副歌\n[00:15.00][00:45.00]Chorus\n"
                               u"[00:30.00]中间\n[00:30.00]Middle\n[00:50.00]你好\n[00:50.00]Hi"));
        row("word tags", lines(u"[00:02.00]<00:02.00>一<00:02.50>二<00:03.00>\n"
                               u"[00:04.00][00:08.00]<00:04.00>三 <00:04.40>四\n[00:06.00]无字"));
        row("offset, one tag clamped", lines(u"[ti:x][offset:+500]\n[00:10.00]早\n[00:00.30]零\n[00:20.00]<00:20.20>字"));
        row("three-digit minutes", lines(u"[100:00.00]一百分\n[99:59.99]前一句"));
    }
    // Every option written, then read as a player would: the same lines at
    // the same times, word tags kept unless stripped.
    void roundTrip()
    {
        QFETCH(QStringList, input);
        for (ExportEncoding encoding : {ExportEncoding::Utf8, ExportEncoding::Utf8Bom, ExportEncoding::Gb18030, ExportEncoding::Gbk})
            for (RepeatedLines repeats : {RepeatedLines::Keep, RepeatedLines::Collapse, RepeatedLines::Expand})
                for (int flags = 0; flags < 8; ++flags) {
                    const ExportOptions options{.encoding = encoding, .repeats = repeats, .applyOffset = bool(flags & 1),
                                                .stripWords = bool(flags & 2), .crlf = bool(flags & 4)};
                    const QString what = u"%1 %2 flags %3"_s.arg(encodingKey(encoding), repeatsKey(repeats)).arg(flags);
                    const ExportResult result = exportLyrics(input, options);
                    QVERIFY2(result.unencodable.isEmpty() && !result.bytes.isEmpty(), qPrintable(what));
                    const bool gb = encoding == ExportEncoding::Gb18030 || encoding == ExportEncoding::Gbk;
                    const DecodedText back = gb ? decodeTextAs(result.bytes, TextEncoding::Gb18030) : decodeText(result.bytes);
                    QCOMPARE(result.bytes.startsWith("\xEF\xBB\xBF"), encoding == ExportEncoding::Utf8Bom);
                    QCOMPARE(back.text.count(u'\r'), options.crlf ? back.text.count(u'\n') : 0);
                    const QStringList read = splitLines(back.text);
                    QVERIFY2(shown(read, !options.stripWords) == shown(input, !options.stripWords), qPrintable(what));
                    QCOMPARE(lrcOffset(read), options.applyOffset ? 0 : lrcOffset(input));
                }
    }

    // The exact forms written: LRC lines rearranged by an option, or
    // subtitles ("srt MS": a format and the song's length in ms).
    void forms_data()
    {
        const auto row = tarvelin::table<QString, QString, QString>({"input", "options", "expected"});
        row("collapse: first appearance, pairs kept, blank lines of copies dropped",
            "[ti:t]\n[00:30.00]b\n[00:12.00]a\n[00:12.00]A\n\n[01:30.00]a\n[01:30.00]A\n\n[02:00.00]b", "collapse",
            "[ti:t]\n[00:30.00][02:00.00]b\n[00:12.00][01:30.00]a\n[00:12.00][01:30.00]A\n");
        row("collapse: an original with another translation stays apart", "[00:01.00]a\n[00:01.00]A\n[00:02.00]a\n[00:02.00]B",
            "collapse", "[00:01.00]a\n[00:01.00]A\n[00:02.00]a\n[00:02.00]B");
        row("collapse: untagged text after a copy is kept", "[00:01.00]a\n（合）\n[00:02.00]a\n（独）", "collapse",
            "[00:01.00][00:02.00]a\n（合）\n（独）");
        row("expand: time order, pair together, word tags follow the copy",
            "[ar:x]\n[00:40.00][00:10.00]<00:10.00>a<00:10.50>\n[00:10.00][00:40.00]A\n[00:20.00]b", "expand",
            "[ar:x]\n[00:10.00]<00:10.00>a<00:10.50>\n[00:10.00]A\n[00:20.00]b\n[00:40.00]<00:40.00>a<00:40.50>\n[00:40.00]A");
        row("positive offset: every tag earlier, offset gone, other ID tags kept", "[ti:t][offset:+500]\n[00:10.00]<00:10.20>a\n[00:00.20]b",
            "apply-offset", "[ti:t]\n[00:09.50]<00:09.70>a\n[00:00.00]b");
        row("negative offset: later", "[offset:-250]\n[00:10.00]a", "apply-offset", "[00:10.25]a");
        row("strip words, brackets that are text stay", "[00:01.00]<00:01.00>a <b> [x]<00:01.50>c<00:02.00>", "strip-words",
            "[00:01.00]a <b> [x]c");
        const QString input = u"[offset:1000]\n[00:02.00]你好\n[00:02.00]Hello\n[00:04.00]<00:04.00>一<00:04.50>二<00:05.00>\n"
                              "[00:09.00]末<00:09.50>句"_s;
        const QString cues = u"1\n00:00:01,000 --> 00:00:03,000\n你好\nHello\n\n2\n00:00:03,000 --> 00:00:04,000\n一二\n\n"_s;
        row("srt: pair in one cue, word end tag, last line held 5 s after its last word", input, "srt 0",
            cues + u"3\n00:00:08,000 --> 00:00:13,500\n末句\n\n"_s);
        row("srt: last line ends with the song", input, "srt 10000", cues + u"3\n00:00:08,000 --> 00:00:10,000\n末句\n\n"_s);
        row("srt: an empty tagged line ends the one before", "[00:01.00]a\n[00:02.50]\n[00:03.00]b", "srt 4000",
            "1\n00:00:01,000 --> 00:00:02,500\na\n\n2\n00:00:03,000 --> 00:00:04,000\nb\n\n");
        row("ass: karaoke in centiseconds, translation in its own style", input, "ass 0",
            "Dialogue: 0,0:00:01.00,0:00:03.00,Default,,0,0,0,,你好\n"
            "Dialogue: 0,0:00:01.00,0:00:03.00,Translation,,0,0,0,,Hello\n"
            "Dialogue: 0,0:00:03.00,0:00:04.00,Default,,0,0,0,,{\\kf50}一{\\kf50}二\n"
            "Dialogue: 0,0:00:08.00,0:00:13.50,Default,,0,0,0,,{\\kf50}末{\\kf500}句\n");
    }
    void forms()
    {
        QFETCH(QString, input);
        QFETCH(QString, options);
        ExportOptions o{.applyOffset = options == u"apply-offset"_s, .stripWords = options == u"strip-words"_s, .crlf = false,
                        .songMs = options.section(u' ', 1).toLongLong()};
        repeatsFromKey(options, o.repeats);
        if (!formatFromKey(options.section(u' ', 0, 0), o.format)) {
            QTEST(rearrangeLyrics(input.split(u'\n'), o).join(u'\n'), "expected");
            return;
        }
        const QString text = exportLyrics(input.split(u'\n'), o).text;
        QTEST(o.format == ExportFormat::Ass ? text.sliced(text.indexOf(u"Dialogue:")) : text, "expected");
    }

    void unencodable_data()
    {
        const auto row = tarvelin::table<QString, QString, QStringList, QString>({"input", "encoding", "found", "replaced"});
        row("gbk: emoji, euro, ideographic description, private use; Chinese, é and … fit",
            u"[ti:中]\n[00:01.00]é…🎵€\n[00:02.00]⿰木\uE000"_s, "gbk",
            {u"第 2 行第 13 个字“🎵”"_s, u"第 2 行第 14 个字“€”"_s, u"第 3 行第 11 个字“⿰”"_s, u"第 3 行第 13 个字“U+E000”"_s},
            u"[ti:中]\r\n[00:01.00]é…??\r\n[00:02.00]?木?\r\n"_s);
        row("gb18030 holds them all", u"[00:01.00]🎵€⿰\U00020000"_s, "gb18030", {}, {});
        row("gbk: an invisible character is named by its number", u"[00:01.00]a\uFEFF"_s, "gbk", {u"第 1 行第 12 个字“U+FEFF”"_s},
            u"[00:01.00]a?\r\n"_s);
        row("a lone surrogate fits nowhere", u"[00:01.00]a"_s + QChar(0xD800), "utf-8", {u"第 1 行第 12 个字“U+D800”"_s},
            u"[00:01.00]a?\r\n"_s);
        row("expanded copies name the line once", u"[00:01.00][00:05.00]€"_s, "gbk", {u"第 1 行第 21 个字“€”"_s},
            u"[00:01.00]?\r\n[00:05.00]?\r\n"_s);
    }
    // Listed with line and character; no bytes unless replacement is asked for.
    void unencodable()
    {
        QFETCH(QString, input);
        QFETCH(QString, encoding);
        QFETCH(QStringList, found);
        ExportOptions options{.repeats = input.contains(u"[00:05") ? RepeatedLines::Expand : RepeatedLines::Keep};
        QVERIFY(encodingFromKey(encoding, options.encoding));
        const ExportResult refused = exportLyrics(input.split(u'\n'), options);
        QCOMPARE(describeUnencodable(refused.unencodable), found);
        QCOMPARE(refused.bytes.isEmpty(), !found.isEmpty());
        if (found.isEmpty())
            return;
        options.replaceUnencodable = true;
        const TextEncoding encoded = options.encoding == ExportEncoding::Gbk ? TextEncoding::Gb18030 : TextEncoding::Utf8;
        QTEST(decodeTextAs(exportLyrics(input.split(u'\n'), options).bytes, encoded).text, "replaced");
    }
};

QTEST_GUILESS_MAIN(TestLyricsExport)
#include "tst_lyricsexport.moc"
