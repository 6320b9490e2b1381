// Closing the window never loses lyrics silently: unsaved work brings the
// save / don't save / cancel question; saved or untouched work closes at once.
#include "app/mainwindow.h"
#include "fakes.h"

#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using tarvelin::PlatformTools;

class TestClosePrompt : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void close_data();
    void close();
};

void TestClosePrompt::close_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("savedFirst");
    QTest::addColumn<PlatformTools::CloseAnswer>("answer");
    // The save dialog's answer: a name in the folder, "" for a cancel, or a
    // name below a regular file, which cannot be written.
    QTest::addColumn<QString>("saveAs");
    QTest::addColumn<bool>("asks");
    QTest::addColumn<bool>("closes");

    using A = PlatformTools::CloseAnswer;
    QTest::newRow("save") << u"A"_s << false << A::Save << u"out.lrc"_s << true << true;
    QTest::newRow("save, dialog cancelled") << u"A"_s << false << A::Save << QString() << true << false;
    QTest::newRow("save fails") << u"A"_s << false << A::Save << u"file/out.lrc"_s << true << false;
    QTest::newRow("don't save") << u"A"_s << false << A::Discard << QString() << true << true;
    QTest::newRow("cancel") << u"A"_s << false << A::Cancel << QString() << true << false;
    QTest::newRow("untouched") << QString() << false << A::Cancel << QString() << false << true;
    QTest::newRow("saved") << u"A"_s << true << A::Cancel << QString() << false << true;
}

void TestClosePrompt::close()
{
    QFETCH(QString, typed);
    QFETCH(bool, savedFirst);
    QFETCH(PlatformTools::CloseAnswer, answer);
    QFETCH(QString, saveAs);
    QFETCH(bool, asks);
    QFETCH(bool, closes);
    QTemporaryDir dir;
    QFile file(dir.filePath(u"file"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    tarvelin::test::FakeTools tools;
    tarvelin::MainWindow window(tools, std::make_unique<tarvelin::test::FakeEngine>());
    window.show();

    // A cancelled import through the window adds nothing and is no change.
    tools.cancel();
    window.importText();
    window.Text3->insertPlainText(typed);
    if (savedFirst) {
        tools.answer(dir.filePath(u"first.lrc"_s));
        QVERIFY(window.saveLyrics());
    }
    tools.closeAnswer = answer;
    tools.fileAnswers.emplace_back(saveAs.isEmpty() ? std::nullopt : std::optional(dir.filePath(saveAs)));

    QCOMPARE(window.close(), closes);
    QCOMPARE(tools.closeQuestions, asks ? 1 : 0);
    QCOMPARE(window.isVisible(), !closes);
    QCOMPARE(QFile::exists(dir.filePath(u"out.lrc"_s)), saveAs == u"out.lrc"_s);
    QCOMPARE(tools.errors.size(), saveAs.contains(u'/') ? 1 : 0);
    QCOMPARE(window.Text3->toPlainText(), typed);
}

QTEST_MAIN(TestClosePrompt)
#include "tst_closeprompt.moc"
