// Song import, time tags and the title refresh, through the window.
#include "app/mainwindow.h"
#include "components/mpvengine.h"
#include "components/playerwidget.h"
#include "fakes.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

using tarvelin::MainWindow;
using tarvelin::test::FakeEngine;
using tarvelin::test::FakeTools;

namespace {

// Puts the editor's caret, or a selection, at character offsets.
void select(QPlainTextEdit *edit, int anchor, int position)
{
    QTextCursor c = edit->textCursor();
    c.setPosition(anchor);
    c.setPosition(position, QTextCursor::KeepAnchor);
    edit->setTextCursor(c);
}

} // namespace

class TestTagging : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void importSong_data();
    void importSong();

    void tag_data();
    void tag();
    void tagIsOneUndoStep_data();
    void tagIsOneUndoStep();
    void clickKeepsFocusOnButtonAndCaretInEditor();
    void failedReadKeepsEditorAndSays();

    void title_data();
    void title();
    void failedReadKeepsTitleButClockRuns();

    void realEngineEndToEnd();

private:
    FakeTools *m_tools = nullptr;
    FakeEngine *m_engine = nullptr;
    MainWindow *m_window = nullptr;
};

void TestTagging::init()
{
    m_tools = new FakeTools;
    auto engine = std::make_unique<FakeEngine>();
    m_engine = engine.get();
    m_window = new MainWindow(*m_tools, std::move(engine));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestTagging::cleanup()
{
    delete m_window;
    delete m_tools;
}

void TestTagging::importSong_data()
{
    // Each answer: a path, or empty for a cancelled dialog.
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("text1");
    QTest::addColumn<QStringList>("loads");
    QTest::addColumn<int>("stops");
    const QString a = QStringLiteral("/音乐/第一首.mp3");
    const QString b = QStringLiteral("/music/second.wma");
    QTest::newRow("choose") << QStringList{a} << a << QStringList{a} << 1;
    QTest::newRow("cancel first time changes nothing") << QStringList{QString()} << QString() << QStringList{} << 0;
    QTest::newRow("cancel after a choice keeps the song playing")
        << QStringList{a, QString()} << a << QStringList{a} << 1;
    QTest::newRow("choose again") << QStringList{a, b} << b << QStringList{a, b} << 2;
}

void TestTagging::importSong()
{
    QFETCH(QStringList, answers);
    QFETCH(QString, text1);
    QFETCH(QStringList, loads);
    QFETCH(int, stops);
    for (const QString &answer : answers) {
        if (answer.isEmpty())
            m_tools->cancel();
        else
            m_tools->answer(answer);
        QTest::mouseClick(m_window->Command2, Qt::LeftButton);
    }
    QCOMPARE(m_tools->requests.size(), answers.size());
    QCOMPARE(m_tools->requests.last().title, QStringLiteral("导入歌曲"));
    QCOMPARE(m_window->Text1->text(), text1);
    QCOMPARE(m_engine->loads, loads);
    QCOMPARE(m_engine->stops, stops);
    QCOMPARE(m_window->opensong1.FileName, text1);
    QVERIFY(m_tools->errors.isEmpty());
}

void TestTagging::tag_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("caret");
    QTest::addColumn<std::optional<double>>("position");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("caretAfter");
    const QString lyrics = QStringLiteral("第一行\n第二行\n");
    QTest::newRow("caret at a line start") << lyrics << 4 << 4 << std::optional(83.456) << 1
                                           << QStringLiteral("第一行\n[01:23.45]第二行\n") << 14;
    QTest::newRow("selection replaced") << QStringLiteral("abc XYZ def") << 4 << 7 << std::optional(1.0) << 1
                                        << QStringLiteral("abc [00:01.00] def") << 14;
    QTest::newRow("backwards selection replaced") << QStringLiteral("abc XYZ def") << 7 << 4 << std::optional(1.0)
                                                  << 1 << QStringLiteral("abc [00:01.00] def") << 14;
    QTest::newRow("twice in a row") << QStringLiteral("la") << 0 << 0 << std::optional(2.5) << 2
                                    << QStringLiteral("[00:02.50][00:02.50]la") << 20;
    QTest::newRow("empty editor") << QString() << 0 << 0 << std::optional(0.07) << 1
                                  << QStringLiteral("[00:00.07]") << 10;
    QTest::newRow("nothing loaded") << QStringLiteral("x") << 0 << 0 << std::optional(0.0) << 1
                                    << QStringLiteral("[00:00.00]x") << 10;
}

void TestTagging::tag()
{
    QFETCH(QString, text);
    QFETCH(int, anchor);
    QFETCH(int, caret);
    QFETCH(std::optional<double>, position);
    QFETCH(int, clicks);
    QFETCH(QString, expected);
    QFETCH(int, caretAfter);
    QPlainTextEdit *t = m_window->Text3;
    t->setPlainText(text);
    select(t, anchor, caret);
    m_engine->positionValue = position;
    for (int i = 0; i < clicks; ++i)
        QTest::mouseClick(m_window->Command3, Qt::LeftButton);
    QCOMPARE(t->toPlainText(), expected);
    QCOMPARE(t->textCursor().position(), caretAfter);
    QVERIFY(!t->textCursor().hasSelection());
    QCOMPARE(m_engine->positionReads, clicks);
}

void TestTagging::tagIsOneUndoStep_data()
{
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("caret");
    QTest::addColumn<int>("tags");
    QTest::addColumn<QString>("tagged");
    QTest::addColumn<QString>("afterUndo");
    QTest::newRow("over a selection") << 1 << 2 << 1 << QStringLiteral("a[00:12.34]c") << QStringLiteral("abc");
    QTest::newRow("right after typing") << 3 << 3 << 1 << QStringLiteral("abc[00:12.34]") << QStringLiteral("abc");
    QTest::newRow("second of two tags") << 0 << 0 << 2 << QStringLiteral("[00:12.34][00:12.34]abc")
                                        << QStringLiteral("[00:12.34]abc");
}

void TestTagging::tagIsOneUndoStep()
{
    QFETCH(int, anchor);
    QFETCH(int, caret);
    QFETCH(int, tags);
    QFETCH(QString, tagged);
    QFETCH(QString, afterUndo);
    QPlainTextEdit *t = m_window->Text3;
    t->setFocus();
    QTest::keyClicks(t, QStringLiteral("abc"));
    select(t, anchor, caret);
    m_engine->positionValue = 12.34;
    for (int i = 0; i < tags; ++i)
        QTest::mouseClick(m_window->Command3, Qt::LeftButton);
    QCOMPARE(t->toPlainText(), tagged);
    t->undo();
    QCOMPARE(t->toPlainText(), afterUndo);
    t->redo();
    QCOMPARE(t->toPlainText(), tagged);
}

void TestTagging::clickKeepsFocusOnButtonAndCaretInEditor()
{
    QPlainTextEdit *t = m_window->Text3;
    t->setPlainText(QStringLiteral("one\ntwo"));
    t->setFocus();
    select(t, 4, 4);
    m_window->Command3->setFocus(Qt::MouseFocusReason); // the click takes the focus
    QTest::mouseClick(m_window->Command3, Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(m_window->Command3));
    QCOMPARE(t->toPlainText(), QStringLiteral("one\n[00:00.00]two"));
    QCOMPARE(t->textCursor().position(), 14);
    // The next line: the user moves the caret and clicks again.
    t->moveCursor(QTextCursor::End);
    QTest::mouseClick(m_window->Command3, Qt::LeftButton);
    QCOMPARE(t->toPlainText(), QStringLiteral("one\n[00:00.00]two[00:00.00]"));
}

void TestTagging::failedReadKeepsEditorAndSays()
{
    QPlainTextEdit *t = m_window->Text3;
    t->setPlainText(QStringLiteral("unsaved lyrics"));
    m_engine->positionValue.reset();
    QTest::mouseClick(m_window->Command3, Qt::LeftButton);
    QCOMPARE(t->toPlainText(), QStringLiteral("unsaved lyrics"));
    QCOMPARE(m_tools->errors.size(), 1);
    QVERIFY(m_tools->errors.first().startsWith(QStringLiteral("插入时间")));
    QVERIFY(m_window->isVisible());
}

void TestTagging::title_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<double>("position");
    QTest::addColumn<QString>("expected");
    QTest::newRow("song playing") << QStringLiteral("月亮代表我的心") << 75.5
                                  << QStringLiteral("Tarvelin v1.0 by:Quorrin 月亮代表我的心 [01:15.50]");
    QTest::newRow("empty title: two spaces") << QString() << 0.0 << QStringLiteral("Tarvelin v1.0 by:Quorrin  [00:00.00]");
}

void TestTagging::title()
{
    QFETCH(QString, title);
    QFETCH(double, position);
    QFETCH(QString, expected);
    m_engine->titleValue = title;
    m_engine->positionValue = position;
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tarvelin v1.0 by:Quorrin"));
    // The first tick comes about a second after the window is shown.
    QTRY_COMPARE_WITH_TIMEOUT(m_window->windowTitle(), expected, 2500);
    QVERIFY(!m_window->Label2->text().isEmpty());
}

void TestTagging::failedReadKeepsTitleButClockRuns()
{
    m_engine->titleValue = QStringLiteral("Song");
    m_engine->positionValue = 1.0;
    m_window->refreshTitleAndClock();
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tarvelin v1.0 by:Quorrin Song [00:01.00]"));

    m_engine->positionValue.reset();
    m_window->Label2->clear();
    m_window->refreshTitleAndClock();
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tarvelin v1.0 by:Quorrin Song [00:01.00]"));
    QVERIFY(!m_window->Label2->text().isEmpty());

    m_engine->positionValue = 2.0;
    m_engine->titleValue.reset();
    m_window->refreshTitleAndClock();
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tarvelin v1.0 by:Quorrin Song [00:01.00]"));
}

void TestTagging::realEngineEndToEnd()
{
    FakeTools tools;
    MainWindow w(tools, std::make_unique<tarvelin::MpvEngine>());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QString song = QStringLiteral(TARVELIN_FIXTURES_DIR "/audio/tone-titled.mp3");
    tools.answer(song);
    QTest::mouseClick(w.Command2, Qt::LeftButton);
    QCOMPARE(w.Text1->text(), song);
    // Imported songs stand ready at the start until the user plays them.
    QTRY_COMPARE(w.music1->engine()->state(), tarvelin::MediaEngine::State::Stopped);
    w.Text3->setPlainText(QStringLiteral("第一句\n第二句"));
    w.Text3->moveCursor(QTextCursor::Start);
    QTest::mouseClick(w.Command3, Qt::LeftButton);
    QCOMPARE(w.Text3->toPlainText(), QStringLiteral("[00:00.00]第一句\n第二句"));

    w.music1->setFocus();
    QTest::keyClick(w.music1, Qt::Key_Space);
    QTRY_VERIFY(w.music1->engine()->position().value_or(0) > 0.5);
    w.Text3->moveCursor(QTextCursor::Down);
    w.Text3->moveCursor(QTextCursor::StartOfLine);
    QTest::mouseClick(w.Command3, Qt::LeftButton);
    const QString second = w.Text3->toPlainText().section(QLatin1Char('\n'), 1);
    QVERIFY2(QRegularExpression(QStringLiteral("^\\[00:0[0-3]\\.\\d\\d\\]第二句$")).match(second).hasMatch(),
             qPrintable(second));
    QTRY_VERIFY_WITH_TIMEOUT(w.windowTitle().startsWith(QStringLiteral("Tarvelin v1.0 by:Quorrin 测试歌曲 [00:0")),
                             2500);
}

QTEST_MAIN(TestTagging)
#include "tst_tagging.moc"
