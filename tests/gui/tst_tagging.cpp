// Song import, time tags and the title refresh, through the window.
#include "ui/window/mainwindow.h"
#include "fakes.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using Pos = std::optional<double>; // nothing: the player cannot tell
using Title = std::optional<QString>;

class TestTagging : public QObject {
    Q_OBJECT
    tarvelin::test::FakeTools m_tools;
    tarvelin::test::FakeEngine *m_engine = nullptr;
    std::unique_ptr<tarvelin::MainWindow> w;
    QPlainTextEdit *m_editor = nullptr;
    QPushButton *m_insertTime = nullptr;

    template <typename T = QPushButton>
    T *part(const char *name) const { return w->findChild<T *>(QLatin1String(name)); }

private Q_SLOTS:
    void init()
    {
        m_tools = {};
        auto engine = std::make_unique<tarvelin::test::FakeEngine>();
        m_engine = engine.get();
        w = std::make_unique<tarvelin::MainWindow>(m_tools, std::move(engine));
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        m_editor = part<QPlainTextEdit>("Text3");
        m_insertTime = part("Command3");
    }

    // Each chosen song shows in Text1, is loaded and stands stopped at its
    // start; a cancelled dialog afterwards changes nothing.
    void importSong()
    {
        const QString a = u"/音乐/第一首.mp3"_s, b = u"/music/second.wma"_s;
        m_tools.answer(a);
        m_tools.answer(b);
        m_tools.cancel();
        for (int i = 0; i < 3; ++i)
            QTest::mouseClick(part("Command2"), Qt::LeftButton);
        QCOMPARE(part<QLineEdit>("Text1")->text(), b);
        QCOMPARE(m_engine->loads, (QStringList{a, b}));
        QCOMPARE(m_engine->stops, 2);
    }

    void tag_data()
    {
        // The caret stands at '|', a selection reaches from there to '{'.
        QTest::addColumn<QString>("typed");
        QTest::addColumn<Pos>("position");
        QTest::addColumn<QString>("tagged");
        QTest::newRow("caret at a line start") << "第一行\n|第二行" << Pos(83.456) << "第一行\n[01:23.45]|第二行";
        QTest::newRow("selection replaced") << "a{b|c" << Pos(12.34) << "a[00:12.34]|c";
        QTest::newRow("failed read: lyrics untouched") << "lyrics|" << Pos() << "lyrics|";
    }
    // The tag goes in at the caret or over the selection, the caret right
    // after it; the button keeps the focus. A failed read says so.
    void tag()
    {
        QFETCH(QString, typed);
        QFETCH(Pos, position);
        QFETCH(QString, tagged);
        const qsizetype anchor = typed.indexOf(u'{'), caret = typed.indexOf(u'|');
        m_editor->setPlainText(QString(typed).remove(u'{').remove(u'|'));
        QTextCursor c = m_editor->textCursor();
        c.setPosition(anchor < 0 ? caret : anchor);
        c.setPosition(caret - (anchor >= 0), QTextCursor::KeepAnchor);
        m_editor->setTextCursor(c);
        m_engine->positionValue = position;
        m_insertTime->setFocus();
        QTest::mouseClick(m_insertTime, Qt::LeftButton);
        QCOMPARE(m_editor->toPlainText().insert(m_editor->textCursor().position(), u'|'), tagged);
        QCOMPARE(QApplication::focusWidget(), m_insertTime);
        QCOMPARE(m_tools.errors, position ? QStringList() : QStringList{u"插入时间: 无法读取播放器的当前位置，歌词未作改动。"_s});
    }

    // Each tag is an undo step of its own: typing on either side of it, with
    // real keys, and the tag before it are undone separately.
    void undoStepsAroundATag()
    {
        m_editor->setFocus();
        QTest::keyClicks(m_editor, u"AB"_s);
        QTest::mouseClick(m_insertTime, Qt::LeftButton);
        QTest::mouseClick(m_insertTime, Qt::LeftButton);
        // Tab, Tab: the save button, then the editor, caret still after the tags.
        for (int i = 0; i < 2; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClicks(m_editor, u"XY"_s);
        QCOMPARE(m_editor->toPlainText(), u"AB[00:00.00][00:00.00]XY"_s);
        for (const QString &text : {u"AB[00:00.00][00:00.00]"_s, u"AB[00:00.00]"_s, u"AB"_s, QString()}) {
            QTest::keyClick(m_editor, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(m_editor->toPlainText(), text);
        }
    }

    // The caption shows the title and position; when either cannot be read
    // it stays as it was.
    void title()
    {
        const QString playing = u"Tarvelin v1.0 by:Quorrin 月亮代表我的心 [01:15.50]"_s;
        m_engine->titleValue = u"月亮代表我的心"_s;
        m_engine->positionValue = 75.5;
        w->refreshTitleAndClock();
        QCOMPARE(w->windowTitle(), playing);
        for (const auto &[title, position] : {std::pair{Title(u"New"_s), Pos()}, std::pair{Title(), Pos(2.0)}}) {
            m_engine->titleValue = title;
            m_engine->positionValue = position;
            w->refreshTitleAndClock();
            QCOMPARE(w->windowTitle(), playing);
        }
    }
};

QTEST_MAIN(TestTagging)
#include "tst_tagging.moc"
