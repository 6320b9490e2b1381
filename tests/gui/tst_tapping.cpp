// Tap-mode logic against a real QTextDocument and its own undo stack.
#include "ui/workflow/tapping.h"

#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

using namespace Qt::StringLiterals;

namespace {

const QStringList base{
    u"[ti:Song]"_s,                  // 0
    u"[ar:Singer]"_s,                // 1
    u""_s,                           // 2
    u"first"_s,                      // 3
    u"[00:05.00][01:00.00]second"_s, // 4
    u""_s,                           // 5
    u"third"_s,                      // 6
    u""_s,                           // 7
};

QString optionalText(const std::optional<double> &value)
{
    return value ? QString::number(*value) : u"none"_s;
}

} // namespace

class TestTapping : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Each row runs a script of actions from line 0 and checks the lines that
    // changed, the current line and what the last action returned.
    void script_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("changed"); // "line:text"
        QTest::addColumn<int>("current");
        QTest::addColumn<QString>("result");
        QTest::newRow("tap skips ID and blank lines") << "tap 1.239" << QStringList{u"3:[00:01.23]first"_s} << 4 << "3";
        QTest::newRow("re-tap replaces the first tag only")
            << "line 4; tap 7.891" << QStringList{u"4:[00:07.89][01:00.00]second"_s} << 6 << "4";
        QTest::newRow("after the last line it stays") << "line 6; tap 9; tap 10" << QStringList{u"6:[00:10.00]third"_s} << 6 << "6";
        QTest::newRow("no lyric line below") << "line 7; tap 9" << QStringList{} << 7 << "-1";
        QTest::newRow("one undo step per tap") << "tap 1; tap 2; undo" << QStringList{u"3:[00:01.00]first"_s} << 4 << "";
        QTest::newRow("undo restores a replaced tag and the line") << "line 4; tap 7.891; line 0; undo" << QStringList{} << 4 << "";
        QTest::newRow("redo") << "line 4; tap 7.891; undo; redo"
                              << QStringList{u"4:[00:07.89][01:00.00]second"_s} << 6 << "";
        QTest::newRow("step back: tag minus pre-roll") << "line 6; back" << QStringList{} << 4 << "3";
        QTest::newRow("step back to an untagged line") << "line 4; back" << QStringList{} << 3 << "none";
        QTest::newRow("step back pre-roll stops at 0") << "line 3; tap 1.5; back" << QStringList{u"3:[00:01.50]first"_s} << 3 << "0";
        QTest::newRow("undo a step back") << "line 6; back; undo" << QStringList{} << 6 << "";
        QTest::newRow("replay") << "line 4; replay" << QStringList{} << 4 << "3";
        QTest::newRow("nudge across a minute") << "line 4; tap 59.95; line 4; nudge 100"
                                               << QStringList{u"4:[01:00.05][01:00.00]second"_s} << 4 << "60.05";
        QTest::newRow("nudge below 0 clamped") << "line 4; tap 0.05; line 4; nudge -100"
                                               << QStringList{u"4:[00:00.00][01:00.00]second"_s} << 4 << "0";
        QTest::newRow("undo a nudge") << "line 4; nudge 10; line 6; undo" << QStringList{} << 4 << "";
        QTest::newRow("nudge an untagged line") << "line 3; nudge 100" << QStringList{} << 3 << "none";
        QTest::newRow("down skips blank lines") << "line 4; down" << QStringList{} << 6 << "true";
        QTest::newRow("up stops at the first lyric line") << "line 3; up" << QStringList{} << 3 << "false";
    }
    void script()
    {
        QFETCH(QString, script);
        QFETCH(QStringList, changed);
        QTextDocument document(base.join(u'\n'));
        document.setModified(false);
        tarvelin::Tapper tapper(&document);
        QString result;
        for (const QString &action : script.split(u"; "_s)) {
            const QString verb = action.section(u' ', 0, 0);
            const QString arg = action.section(u' ', 1);
            if (verb == u"tap")
                result = QString::number(tapper.tap(arg.toDouble()));
            else if (verb == u"line")
                tapper.setCurrentLine(arg.toInt());
            else if (verb == u"back")
                result = optionalText(tapper.stepBack());
            else if (verb == u"replay")
                result = optionalText(tapper.replayTarget());
            else if (verb == u"nudge")
                result = optionalText(tapper.nudge(arg.toLongLong()));
            else if (verb == u"up" || verb == u"down")
                result = QVariant(verb == u"up" ? tapper.moveUp() : tapper.moveDown()).toString();
            else if (verb == u"undo")
                document.undo(), result.clear();
            else if (verb == u"redo")
                document.redo(), result.clear();
            else
                QFAIL(qPrintable(action));
        }
        QStringList expected = base;
        for (const QString &change : changed)
            expected[change.section(u':', 0, 0).toInt()] = change.section(u':', 1);
        QCOMPARE(document.toPlainText().split(u'\n'), expected);
        QTEST(tapper.currentLine(), "current");
        QTEST(result, "result");
        // Only a change to the text takes a saved document out of its saved state.
        if (!script.contains(u"undo"))
            QCOMPARE(document.isModified(), !changed.isEmpty());
    }
};

QTEST_MAIN(TestTapping)
#include "tst_tapping.moc"
