// The units a line is timed in, word by word, and its word tags read and
// written back.
#include "core/wordunits.h"
#include "../support/datatable.h"

#include <QTest>

#include <numeric>

using namespace Qt::StringLiterals;

class TestWordUnits : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Units are written "a|b|c".
    void split_data()
    {
        const auto row = tarvelin::table<QString, QString, QList<int>>({"text", "units", "syllables"});
        row("Chinese, punctuation with the character before", u"春眠不觉晓，处处闻啼鸟。"_s, u"春|眠|不|觉|晓，|处|处|闻|啼|鸟。"_s,
            {1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
        row("mixed Chinese and English, spaces with the word before", u"我爱你 baby, don't go"_s,
            u"我|爱|你 |baby, |don't |go"_s, {1, 1, 1, 2, 1, 1});
        row("kana, small kana and the long mark join", u"きょうはパーティー"_s, u"きょ|う|は|パー|ティー"_s, {1, 1, 1, 1, 1});
        row("a leading quote goes with the first unit", u"“Hello” world"_s, u"“Hello” |world"_s, {2, 1});
        row("Cyrillic and accented Latin", u"Привет été"_s, u"Привет |été"_s, {2, 2});
        row("only punctuation is one unit; blank is none", u"……"_s, u"……"_s, {1});
        row("blank", u"  "_s, QString(), {});
    }
    void split()
    {
        QFETCH(QString, text);
        QStringList units;
        QList<int> syllables;
        for (const tarvelin::WordUnit &unit : tarvelin::splitWordUnits(text)) {
            units << unit.text;
            syllables << unit.syllables;
        }
        QTEST(units.join(u'|'), "units");
        QTEST(syllables, "syllables");
        QCOMPARE(units.join(QString()), text.trimmed().isEmpty() ? QString() : text);
    }

    // A line's word tags read as units and an end tag, written back byte for
    // byte; and the live view's fill ("position:characters"): whole units
    // before the one being sung, a share of that one, plain progress across
    // a line without word tags.
    void wordLine_data()
    {
        const auto row =
            tarvelin::table<QString, QString, qint64, qint64, QString>({"line", "units", "endMs", "lineEnd", "filled"});
        row("tagged characters and the end; before the line, after the end tag before the next line",
            u"[00:12.30]<00:12.30>春<00:12.71>眠<00:13.05>"_s, u"春|眠"_s, 13050, 20000, u"9000:0 14000:2"_s);
        row("the user's merge: one tag over two characters", u"[00:01.00]<00:01.00>春眠<00:02.00>不觉"_s, u"春眠|不觉"_s, -1, 0, {});
        row("untagged text before the first word tag", u"[00:01.00]Oh <00:01.50>yeah<00:02.00>"_s, u"Oh |yeah"_s, 2000, 0, {});
        row("spaced words, the second one half sung", u"[00:10.00]<00:10.00>Hello <00:11.00>world<00:12.00>"_s,
            u"Hello |world"_s, 12000, 20000, u"11500:8"_s);
        row("no end tag: the last unit lasts to the next line", u"[00:10.00]<00:10.00>ab<00:11.00>cdef"_s, u"ab|cdef"_s, -1,
            15000, u"13000:4"_s);
        row("no word tags: progress across the line", u"[00:10.00]abcdefghij"_s, u"abcdefghij"_s, -1, 20000, u"13000:3"_s);
    }
    void wordLine()
    {
        QFETCH(QString, line);
        QFETCH(qint64, lineEnd);
        QFETCH(QString, filled);
        const tarvelin::LrcLine parsed = tarvelin::parseLrcLine(line);
        const tarvelin::WordLine words = tarvelin::readWordLine(line, parsed);
        QStringList units;
        for (const tarvelin::WordUnit &unit : words.units)
            units << unit.text;
        QTEST(units.join(u'|'), "units");
        QTEST(words.endMs, "endMs");
        // Written back, the text after the line tag is byte for byte the same.
        QCOMPARE(tarvelin::writeWordTags(words.units, words.endMs), line.mid(parsed.textStart));
        for (const QString &at : filled.split(u' ', Qt::SkipEmptyParts))
            QCOMPARE(u"%1:%2"_s.arg(at.section(u':', 0, 0))
                         .arg(tarvelin::sungLength(words, parsed.tags.first().ms, lineEnd, at.section(u':', 0, 0).toLongLong())),
                     at);
    }

    // The units a line is tapped in: the cuts of its word tags kept (a
    // merged unit stays one), the rest cut by the rule; then merges and
    // splits by hand ("m I": unit I with the next, "s I": unit I split).
    void tappingUnits_data()
    {
        // units: text@ms|text@ms
        const auto row = tarvelin::table<QString, QString, QList<bool>, QString>({"line", "edits", "done", "units"});
        row("no word tags: by the rule", u"[00:01.00]春眠不觉"_s, {}, {}, u"春@-1|眠@-1|不@-1|觉@-1"_s);
        row("a merged unit in a closed line stays one", u"[00:01.00]<00:01.00>春眠<00:02.00>不觉晓<00:03.00>"_s, {}, {},
            u"春眠@1000|不觉晓@2000"_s);
        row("tapped part way: after the last tag by the rule", u"[00:01.00]<00:01.00>春<00:02.00>眠不觉"_s, {}, {},
            u"春@1000|眠@2000|不@-1|觉@-1"_s);
        row("untagged text before the first tag by the rule", u"[00:01.00]Oh yeah <00:02.00>baby<00:03.00>"_s, {}, {},
            u"Oh @-1|yeah @-1|baby@2000"_s);
        row("Chinese merged twice, then split back", u"[00:01.00]春眠不觉，晓"_s, u"m 1;m 1;s 1"_s, {true, true, true},
            u"春@-1|眠@-1|不@-1|觉，@-1|晓@-1"_s);
        row("kana: a long syllable stays one when split", u"[00:01.00]<00:01.00>きょうは<00:02.00>"_s, u"s 0"_s, {true},
            u"きょ@1000|う@-1|は@-1"_s);
        row("nothing after the last unit; one unit does not split; merged, its syllables add up", u"[00:01.00]春眠"_s,
            u"m 1;s 0;m -1;m 0"_s, {false, false, false, true}, u"春眠@-1"_s);
    }
    void tappingUnits()
    {
        QFETCH(QString, line);
        QFETCH(QString, edits);
        const tarvelin::LrcLine parsed = tarvelin::parseLrcLine(line);
        QList<tarvelin::WordUnit> units = tarvelin::tappingUnits(line, parsed);
        QList<bool> done;
        for (const QString &edit : edits.split(u';', Qt::SkipEmptyParts)) {
            const int i = edit.mid(2).toInt();
            done << (edit.startsWith(u'm') ? tarvelin::mergeUnits(units, i) : tarvelin::splitUnit(units, i));
        }
        QTEST(done, "done");
        const auto syllables = [](const QList<tarvelin::WordUnit> &list) {
            return std::accumulate(list.begin(), list.end(), 0, [](int n, const tarvelin::WordUnit &u) { return n + u.syllables; });
        };
        QStringList texts;
        QString joined;
        for (const tarvelin::WordUnit &unit : units) {
            texts << unit.text + u'@' + QString::number(unit.ms);
            joined += unit.text;
            QCOMPARE(unit.syllables, syllables(tarvelin::splitWordUnits(unit.text)));
        }
        QTEST(texts.join(u'|'), "units");
        // Every character of the sung text is in exactly one unit.
        QCOMPARE(joined, tarvelin::lyricText(line, parsed));
    }

};

QTEST_GUILESS_MAIN(TestWordUnits)
#include "tst_wordunits.moc"
