// The units a line is timed in, word by word, and its word tags read and
// written back.
#include "core/wordunits.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestWordUnits : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void split_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("units");
        QTest::addColumn<QList<int>>("syllables");
        QTest::newRow("Chinese, punctuation with the character before")
            << u"春眠不觉晓，处处闻啼鸟。"_s << QStringList{u"春"_s, u"眠"_s, u"不"_s, u"觉"_s, u"晓，"_s, u"处"_s, u"处"_s, u"闻"_s, u"啼"_s, u"鸟。"_s}
            << QList<int>{1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
        QTest::newRow("mixed Chinese and English, spaces with the word before")
            << u"我爱你 baby, don't go"_s << QStringList{u"我"_s, u"爱"_s, u"你 "_s, u"baby, "_s, u"don't "_s, u"go"_s}
            << QList<int>{1, 1, 1, 2, 1, 1};
        QTest::newRow("kana, small kana and the long mark join")
            << u"きょうはパーティー"_s << QStringList{u"きょ"_s, u"う"_s, u"は"_s, u"パー"_s, u"ティー"_s}
            << QList<int>{1, 1, 1, 1, 1};
        QTest::newRow("a leading quote goes with the first unit")
            << u"“Hello” world"_s << QStringList{u"“Hello” "_s, u"world"_s} << QList<int>{2, 1};
        QTest::newRow("Cyrillic and accented Latin")
            << u"Привет été"_s << QStringList{u"Привет "_s, u"été"_s} << QList<int>{2, 2};
        QTest::newRow("only punctuation is one unit; blank is none") << u"……"_s << QStringList{u"……"_s} << QList<int>{1};
        QTest::newRow("blank") << u"  "_s << QStringList{} << QList<int>{};
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
        QTEST(units, "units");
        QTEST(syllables, "syllables");
        QCOMPARE(units.join(QString()), text.trimmed().isEmpty() ? QString() : text);
    }

    void readAndWrite_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("units");
        QTest::addColumn<qint64>("endMs");
        QTest::newRow("tagged characters and the end")
            << u"[00:12.30]<00:12.30>春<00:12.71>眠<00:13.05>"_s << QStringList{u"春"_s, u"眠"_s} << 13050LL;
        QTest::newRow("the user's merge: one tag over two characters")
            << u"[00:01.00]<00:01.00>春眠<00:02.00>不觉"_s << QStringList{u"春眠"_s, u"不觉"_s} << -1LL;
        QTest::newRow("untagged text before the first word tag")
            << u"[00:01.00]Oh <00:01.50>yeah<00:02.00>"_s << QStringList{u"Oh "_s, u"yeah"_s} << 2000LL;
        QTest::newRow("no word tags: split by the rule") << u"[00:01.00]hello world"_s << QStringList{u"hello "_s, u"world"_s} << -1LL;
    }
    void readAndWrite()
    {
        QFETCH(QString, line);
        const tarvelin::LrcLine parsed = tarvelin::parseLrcLine(line);
        const tarvelin::WordLine words = tarvelin::readWordLine(line, parsed);
        QStringList units;
        for (const tarvelin::WordUnit &unit : words.units)
            units << unit.text;
        QTEST(units, "units");
        QTEST(words.endMs, "endMs");
        // Written back, the text after the line tag is byte for byte the same.
        QCOMPARE(tarvelin::writeWordTags(words.units, words.endMs), line.mid(parsed.textStart));
    }

    // The units a line is tapped in: the cuts of its word tags kept (a
    // merged unit stays one), the rest cut by the rule; then merges and
    // splits by hand ("m I": unit I with the next, "s I": unit I split).
    void tappingUnits_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("edits");
        QTest::addColumn<QList<bool>>("done");
        QTest::addColumn<QStringList>("units"); // text@ms
        QTest::newRow("no word tags: by the rule")
            << u"[00:01.00]春眠不觉"_s << QString() << QList<bool>{}
            << QStringList{u"春@-1"_s, u"眠@-1"_s, u"不@-1"_s, u"觉@-1"_s};
        QTest::newRow("a merged unit in a closed line stays one")
            << u"[00:01.00]<00:01.00>春眠<00:02.00>不觉晓<00:03.00>"_s << QString() << QList<bool>{}
            << QStringList{u"春眠@1000"_s, u"不觉晓@2000"_s};
        QTest::newRow("tapped part way: after the last tag by the rule")
            << u"[00:01.00]<00:01.00>春<00:02.00>眠不觉"_s << QString() << QList<bool>{}
            << QStringList{u"春@1000"_s, u"眠@2000"_s, u"不@-1"_s, u"觉@-1"_s};
        QTest::newRow("untagged text before the first tag by the rule")
            << u"[00:01.00]Oh yeah <00:02.00>baby<00:03.00>"_s << QString() << QList<bool>{}
            << QStringList{u"Oh @-1"_s, u"yeah @-1"_s, u"baby@2000"_s};
        QTest::newRow("Chinese merged twice, then split back")
            << u"[00:01.00]春眠不觉，晓"_s << u"m 1;m 1;s 1"_s << QList<bool>{true, true, true}
            << QStringList{u"春@-1"_s, u"眠@-1"_s, u"不@-1"_s, u"觉，@-1"_s, u"晓@-1"_s};
        QTest::newRow("mixed: a phrase sung as one")
            << u"[00:01.00]我爱你 baby, don't go"_s << u"m 3;m 3"_s << QList<bool>{true, true}
            << QStringList{u"我@-1"_s, u"爱@-1"_s, u"你 @-1"_s, u"baby, don't go@-1"_s};
        QTest::newRow("kana: a long syllable stays one when split")
            << u"[00:01.00]<00:01.00>きょうは<00:02.00>"_s << u"s 0"_s << QList<bool>{true}
            << QStringList{u"きょ@1000"_s, u"う@-1"_s, u"は@-1"_s};
        QTest::newRow("nothing after the last unit; one unit does not split")
            << u"[00:01.00]春眠"_s << u"m 1;s 0;m -1"_s << QList<bool>{false, false, false}
            << QStringList{u"春@-1"_s, u"眠@-1"_s};
    }
    void tappingUnits()
    {
        QFETCH(QString, line);
        QFETCH(QString, edits);
        QList<tarvelin::WordUnit> units = tarvelin::tappingUnits(line, tarvelin::parseLrcLine(line));
        QList<bool> done;
        for (const QString &edit : edits.split(u';', Qt::SkipEmptyParts)) {
            const int i = edit.mid(2).toInt();
            done << (edit.startsWith(u'm') ? tarvelin::mergeUnits(units, i) : tarvelin::splitUnit(units, i));
        }
        QTEST(done, "done");
        QStringList texts;
        QString joined;
        for (const tarvelin::WordUnit &unit : units) {
            texts << unit.text + u'@' + QString::number(unit.ms);
            joined += unit.text;
            QCOMPARE(unit.syllables, [&] {
                int n = 0;
                for (const tarvelin::WordUnit &piece : tarvelin::splitWordUnits(unit.text))
                    n += piece.syllables;
                return n;
            }());
        }
        QTEST(texts, "units");
        // Every character of the sung text is in exactly one unit.
        const tarvelin::LrcLine parsed = tarvelin::parseLrcLine(line);
        QCOMPARE(joined, tarvelin::lyricText(line, parsed));
    }

    // The live view's fill: whole units before the one being sung, a share of
    // that one, plain progress across a line without word tags.
    void sung_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<qint64>("lineEnd");
        QTest::addColumn<qint64>("position");
        QTest::addColumn<int>("filled");
        const QString words = QStringLiteral("[00:10.00]<00:10.00>春<00:11.00>眠<00:12.00>");
        QTest::newRow("before the line") << words << 20000LL << 9000LL << 0;
        QTest::newRow("inside the first unit: part of it") << words << 20000LL << 10400LL << 0;
        QTest::newRow("the second unit half sung") << words << 20000LL << 11500LL << 1;
        QTest::newRow("after the end tag, before the next line") << words << 20000LL << 13000LL << 2;
        QTest::newRow("spaced words, the second one half sung")
            << QStringLiteral("[00:10.00]<00:10.00>Hello <00:11.00>world<00:12.00>") << 20000LL << 11500LL << 8;
        QTest::newRow("no end tag: the last unit lasts to the next line")
            << QStringLiteral("[00:10.00]<00:10.00>ab<00:11.00>cdef") << 15000LL << 13000LL << 4;
        QTest::newRow("no word tags: progress across the line")
            << QStringLiteral("[00:10.00]abcdefghij") << 20000LL << 13000LL << 3;
    }
    void sung()
    {
        QFETCH(QString, line);
        QFETCH(qint64, lineEnd);
        QFETCH(qint64, position);
        const tarvelin::LrcLine parsed = tarvelin::parseLrcLine(line);
        const tarvelin::WordLine words = tarvelin::readWordLine(line, parsed);
        QTEST(int(tarvelin::sungLength(words, parsed.tags.first().ms, lineEnd, position)), "filled");
    }
};

QTEST_GUILESS_MAIN(TestWordUnits)
#include "tst_wordunits.moc"
