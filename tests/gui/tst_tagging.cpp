// The lyrics through the window's own actions: 导入歌曲, 插入时间, 导入文本,
// 保存歌词 and closing. Where a tag goes and its undo steps, the caption, what
// an import does to the window, the bytes a save writes, what a failed save
// leaves behind, and when closing asks about unsaved lyrics.
#include "window/mainwindow.h"
#include "fakes.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>

using namespace Qt::StringLiterals;
using tarvelin::PlatformTools;
using Pos = std::optional<double>; // nothing: the player cannot tell
using Title = std::optional<QString>;

class TestTagging : public QObject, tarvelin::test::WindowFixture {
    Q_OBJECT
    QTemporaryDir m_dir;
    QPushButton *m_insertTime = nullptr;

    QString path(const QString &name) const { return QDir(m_dir.path()).absoluteFilePath(name); }
    QString file(const QString &name, const QByteArray &bytes)
    {
        return tarvelin::test::writeFile(path(name), bytes) ? path(name) : u"(unwritten)"_s;
    }
    QByteArray read(const QString &name) const { return tarvelin::test::readFile(path(name)); }
    // The next file dialog answers `name`; "" cancels it.
    void choose(const QString &name) { name.isEmpty() ? tools.cancel() : tools.answer(path(name)); }

private Q_SLOTS:
    // A size limit gives EFBIG, not death.
    void initTestCase() { std::signal(SIGXFSZ, SIG_IGN); }
    void init()
    {
        file(u"plain"_s, "old");
        QVERIFY(open());
        m_insertTime = window->findChild<QPushButton *>(u"Command3"_s);
    }

    // A chosen song shows in Text1, is loaded and stands stopped at its
    // start; a cancelled dialog afterwards leaves the player as it was. The
    // caption shows the title and position; while either cannot be read it
    // stays as it was.
    void importSongAndCaption()
    {
        const QString song = u"/音乐/第一首.mp3"_s;
        tools.answer(song);
        tools.cancel();
        for (int i = 0; i < 2; ++i)
            QTest::mouseClick(window->findChild<QPushButton *>(u"Command2"_s), Qt::LeftButton);
        QCOMPARE(window->findChild<QLineEdit *>(u"Text1"_s)->text(), song);
        QCOMPARE(engine->loads, QStringList{song});
        QCOMPARE(engine->stops, 1);
        const std::pair<Title, Pos> readings[] = {{u"月亮代表我的心"_s, 75.5}, {u"New"_s, Pos()}, {Title(), 2.0}};
        for (const auto &[title, position] : readings) {
            engine->titleValue = title;
            engine->positionValue = position;
            window->refreshTitleAndClock();
            QCOMPARE(window->windowTitle(), u"Tarvelin v1.0 by:Quorrin 月亮代表我的心 [01:15.50]"_s);
        }
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
    // after it; the button keeps the focus, and Enter on it (as after a tag
    // the hand goes back to the keyboard) adds no second tag. A failed read
    // says so.
    void tag()
    {
        QFETCH(QString, typed);
        QFETCH(Pos, position);
        const qsizetype anchor = typed.indexOf(u'{'), caret = typed.indexOf(u'|');
        editor->setPlainText(QString(typed).remove(u'{').remove(u'|'));
        QTextCursor c = editor->textCursor();
        c.setPosition(anchor < 0 ? caret : anchor);
        c.setPosition(caret - (anchor >= 0), QTextCursor::KeepAnchor);
        editor->setTextCursor(c);
        engine->positionValue = position;
        m_insertTime->setFocus();
        QTest::mouseClick(m_insertTime, Qt::LeftButton);
        QTest::keyClick(m_insertTime, Qt::Key_Return);
        QTEST(editor->toPlainText().insert(editor->textCursor().position(), u'|'), "tagged");
        QCOMPARE(QApplication::focusWidget(), m_insertTime);
        QCOMPARE(tools.errors, position ? QStringList() : QStringList{u"插入时间: 无法读取播放器的当前位置，歌词未作改动。"_s});
    }

    // Each tag is an undo step of its own: typing on either side of it, with
    // real keys, and the tag before it are undone separately.
    void undoStepsAroundATag()
    {
        editor->setFocus();
        QTest::keyClicks(editor, u"AB"_s);
        QTest::mouseClick(m_insertTime, Qt::LeftButton);
        QTest::mouseClick(m_insertTime, Qt::LeftButton);
        // Tab, Tab: the save button, then the editor, caret still after the tags.
        for (int i = 0; i < 2; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClicks(editor, u"XY"_s);
        QCOMPARE(editor->toPlainText(), u"AB[00:00.00][00:00.00]XY"_s);
        for (const QString &text : {u"AB[00:00.00][00:00.00]"_s, u"AB[00:00.00]"_s, u"AB"_s, QString()}) {
            QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(editor->toPlainText(), text);
        }
    }

    void importThenSave_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // of the file imported second
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("error"); // part of the reason; "": imported
        QTest::newRow("no-break space and tab kept") << QByteArray(" \xE4\xBD\xA0\t\xC2\xA0\r\nB")
                                                     << QStringList{u" 你\t\u00A0"_s, u"B"_s} << QString();
        QTest::newRow("refused: lyrics untouched") << QByteArray("la\0la", 5) << QStringList() << u"空字节"_s;
        QTest::newRow("empty: nothing, said so") << QByteArray() << QStringList() << u"文件是空的"_s;
    }
    // Which bytes come in as which lines is tested in tests/core; here the
    // window's part: the types offered, the path box, the message, the bytes saved (UTF-8, every
    // line ended by CR LF, the old content replaced whole), and one undo step
    // per import.
    void importThenSave()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QFETCH(QString, error);
        choose(file(u"earlier.txt"_s, "x\r\n"));
        window->importText();
        choose(file(u"now.txt"_s, bytes));
        window->importText();
        QCOMPARE(window->findChild<QLineEdit *>(u"Text2"_s)->text(), path(u"now.txt"_s));
        // .txt first; a saved .lrc can be picked too.
        QCOMPARE(tools.requests.last().nameFilters, (QStringList{u"*.txt"_s, u"*.lrc"_s, u"所有文件 (*)"_s}));
        const QStringList said = tools.errors + tools.notes;
        QCOMPARE(said.size(), error.isEmpty() ? 0 : 1);
        QVERIFY(said.join(u""_s).contains(error));
        choose(file(u"歌 词"_s, QByteArray(1000, 'o')));
        QVERIFY(window->saveLyrics());
        QCOMPARE(read(u"歌 词"_s), (QStringList{u"x"_s} + lines + QStringList{QString(), QString()}).join(u"\r\n"_s).toUtf8());
        choose({}); // a cancel afterwards imports nothing again
        window->importText();
        editor->undo();
        QCOMPARE(editor->toPlainText(), lines.isEmpty() ? QString() : u"x\n"_s);
    }

    void close_data()
    {
        QTest::addColumn<int>("edits"); // 1: saved, 2: saved, then typed
        QTest::addColumn<PlatformTools::CloseAnswer>("answer");
        // The save dialog's answer: "" cancels; "plain" is written under a 200-byte size limit.
        QTest::addColumn<QString>("saveAs");
        QTest::addColumn<bool>("closes");
        using A = PlatformTools::CloseAnswer;
        QTest::newRow("save") << 2 << A::Save << u"out.lrc"_s << true;
        QTest::newRow("don't save") << 2 << A::Discard << QString() << true;
        QTest::newRow("cancel") << 2 << A::Cancel << QString() << false;
        QTest::newRow("saved") << 1 << A::Cancel << QString() << true;
        // A save that does not happen keeps the window, the lyrics and the old file.
        QTest::newRow("save, dialog cancelled") << 2 << A::Save << QString() << false;
        QTest::newRow("save, size limit mid-write") << 2 << A::Save << u"plain"_s << false;
    }
    void close()
    {
        QFETCH(int, edits);
        QFETCH(PlatformTools::CloseAnswer, answer);
        QFETCH(QString, saveAs);
        QFETCH(bool, closes);
        const QString more(500, u'x'); // past the size limit
        editor->insertPlainText(u"A"_s);
        choose(u"earlier.lrc"_s);
        QVERIFY(window->saveLyrics());
        if (edits > 1)
            editor->insertPlainText(more);
        tools.closeAnswer = answer;
        choose(saveAs);
        rlimit unlimited{};
        ::getrlimit(RLIMIT_FSIZE, &unlimited);
        const rlimit limited{saveAs == u"plain"_s ? 200 : unlimited.rlim_cur, unlimited.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limited);
        const bool closed = window->close();
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        QCOMPARE(closed, closes);
        QCOMPARE(tools.closeQuestions, edits > 1 ? 1 : 0);
        QCOMPARE(window->hasUnsavedLyrics(), edits > 1 && saveAs != u"out.lrc"_s);
        QCOMPARE(tools.errors.size(), edits > 1 && !closes && !saveAs.isEmpty() ? 1 : 0);
        QCOMPARE(read(u"plain"_s), "old");
        if (saveAs == u"out.lrc"_s)
            QCOMPARE(read(saveAs), (u"A"_s + more + u"\r\n"_s).toUtf8());
    }
};

QTEST_MAIN(TestTagging)
#include "tst_tagging.moc"
