// The editor's right-click menu in the window: reading the last import again
// with another encoding, the entries that rewrite the text (the song's
// information at the top, 展开重复行, 应用 [offset:]), the lyrics check with its
// jump to a line, and 对齐到这首歌.
#include "window/mainwindow.h"
#include "analysis/songanalysis.h"
#include "editor/editormenu.h"
#include "editor/lyricscheck.h"
#include "tapping/timingassist.h"
#include "fakes.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::StringLiterals;
using tarvelin::TextEncoding;

class TestEditorMenu : public QObject, tarvelin::test::WindowFixture {
    Q_OBJECT

    std::unique_ptr<QMenu> m_menu;

    // An entry of the menu as a right click opens it now: ours by name
    // (made by the menu or shown in it), or an encoding in the submenu.
    QAction *entry(const QString &name)
    {
        m_menu.reset(window->findChild<tarvelin::EditorMenu *>(u"editorMenu"_s)->createMenu(QPoint(1, 1)));
        for (QAction *action : m_menu->actions())
            if (action->objectName() == name)
                return action;
        return m_menu->findChild<QAction *>(name);
    }
    QAction *entry(TextEncoding encoding)
    {
        for (QAction *action : entry(u"reimport"_s)->menu()->actions())
            if (action->data().toInt() == int(encoding))
                return action;
        return nullptr;
    }
    void importText(const QString &path) { tools.answer(path); window->importText(); }
    void importSong() { tools.answer(TARVELIN_FIXTURES_DIR "/audio/tone-titled.mp3"_L1); window->importSong(); }

private Q_SLOTS:
    void init()
    {
        m_menu.reset(); // a child of the editor that goes with the window
        QVERIFY(open());
    }

    // Reading the bytes again replaces the imported text only, as one undo
    // step, while nothing was typed into it; edits before or after it do not
    // count. The encoding chosen is named on Text2. Bytes that are not text
    // in the chosen encoding are reported and change nothing.
    void reimportsTheLastImport_data()
    {
        QTest::addColumn<int>("at"); // where `typed` goes; -1: the end, -2: before the last character
        QTest::addColumn<QString>("typed"); // "undo": the import undone
        QTest::addColumn<bool>("available");
        QTest::newRow("untouched") << 0 << QString() << true;
        QTest::newRow("typed before it") << 0 << u"开头"_s << true;
        QTest::newRow("typed after it") << -1 << u"结尾"_s << true;
        QTest::newRow("typed into it") << -2 << u"x"_s << false;
        QTest::newRow("tag on its first line") << 2 << u"[00:01.00]"_s << false; // right after "前文"
        QTest::newRow("import undone") << 0 << u"undo"_s << false;
    }
    void reimportsTheLastImport()
    {
        QFETCH(int, at);
        QFETCH(QString, typed);
        QFETCH(bool, available);
        editor->setPlainText(u"前文"_s);
        importText(TARVELIN_FIXTURES_DIR "/text/zh-hans.gb18030.lrc"_L1);
        QTextCursor cursor(editor->document());
        cursor.setPosition(at >= 0 ? at : int(editor->toPlainText().size()) + at + 1);
        typed == u"undo"_s ? editor->undo() : cursor.insertText(typed);
        const QString before = editor->toPlainText();
        QCOMPARE(entry(u"reimport"_s)->isEnabled(), available);
        if (!available)
            return;

        entry(TextEncoding::Big5)->trigger();
        const QString asBig5 = editor->toPlainText();
        QVERIFY(asBig5 != before);
        const auto *note = window->findChild<QLabel *>(u"encodingNote"_s);
        QCOMPARE(note->isVisible() ? note->text() : QString(), u"编码：Big5（繁体中文）"_s);
        // Straight on to another one, which gives the text back exactly as
        // it was around the import, then back with one undo each.
        entry(TextEncoding::Gb18030)->trigger();
        QCOMPARE(editor->toPlainText(), before);
        editor->undo();
        QCOMPARE(editor->toPlainText(), asBig5);
        editor->undo();
        QCOMPARE(editor->toPlainText(), before);
        entry(TextEncoding::Utf8)->trigger();
        QCOMPARE(editor->toPlainText(), before);
        QCOMPARE(tools.errors.size(), 1);
        QVERIFY(tools.errors[0].startsWith(u"按其他编码重新导入: 无法按 UTF-8 重新导入"_s));
    }

    // A guessed encoding is named on Text2. The note is never cut off at the
    // box's edge: whole where it fits, else cut short with "…" (the tooltip
    // names the encoding), and inside the box however wide it is, then or
    // later.
    void encodingNoteFits_data()
    {
        QTest::addColumn<int>("before"); // the box's width at the import, 0: as designed
        QTest::addColumn<int>("after");  // and afterwards
        QTest::addColumn<bool>("whole");
        QTest::newRow("as designed") << 0 << 0 << true;
        QTest::newRow("narrow box") << 150 << 150 << false;
        QTest::newRow("narrowed later") << 0 << 150 << false;
        QTest::newRow("widened later") << 150 << 500 << true;
    }
    void encodingNoteFits()
    {
        QFETCH(int, before);
        QFETCH(int, after);
        QFETCH(bool, whole);
        auto *box = window->findChild<QLineEdit *>(u"Text2"_s);
        if (before)
            box->resize(before, box->height());
        importText(TARVELIN_FIXTURES_DIR "/text/zh-hans.gb18030.lrc"_L1);
        if (after)
            box->resize(after, box->height());
        auto *note = box->findChild<QLabel *>(u"encodingNote"_s);
        QVERIFY(note && note->isVisible());
        QVERIFY2(box->rect().contains(note->geometry()), qPrintable(u"%1 in %2"_s.arg(note->x()).arg(box->width())));
        QVERIFY(note->fontMetrics().horizontalAdvance(note->text()) <= note->contentsRect().width());
        QVERIFY2(whole ? note->text() == u"推测编码：GB18030（简体中文）"_s : note->text().endsWith(u'…'),
                 qPrintable(note->text()));
        QVERIFY(box->toolTip().contains(u"GB18030（简体中文）"_s));
    }

    // The entries that rewrite the text, each one undo step, with a song
    // loaded. 插入歌曲信息: ID tags from the song at the top, none the text
    // has (in any case, on any ID line; a lyric line does not count); an
    // empty or malformed one is given the song's value. 展开重复行 and 应用
    // [offset:] are off where they would change nothing.
    void rewrites_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // empty: the entry is off
        QTest::newRow("song info, some present") << "insertSongInfo" << u"[AR:某人][ti:旧名]\n[00:01.00]春眠"_s
                                                  << u"[al:]\n[length:00:04]\n[by:]\n[AR:某人][ti:旧名]\n[00:01.00]春眠"_s;
        QTest::newRow("song info, on a lyric line") << "insertSongInfo" << u"[00:01.00][ti:x] 歌词"_s
            << u"[ti:测试歌曲]\n[ar:]\n[al:]\n[length:00:04]\n[by:]\n[00:01.00][ti:x] 歌词"_s;
        // The song has a title and a length but no artist: an empty [ar:]
        // stays, having nothing better.
        QTest::newRow("song info, empty or malformed: the song's value written over it") << "insertSongInfo"
            << u"[al:专辑]\n[ti:][length:99:99]\n[ar:]\n[ar:]\n[by:]\n[00:01.00]春眠"_s
            << u"[al:专辑]\n[ti:测试歌曲][length:00:04]\n[ar:]\n[ar:]\n[by:]\n[00:01.00]春眠"_s;
        const QString lyrics = u"[ti:歌]\n[offset:+500]\n[00:10.00][00:30.00]副歌🎵\n[00:10.00][00:30.00]Chorus\n"
                               "[00:20.00]<00:20.00>主<00:20.40>歌"_s;
        QTest::newRow("expand") << "expandRepeats" << lyrics
            << u"[ti:歌]\n[offset:+500]\n[00:10.00]副歌🎵\n[00:10.00]Chorus\n[00:20.00]<00:20.00>主<00:20.40>歌\n"
               "[00:30.00]副歌🎵\n[00:30.00]Chorus"_s;
        QTest::newRow("nothing to expand") << "expandRepeats" << u"[00:01.00]a\n[00:02.00]b"_s << QString();
        QTest::newRow("apply offset") << "applyOffset" << lyrics
            << u"[ti:歌]\n[00:09.50][00:29.50]副歌🎵\n[00:09.50][00:29.50]Chorus\n[00:19.50]<00:19.50>主<00:19.90>歌"_s;
        QTest::newRow("no offset") << "applyOffset" << u"[offset:0]\n[00:01.00]a"_s << QString();
    }
    void rewrites()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        importSong();
        editor->setPlainText(text);
        QFETCH(QString, name);
        QAction *action = entry(name);
        QCOMPARE(action->isEnabled(), !expected.isEmpty());
        if (expected.isEmpty())
            return;
        action->trigger();
        QCOMPARE(editor->toPlainText(), expected);
        editor->undo();
        QCOMPARE(editor->toPlainText(), text);
    }

    // 对齐到这首歌 sits with the timing entries after 应用 [offset:], and is
    // the timing help's own action, the one the player's menu and A in tap
    // mode use: off without a song or without a tagged lyric line (checked
    // as either arrives), and what it does is the action's.
    void alignsToTheSong_data()
    {
        QTest::addColumn<bool>("song");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("typed"); // at the start of the first line once the song is in
        QTest::addColumn<bool>("enabled");
        const QString tagged = u"[ti:歌]\n[00:01.00]一\n[00:02.50]二"_s;
        QTest::newRow("no song") << false << tagged << QString() << false;
        QTest::newRow("no tags") << true << u"[ti:歌]\n一\n二"_s << QString() << false;
        QTest::newRow("song and tags") << true << tagged << QString() << true;
        QTest::newRow("a tag typed after the song") << true << u"一\n二"_s << u"[00:01.00]"_s << true;
        QTest::newRow("the only tag typed away") << true << u"[00:01.00]一\n二"_s << u"x"_s << false;
    }
    void alignsToTheSong()
    {
        QFETCH(bool, song);
        QFETCH(QString, text);
        QFETCH(QString, typed);
        QFETCH(bool, enabled);
        editor->setPlainText(text);
        if (song) {
            importSong();
            QTRY_COMPARE(window->findChild<tarvelin::SongAnalysis *>()->status(), tarvelin::SongAnalysis::Status::Finished);
        }
        QTextCursor cursor(editor->document());
        // "x" goes over the tag.
        cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor, typed == u"x"_s ? 10 : 0);
        cursor.insertText(typed);
        QAction *offset = entry(u"applyOffset"_s);
        QAction *align = window->findChild<tarvelin::TimingAssist *>(u"timingAssist"_s)->alignAction();
        QCOMPARE(m_menu->actions().value(m_menu->actions().indexOf(offset) + 1), align);
        QCOMPARE(align->isEnabled(), enabled);
        // One or two tagged lines are too few to fit: a note says so.
        align->trigger();
        QCOMPARE(tools.notes.size(), enabled ? 1 : 0);
        if (enabled)
            QVERIFY2(tools.notes[0].startsWith(u"对齐到这首歌: 只有 "_s) && tools.notes[0].endsWith(u"标签未改动。"_s),
                     qPrintable(tools.notes[0]));
    }

    // Problems listed in a dialog that leaves the editor usable, with 1-based
    // line numbers; activating a row puts the caret at the start of that
    // line; no problems: a message instead.
    void checksTheLyrics()
    {
        editor->setPlainText(u"[ti:歌]\n[00:05.00]一\n[00:03.00]二\n没有时间\n[1:60.00]三"_s);
        entry(u"checkLyrics"_s)->trigger();
        auto *dialog = window->findChild<tarvelin::LyricsCheckDialog *>(u"lyricsCheck"_s);
        QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
        QTreeWidgetItem *untagged = dialog->list()->topLevelItem(1);
        QCOMPARE(untagged->text(0), u"4"_s);
        Q_EMIT dialog->list()->itemActivated(untagged, 0);
        QCOMPARE(editor->textCursor().position(), editor->document()->findBlockByNumber(3).position());

        editor->setPlainText(u"[00:01.00]一\n[00:02.00]二\n"_s);
        entry(u"checkLyrics"_s)->trigger();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(tools.notes, QStringList{u"检查歌词: 没有发现问题。"_s});
    }
};

QTEST_MAIN(TestEditorMenu)
#include "tst_editormenu.moc"
