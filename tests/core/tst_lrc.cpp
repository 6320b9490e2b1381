// Time tags of lyrics text: a position as a tag, the lyrics check, and the
// song position at a key press. How lines read, and shifting their tags, is
// in the lyrics document's tables.
#include "core/lrc.h"
#include "core/positiontext.h"
#include "core/presstime.h"
#include "../support/datatable.h"

#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;
using tarvelin::LyricsProblem;

class TestLrc : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void position_data()
    {
        const auto row = tarvelin::table<double, QString>({"seconds", "expected"});
        row("binary fraction below .29", 0.29, "00:00.29");
        row("cut, not rounded", 59.999, "00:59.99");
        row("a hundred minutes", 6000.0, "100:00.00");
        row("infinity reads as zero", std::numeric_limits<double>::infinity(), "00:00.00");
    }
    void position()
    {
        QFETCH(double, seconds);
        QTEST(tarvelin::formatPosition(seconds), "expected");
    }

    void check_data()
    {
        // found: "line(1-based) kind"
        const auto add = tarvelin::table<QString, double, QStringList, QString>({"text", "duration", "found", "mentions"});
        const auto row = [&](const char *name, const char *text, const QStringList &found, const char *mentions = "",
                             double duration = 0) { add(name, text, duration, found, mentions); };
        row("clean", "[ti:x]\n \t\n[00:01.00]a\n[00:02.00]b", {}, "", 10.0);
        row("untagged lyric line, ID tag then text; length unknown", "[03:10.00]a\n[ar:x] b\n\n[ar:x]", {u"2 Untagged"_s});
        row("out of order", "[00:05.00]a\n[00:03.00]b\n[00:04.00]c", {u"2 OutOfOrder"_s}, "第 1 行的 [00:05.00]");
        row("chorus tags jump ahead", "[00:10.00]a\n[00:20.00][01:00.00]c\n[00:30.00]b", {});
        row("same time on two lines, not twice on one", "[00:01.00][00:01.00]a\n[00:01.000]b", {u"2 SameTime"_s});
        row("past the end, less the offset", "[offset:1000]\n[03:05.50]a\n[03:06.50]b", {u"3 PastEnd"_s}, "03:05.00", 185.0);
        row("seconds 60", "[1:60.00]a", {u"1 Malformed"_s}, "“[1:60.00]”不是有效的时间标签：秒数须小于 60");
        row("tenths read as", "[00:12.5]a", {u"1 ReadAs"_s}, "读作 12.50 秒");
        row("a key twice, any case", "[ar:]\n[AR:]\n[00:01.00]a", {u"2 RepeatedIdTag"_s}, "“[AR:]”重复：第 1 行已有 ar 标签");
        row("offset not a number", "[offset:+abc]\n[00:01.00]a", {u"1 BadIdTag"_s}, "“[offset:+abc]”不是有效的偏移");
        row("length seconds 99", "[ti:x][length:99:99]\n[00:01.00]a", {u"1 BadIdTag"_s}, "“[length:99:99]”不是有效的歌曲长度");
        row("usable offset and length, empty by", "[offset:-500][length: 03:25 ][by:]\n[00:01.00]a", {});
        row("tag in the middle of a line", "第一句[00:00.00]中间的标签\n[00:01.00]b[00:02.00]c[Whistling]",
            {u"1 Untagged"_s, u"1 TagInText"_s, u"2 TagInText"_s}, "“[00:00.00]”在行中间，不算时间标签");
        row("word tags in order, closed, end on the next line's tag",
            "[00:01.00]<00:01.00>春<00:01.40>眠<00:02.00>\n[00:02.00]<00:02.00>b<00:02.50>", {});
        row("word tags out of order", "[00:01.00]<00:01.00>春<00:01.80>眠<00:01.40>不<00:02.00>", {u"1 WordOrder"_s},
            "逐字时间 <00:01.40> 早于它前面的 <00:01.80>");
        row("word tag before the line's tag, the earliest of several",
            "[00:05.00][00:01.00]<00:00.90>a <00:01.20>b<00:01.50>", {u"1 WordOutside"_s}, "早于本行的时间 [00:01.00]");
        row("word tag after the next line's tag, blank and ID lines between",
            "[00:01.00]<00:01.00>a<00:02.10>b<00:02.20>\n\n[ar:x]\n[00:02.00]c", {u"1 WordOutside"_s, u"1 WordOutside"_s},
            "晚于下一行的时间 [00:02.00]");
        row("no end tag: one hint per line, the last line too",
            "[00:01.00]<00:01.00>a<00:01.50>b<00:01.70>c\n[00:03.00]<00:03.00>d", {u"1 WordUnclosed"_s, u"2 WordUnclosed"_s},
            "没有结束标签");
        row("a line out of order does not turn its words outside",
            "[00:05.00]<00:05.00>a<00:05.50>\n[00:03.00]<00:03.00>b<00:03.50>", {u"2 OutOfOrder"_s});
    }
    void check()
    {
        QFETCH(QString, text);
        QFETCH(double, duration);
        QFETCH(QString, mentions);
        static const char *const names[] = {"Malformed", "ReadAs",        "Untagged",  "OutOfOrder", "SameTime",    "PastEnd",
                                            "BadIdTag",  "RepeatedIdTag", "TagInText", "WordOrder",  "WordOutside", "WordUnclosed"};
        QStringList found;
        QString messages;
        for (const LyricsProblem &p : tarvelin::checkLyrics(text.split(u'\n'), duration)) {
            found.append(QString::number(p.line + 1) + u' ' + QLatin1String(names[int(p.kind)]));
            messages += p.message;
        }
        QTEST(found, "found");
        QVERIFY2(messages.contains(mentions), qPrintable(messages));
    }

    void pressTime_data()
    {
        const auto row = tarvelin::table<double, double, qint64, double>({"now", "speed", "elapsed", "expected"});
        row("0.75x takes back song time", 10.0, 0.75, 200LL, 9.85);
        row("clamped at 0", 0.1, 1.0, 200LL, 0.0);
        row("press after now: clocks differ", 10.0, 1.0, -5LL, 10.0);
        row("implausibly long ago", 10.0, 1.0, 60000LL, 10.0);
    }
    void pressTime()
    {
        QFETCH(double, now);
        QFETCH(double, speed);
        QFETCH(qint64, elapsed);
        QTEST(tarvelin::positionAtPress(now, speed, elapsed), "expected");
    }
};

QTEST_GUILESS_MAIN(TestLrc)
#include "tst_lrc.moc"
