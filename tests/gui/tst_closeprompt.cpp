// Closing the window never loses lyrics silently: unsaved work brings the
// save / don't save / cancel question, saved or untouched work closes at once.
#include "app/mainwindow.h"
#include "fakes.h"

#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using tarvelin::MainWindow;
using tarvelin::PlatformTools;
using tarvelin::test::FakeEngine;
using tarvelin::test::FakeTools;

namespace {

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestClosePrompt : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void unsavedWorkAsks_data();
    void unsavedWorkAsks();
    void workThatNeedsNoSaveClosesAtOnce_data();
    void workThatNeedsNoSaveClosesAtOnce();
    void cancelledDialogsChangeNothing();

private:
    QTemporaryDir *m_dir = nullptr;
    FakeTools *m_tools = nullptr;
    MainWindow *m_window = nullptr;
};

void TestClosePrompt::init()
{
    m_dir = new QTemporaryDir;
    m_tools = new FakeTools;
    m_window = new MainWindow(*m_tools, std::make_unique<FakeEngine>());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestClosePrompt::cleanup()
{
    delete m_window;
    delete m_tools;
    delete m_dir;
}

void TestClosePrompt::unsavedWorkAsks_data()
{
    QTest::addColumn<PlatformTools::CloseAnswer>("answer");
    // What the save dialog answers: a name in the temporary folder, "" for
    // a cancel, or a name that cannot be written.
    QTest::addColumn<QString>("saveAs");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<QByteArray>("written");

    using A = PlatformTools::CloseAnswer;
    QTest::newRow("save") << A::Save << u"out.lrc"_s << true << QByteArray("[00:01]A\r\n");
    QTest::newRow("save, dialog cancelled") << A::Save << QString() << false << QByteArray();
    QTest::newRow("save fails") << A::Save << u"out.lrc/out.lrc"_s << false << QByteArray();
    QTest::newRow("don't save") << A::Discard << QString() << true << QByteArray();
    QTest::newRow("cancel") << A::Cancel << QString() << false << QByteArray();
}

void TestClosePrompt::unsavedWorkAsks()
{
    QFETCH(PlatformTools::CloseAnswer, answer);
    QFETCH(QString, saveAs);
    QFETCH(bool, closes);
    QFETCH(QByteArray, written);
    const QString out = m_dir->filePath(u"out.lrc"_s);
    if (saveAs.contains(u'/')) // a regular file standing where a folder should be
        QVERIFY(QFile(out).open(QIODevice::WriteOnly));
    if (answer == PlatformTools::CloseAnswer::Save)
        m_tools->fileAnswers.emplace_back(saveAs.isEmpty() ? std::nullopt : std::optional(m_dir->filePath(saveAs)));
    m_window->Text3->insertPlainText(u"[00:01]A"_s);
    m_tools->closeAnswer = answer;

    QCOMPARE(m_window->close(), closes);

    QCOMPARE(m_tools->closeQuestions, 1);
    QCOMPARE(m_window->isVisible(), !closes);
    QCOMPARE(readBytes(out), written);
    QCOMPARE(m_tools->errors.size(), saveAs.contains(u'/') ? 1 : 0);
    // Whatever was answered, the lyrics are still there until the window goes.
    QCOMPARE(m_window->Text3->toPlainText(), u"[00:01]A"_s);
}

void TestClosePrompt::workThatNeedsNoSaveClosesAtOnce_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("saved");

    QTest::newRow("untouched") << QString() << false;
    QTest::newRow("saved") << u"[00:01]A"_s << true;
}

void TestClosePrompt::workThatNeedsNoSaveClosesAtOnce()
{
    QFETCH(QString, typed);
    QFETCH(bool, saved);
    m_window->Text3->insertPlainText(typed);
    if (saved) {
        m_tools->answer(m_dir->filePath(u"out.lrc"_s));
        QVERIFY(m_window->saveLyrics());
    }
    QVERIFY(m_window->close());
    QCOMPARE(m_tools->closeQuestions, 0);
}

void TestClosePrompt::cancelledDialogsChangeNothing()
{
    const QString in = m_dir->filePath(u"in.txt"_s);
    QFile file(in);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("A\r\n") == 3);
    file.close();
    m_tools->answer(in);
    m_window->importText();
    QCOMPARE(m_window->Text2->text(), in);

    m_tools->cancel();
    m_window->importText();
    QCOMPARE(m_window->Text2->text(), QString());
    QCOMPARE(m_window->Text3->toPlainText(), u"A\n"_s);

    m_tools->cancel();
    QVERIFY(!m_window->saveLyrics());
    QVERIFY(m_window->hasUnsavedLyrics());
    QVERIFY(m_tools->errors.isEmpty());
}

QTEST_MAIN(TestClosePrompt)
#include "tst_closeprompt.moc"
