#include "components/filefilter.h"

#include <QTest>

using tarvelin::FilterEntry;

class TestFileFilter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parse_data();
    void parse();
};

void TestFileFilter::parse_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("nameFilters");
    QTest::newRow("lyrics text") << QStringLiteral("*.txt|*.txt") << QStringList{QStringLiteral("*.txt (*.txt)")};
    QTest::newRow("songs, in order") << QStringLiteral("*.mp3|*.mp3|*.wma|*.wma|*.rm|*.rm")
                                     << QStringList{QStringLiteral("*.mp3 (*.mp3)"), QStringLiteral("*.wma (*.wma)"),
                                                    QStringLiteral("*.rm (*.rm)")};
    QTest::newRow("save: lrc first") << QStringLiteral("*.lrc|*.lrc|*.txt|*.txt")
                                     << QStringList{QStringLiteral("*.lrc (*.lrc)"), QStringLiteral("*.txt (*.txt)")};
    QTest::newRow("several patterns") << QStringLiteral("歌曲|*.mp3;*.wma")
                                      << QStringList{QStringLiteral("歌曲 (*.mp3 *.wma)")};
    QTest::newRow("empty description") << QStringLiteral("|*.lrc") << QStringList{QStringLiteral("*.lrc (*.lrc)")};
    QTest::newRow("dangling description dropped") << QStringLiteral("*.txt|*.txt|Other")
                                                  << QStringList{QStringLiteral("*.txt (*.txt)")};
    QTest::newRow("empty pattern dropped") << QStringLiteral("A||*.txt|*.txt")
                                           << QStringList{QStringLiteral("*.txt (*.txt)")};
    QTest::newRow("empty filter") << QString() << QStringList{};
}

void TestFileFilter::parse()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, nameFilters);
    QCOMPARE(tarvelin::toNameFilters(tarvelin::parseFilter(filter)), nameFilters);
}

QTEST_GUILESS_MAIN(TestFileFilter)
#include "tst_filefilter.moc"
