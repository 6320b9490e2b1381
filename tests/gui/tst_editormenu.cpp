// The editor's right-click menu in the window: reading the last import again
// with another encoding, the song's information at the top, and the lyrics
// check with its jump to a line.
#include "ui/window/mainwindow.h"
#include "ui/workflow/editormenu.h"
#include "ui/workflow/lyricscheck.h"
#include "fakes.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

using namespace Qt::StringLiterals;
using tarvelin::TextEncoding;

namespace {

QAction *entry(QMenu *menu, const QString &name)
{
    for (QAction *action : menu->actions())
        if (action->objectName() == name)
            return action;
    return nullptr;
}

QAction *encodingEntry(QMenu *menu, TextEncoding encoding)
{
    QAction *reimport = entry(menu, u"reimport"_s);
    for (QAction *action : reimport ? reimport->menu()->actions() : QList<QAction *>())
        if (action->data().toInt() == int(encoding))
            return action;
    return nullptr;
}

} // namespace

class TestEditorMenu : public QObject {
    Q_OBJECT

    tarvelin::test::FakeTools m_tools;
    std::unique_ptr<tarvelin::MainWindow> m_window;
    QPlainTextEdit *m_editor = nullptr;
    tarvelin::EditorMenu *m_menu = nullptr;
    QTemporaryDir m_dir;

    QWidget *child(const QString &name) const { return m_window->findChild<QWidget *>(name); }
    std::unique_ptr<QMenu> menu() const { return std::unique_ptr<QMenu>(m_menu->createMenu(QPoint(1, 1))); }
    QString encodingNote() const
    {
        auto *note = child(u"Text2"_s)->findChild<QLabel *>(u"encodingNote"_s);
        return note && note->isVisible() ? note->text() : QString();
    }
    void importText(const QString &path)
    {
        m_tools.answer(path);
        m_window->importText();
    }
    void loadSong(const QString &path)
    {
        m_tools.answer(path);
        m_window->importSong();
    }

private Q_SLOTS:
    void init()
    {
        m_tools = tarvelin::test::FakeTools();
        m_window = std::make_unique<tarvelin::MainWindow>(m_tools, std::make_unique<tarvelin::test::FakeEngine>());
        m_window->show();
        m_editor = m_window->findChild<QPlainTextEdit *>(u"Text3"_s);
        m_menu = m_window->findChild<tarvelin::EditorMenu *>(u"editorMenu"_s);
        QVERIFY(m_editor && m_menu);
    }

    // Qt's own entries come first, ours after them.
    void keepsTheStandardEntries()
    {
        const auto m = menu();
        QVERIFY(entry(m.get(), u"edit-undo"_s));
        QVERIFY(entry(m.get(), u"select-all"_s));
        QVERIFY(m->actions().indexOf(entry(m.get(), u"select-all"_s))
                < m->actions().indexOf(entry(m.get(), u"insertSongInfo"_s)));
        QVERIFY(entry(m.get(), u"checkLyrics"_s));
    }

    // A guessed encoding is named on Text2; reading the bytes again replaces
    // the imported text only, as one undo step, while nothing was typed into
    // it; edits before or after it do not count.
    void reimportsTheLastImport_data()
    {
        QTest::addColumn<QString>("edit"); // before / after / inside / tag / none
        QTest::addColumn<bool>("available");
        QTest::newRow("untouched") << u"none"_s << true;
        QTest::newRow("typed before it") << u"before"_s << true;
        QTest::newRow("typed after it") << u"after"_s << true;
        QTest::newRow("typed into it") << u"inside"_s << false;
        QTest::newRow("tag on its first line") << u"tag"_s << false;
        QTest::newRow("import undone") << u"undo"_s << false;
    }
    void reimportsTheLastImport()
    {
        QFETCH(QString, edit);
        QFETCH(bool, available);
        const QString path = TARVELIN_FIXTURES_DIR "/text/zh-hans.gb18030.lrc"_L1;
        m_editor->setPlainText(u"前文"_s);
        importText(path);
        QVERIFY(m_editor->toPlainText().contains(u"春眠不觉晓"_s));
        QCOMPARE(encodingNote(), u"推测编码：GB18030（简体中文）"_s);
        QVERIFY(child(u"Text2"_s)->toolTip().contains(u"按其他编码重新导入"_s));

        QTextCursor cursor(m_editor->document());
        if (edit == u"before"_s) {
            cursor.insertText(u"开头"_s);
        } else if (edit == u"after"_s) {
            cursor.movePosition(QTextCursor::End);
            cursor.insertText(u"结尾"_s);
        } else if (edit == u"inside"_s) {
            cursor.movePosition(QTextCursor::End);
            cursor.movePosition(QTextCursor::PreviousCharacter);
            cursor.insertText(u"x"_s);
        } else if (edit == u"tag"_s) {
            cursor.setPosition(2); // right after "前文", where the import starts
            cursor.insertText(u"[00:01.00]"_s);
        } else if (edit == u"undo"_s) {
            m_editor->undo();
        }
        const QString before = m_editor->toPlainText();
        const auto m = menu();
        QAction *big5 = encodingEntry(m.get(), TextEncoding::Big5);
        QVERIFY(big5);
        QCOMPARE(entry(m.get(), u"reimport"_s)->isEnabled(), available);
        QCOMPARE(entry(m.get(), u"reimport"_s)->toolTip().contains(u"改动"_s), !available);
        QVERIFY(encodingEntry(m.get(), TextEncoding::Gb18030)->isChecked());
        if (!available)
            return;

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList big5Lines =
            tarvelin::splitLines(tarvelin::decodeTextAs(file.readAll(), TextEncoding::Big5).text);
        big5->trigger();
        const QString asBig5 = m_editor->toPlainText();
        const QString head = edit == u"before"_s ? u"开头前文"_s : u"前文"_s;
        const QString tail = edit == u"after"_s ? u"结尾"_s : QString();
        QCOMPARE(asBig5, head + big5Lines.join(u'\n') + u'\n' + tail);
        QCOMPARE(encodingNote(), u"编码：Big5（繁体中文）"_s);
        // Straight on to another one, then back with one undo each.
        encodingEntry(menu().get(), TextEncoding::Gb18030)->trigger();
        QCOMPARE(m_editor->toPlainText(), before);
        m_editor->undo();
        QCOMPARE(m_editor->toPlainText(), asBig5);
        m_editor->undo();
        QCOMPARE(m_editor->toPlainText(), before);
    }

    // Bytes that are not text in the chosen encoding are reported and change
    // nothing; valid UTF-8 needs no note; a cancelled import clears it.
    void notesOnlyGuesses()
    {
        importText(TARVELIN_FIXTURES_DIR "/text/zh-hans.utf-16le.lrc"_L1);
        QCOMPARE(encodingNote(), u"推测编码：UTF-16LE"_s);
        const QString text = m_editor->toPlainText();
        encodingEntry(menu().get(), TextEncoding::Utf8)->trigger();
        QCOMPARE(m_editor->toPlainText(), text);
        QCOMPARE(m_tools.errors.size(), 1);
        QVERIFY(m_tools.errors[0].startsWith(u"按其他编码重新导入: 无法按 UTF-8 重新导入"_s));

        m_tools.cancel();
        m_window->importText();
        QCOMPARE(encodingNote(), QString());
        importText(TARVELIN_FIXTURES_DIR "/text/zh-hans.gb18030.lrc"_L1);
        const QString utf8 = m_dir.filePath(u"utf8.txt"_s);
        QFile out(utf8);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write("\xE6\x98\xA5\n") == 4);
        out.close();
        importText(utf8);
        QCOMPARE(encodingNote(), QString());
        QVERIFY(child(u"Text2"_s)->toolTip().isEmpty());
    }

    // ID tags from the song at the top, one undo step, none the text has.
    void insertsSongInfo_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << QString() << u"[ti:测试歌曲]\n[ar:]\n[al:]\n[length:00:04]\n[by:]\n"_s;
        QTest::newRow("some present, any case, any line")
            << u"[AR:某人][ti:旧名]\n[00:01.00]春眠"_s << u"[al:]\n[length:00:04]\n[by:]\n[AR:某人][ti:旧名]\n[00:01.00]春眠"_s;
        QTest::newRow("a lyric line mentioning one does not count")
            << u"[00:01.00][ti:x] 歌词"_s << u"[ti:测试歌曲]\n[ar:]\n[al:]\n[length:00:04]\n[by:]\n[00:01.00][ti:x] 歌词"_s;
    }
    void insertsSongInfo()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QVERIFY(!entry(menu().get(), u"insertSongInfo"_s)->isEnabled()); // no song yet
        loadSong(TARVELIN_FIXTURES_DIR "/audio/tone-titled.mp3"_L1);
        m_editor->setPlainText(text);
        entry(menu().get(), u"insertSongInfo"_s)->trigger();
        QCOMPARE(m_editor->toPlainText(), expected);
        m_editor->undo();
        QCOMPARE(m_editor->toPlainText(), text);
    }

    // Problems listed with 1-based line numbers; activating a row puts the
    // caret at the start of that line; no problems: a message instead.
    void checksTheLyrics()
    {
        m_editor->setPlainText(u"[ti:歌]\n[00:05.00]一\n[00:03.00]二\n没有时间\n[1:60.00]三"_s);
        entry(menu().get(), u"checkLyrics"_s)->trigger();
        auto *dialog = m_window->findChild<tarvelin::LyricsCheckDialog *>(u"lyricsCheck"_s);
        QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
        QTreeWidget *list = dialog->list();
        QStringList lines;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            lines << list->topLevelItem(i)->text(0);
        QCOMPARE(lines, QStringList({u"3"_s, u"4"_s, u"5"_s}));

        Q_EMIT list->itemActivated(list->topLevelItem(1), 0);
        QCOMPARE(m_editor->textCursor().blockNumber(), 3);
        QCOMPARE(m_editor->textCursor().positionInBlock(), 0);
        QVERIFY(m_tools.notes.isEmpty());

        m_editor->setPlainText(u"[00:01.00]一\n[00:02.00]二\n"_s);
        entry(menu().get(), u"checkLyrics"_s)->trigger();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(m_tools.notes, QStringList{u"检查歌词: 没有发现问题。"_s});
    }
};

QTEST_MAIN(TestEditorMenu)
#include "tst_editormenu.moc"
