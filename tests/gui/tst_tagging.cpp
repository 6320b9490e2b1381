// Song import, time tags and the title refresh, through the window.
#include "ui/window/mainwindow.h"
#include "media/mpvengine.h"
#include "ui/components/playerwidget.h"
#include "fakes.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;
using Pos = std::optional<double>; // nothing: the player cannot tell
using Title = std::optional<QString>;

namespace {

// Editor text is written with '|' at the caret and '{' at the anchor of a
// selection. Setting it types the text as one undo step.
void setMarked(QPlainTextEdit *t, const QString &text)
{
    const qsizetype anchor = text.indexOf(u'{'), caret = text.indexOf(u'|');
    t->clear();
    t->insertPlainText(QString(text).remove(u'{').remove(u'|'));
    QTextCursor c = t->textCursor();
    c.setPosition(anchor < 0 ? caret : anchor - (anchor > caret));
    c.setPosition(caret - (anchor >= 0 && anchor < caret), QTextCursor::KeepAnchor);
    t->setTextCursor(c);
}

template <typename T>
T *part(const QWidget *window, const char *name)
{
    return window->findChild<T *>(QLatin1String(name));
}

QString marked(const QPlainTextEdit *t)
{
    const QTextCursor c = t->textCursor();
    QString text = t->toPlainText().insert(c.position(), u'|');
    return c.hasSelection() ? text.insert(c.anchor() + (c.anchor() > c.position()), u'{') : text;
}

} // namespace

class TestTagging : public QObject {
    Q_OBJECT
    tarvelin::test::FakeTools m_tools;
    tarvelin::test::FakeEngine *m_engine = nullptr;
    tarvelin::MainWindow *w = nullptr;
    QPlainTextEdit *m_editor = nullptr;
    QPushButton *m_insertTime = nullptr;

private Q_SLOTS:
    void init()
    {
        m_tools = {};
        auto engine = std::make_unique<tarvelin::test::FakeEngine>();
        m_engine = engine.get();
        w = new tarvelin::MainWindow(m_tools, std::move(engine));
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        m_editor = part<QPlainTextEdit>(w, "Text3");
        m_insertTime = part<QPushButton>(w, "Command3");
    }
    void cleanup() { delete w; }

    void importSong_data()
    {
        // Each answer: a path, or empty for a cancelled dialog.
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QStringList>("loads");
        QTest::addColumn<int>("stops");
        const QString a = u"/音乐/第一首.mp3"_s, b = u"/music/second.wma"_s;
        QTest::newRow("choose") << QStringList{a} << QStringList{a} << 1;
        QTest::newRow("cancel first time changes nothing") << QStringList{QString()} << QStringList{} << 0;
        QTest::newRow("cancel after a choice keeps the song playing") << QStringList{a, {}} << QStringList{a} << 1;
        QTest::newRow("choose again") << QStringList{a, b} << QStringList{a, b} << 2;
    }
    // A chosen song shows in Text1, is loaded and stands stopped at its start.
    void importSong()
    {
        QFETCH(QStringList, answers);
        QFETCH(QStringList, loads);
        QFETCH(int, stops);
        for (const QString &answer : answers) {
            answer.isEmpty() ? m_tools.cancel() : m_tools.answer(answer);
            QTest::mouseClick(part<QPushButton>(w, "Command2"), Qt::LeftButton);
        }
        QCOMPARE(m_tools.requests.size(), answers.size());
        QCOMPARE(part<QLineEdit>(w, "Text1")->text(), loads.value(loads.size() - 1));
        QCOMPARE(m_engine->loads, loads);
        QCOMPARE(m_engine->stops, stops);
    }

    void tag_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<Pos>("position");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<QString>("tagged");
        QTest::addColumn<QString>("afterUndo");
        QTest::newRow("caret at a line start")
            << "第一行\n|第二行\n" << Pos(83.456) << 1 << "第一行\n[01:23.45]|第二行\n" << "第一行\n第二行\n";
        QTest::newRow("selection replaced") << "a{b|c" << Pos(12.34) << 1 << "a[00:12.34]|c" << "abc";
        QTest::newRow("failed read: lyrics untouched") << "lyrics|" << Pos() << 1 << "lyrics|" << "";
    }
    // The tag goes in at the caret, or over the selection, with the caret
    // right after it, as one undo step of its own. The button keeps the
    // focus. A failed read changes nothing and says so.
    void tag()
    {
        QFETCH(QString, typed);
        QFETCH(Pos, position);
        QFETCH(int, clicks);
        QFETCH(QString, tagged);
        QFETCH(QString, afterUndo);
        setMarked(m_editor, typed);
        m_engine->positionValue = position;
        m_insertTime->setFocus(Qt::MouseFocusReason);
        for (int i = 0; i < clicks; ++i)
            QTest::mouseClick(m_insertTime, Qt::LeftButton);
        QCOMPARE(marked(m_editor), tagged);
        QCOMPARE(m_engine->positionReads, clicks);
        QCOMPARE(QApplication::focusWidget(), m_insertTime);
        const QString failed = u"插入时间: 无法读取播放器的当前位置，歌词未作改动。"_s;
        QCOMPARE(m_tools.errors, position ? QStringList() : QStringList{failed});
        m_editor->undo();
        QCOMPARE(m_editor->toPlainText(), afterUndo);
        m_editor->redo();
        QCOMPARE(m_editor->toPlainText(), QString(tagged).remove(u'|'));
    }

    // The tag is an undo step of its own: typing on either side of it, with
    // real keys, is undone separately.
    void undoStepsAroundATag()
    {
        setMarked(m_editor, u"|line"_s);
        m_editor->setFocus();
        QTest::keyClicks(m_editor, u"AB"_s);
        QTest::mouseClick(m_insertTime, Qt::LeftButton);
        // Tab, Tab: the save button, then the editor, caret still after the tag.
        for (int i = 0; i < 2; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), m_editor);
        QTest::keyClicks(m_editor, u"XY"_s);
        QCOMPARE(m_editor->toPlainText(), u"AB[00:00.00]XYline"_s);
        for (const QString &text : {u"AB[00:00.00]line"_s, u"ABline"_s, u"line"_s}) {
            QTest::keyClick(m_editor, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(m_editor->toPlainText(), text);
        }
    }

    void title_data()
    {
        QTest::addColumn<Title>("title");
        QTest::addColumn<Pos>("position");
        QTest::addColumn<QString>("expected");
        QTest::newRow("song playing") << Title(u"月亮代表我的心"_s) << Pos(75.5) << " 月亮代表我的心 [01:15.50]";
        QTest::newRow("empty title: two spaces") << Title(u""_s) << Pos(0.0) << "  [00:00.00]";
        QTest::newRow("position unreadable: kept") << Title(u"New"_s) << Pos() << " Old [00:01.00]";
        QTest::newRow("title unreadable: kept") << Title() << Pos(2.0) << " Old [00:01.00]";
    }
    // Every second the caption shows the title and position; when either
    // cannot be read it stays as it was, while the clock still ticks.
    void title()
    {
        QFETCH(Title, title);
        QFETCH(Pos, position);
        QFETCH(QString, expected);
        m_engine->titleValue = u"Old"_s;
        m_engine->positionValue = 1.0;
        w->refreshTitleAndClock();
        m_engine->titleValue = title;
        m_engine->positionValue = position;
        auto *clock = part<QLabel>(w, "Label2");
        clock->clear();
        QTRY_VERIFY_WITH_TIMEOUT(!clock->text().isEmpty(), 2500);
        QCOMPARE(w->windowTitle(), u"Tarvelin v1.0 by:Quorrin"_s + expected);
    }

    void realEngineEndToEnd()
    {
        tarvelin::test::useCNumericLocale();
        tarvelin::test::FakeTools tools;
        tarvelin::MainWindow w(tools, std::make_unique<tarvelin::MpvEngine>());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        tools.answer(QStringLiteral(TARVELIN_FIXTURES_DIR "/audio/tone-titled.mp3"));
        QTest::mouseClick(part<QPushButton>(&w, "Command2"), Qt::LeftButton);
        auto *player = part<tarvelin::PlayerWidget>(&w, "music1");
        auto *editor = part<QPlainTextEdit>(&w, "Text3");
        auto *insertTime = part<QPushButton>(&w, "Command3");
        // Imported songs stand ready at the start until the user plays them.
        QTRY_COMPARE(player->engine()->state(), tarvelin::MediaEngine::State::Stopped);
        setMarked(editor, u"|第一句\n第二句"_s);
        QTest::mouseClick(insertTime, Qt::LeftButton);
        QCOMPARE(marked(editor), u"[00:00.00]|第一句\n第二句"_s);

        player->setFocus();
        QTest::keyClick(player, Qt::Key_Space);
        QTRY_VERIFY(player->engine()->position().value_or(0) > 0.5);
        editor->moveCursor(QTextCursor::Down);
        editor->moveCursor(QTextCursor::StartOfLine);
        QTest::mouseClick(insertTime, Qt::LeftButton);
        const QString second = editor->toPlainText().section(u'\n', 1);
        QVERIFY2(QRegularExpression(u"^\\[00:0[0-3]\\.\\d\\d\\]第二句$"_s).match(second).hasMatch(), qPrintable(second));
        QTRY_VERIFY_WITH_TIMEOUT(w.windowTitle().startsWith(u"Tarvelin v1.0 by:Quorrin 测试歌曲 [00:0"_s), 2500);
    }
};

QTEST_MAIN(TestTagging)
#include "tst_tagging.moc"
