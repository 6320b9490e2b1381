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
#include <QTextBlock>
#include <QTest>
#include <QTreeWidget>

#include <memory>

using namespace Qt::StringLiterals;
using tarvelin::TextEncoding;

namespace {

// Our entries, Qt's and the encodings in the submenu are all the menu's.
QAction *entry(QMenu *menu, const QString &name)
{
    return menu->findChild<QAction *>(name);
}

QAction *encodingEntry(QMenu *menu, TextEncoding encoding)
{
    for (QAction *action : menu->findChildren<QAction *>())
        if (action->isCheckable() && action->data().toInt() == int(encoding))
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

    // A guessed encoding is named on Text2; reading the bytes again replaces
    // the imported text only, as one undo step, while nothing was typed into
    // it; edits before or after it do not count.
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
        const QString path = TARVELIN_FIXTURES_DIR "/text/zh-hans.gb18030.lrc"_L1;
        m_editor->setPlainText(u"前文"_s);
        importText(path);
        QCOMPARE(encodingNote(), u"推测编码：GB18030（简体中文）"_s);
        QVERIFY(child(u"Text2"_s)->toolTip().contains(u"按其他编码重新导入"_s));
        if (typed == u"undo"_s) {
            m_editor->undo();
        } else {
            QTextCursor cursor(m_editor->document());
            cursor.setPosition(at >= 0 ? at : int(m_editor->toPlainText().size()) + at + 1);
            cursor.insertText(typed);
        }
        const QString before = m_editor->toPlainText();
        const auto m = menu();
        QCOMPARE(entry(m.get(), u"reimport"_s)->isEnabled(), available);
        QCOMPARE(entry(m.get(), u"reimport"_s)->toolTip().contains(u"改动"_s), !available);
        QVERIFY(encodingEntry(m.get(), TextEncoding::Gb18030)->isChecked());
        if (!available)
            return;

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const auto lines = [&bytes](TextEncoding encoding) {
            return tarvelin::splitLines(tarvelin::decodeTextAs(bytes, encoding).text).join(u'\n');
        };
        encodingEntry(m.get(), TextEncoding::Big5)->trigger();
        const QString asBig5 = m_editor->toPlainText();
        QCOMPARE(asBig5, QString(before).replace(lines(TextEncoding::Gb18030), lines(TextEncoding::Big5)));
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
        importText(TARVELIN_FIXTURES_DIR "/text/source/zh-hans.txt"_L1); // UTF-8
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
        m_tools.answer(TARVELIN_FIXTURES_DIR "/audio/tone-titled.mp3"_L1);
        m_window->importSong();
        m_editor->setPlainText(text);
        entry(menu().get(), u"insertSongInfo"_s)->trigger();
        QCOMPARE(m_editor->toPlainText(), expected);
        m_editor->undo();
        QCOMPARE(m_editor->toPlainText(), text);
    }

    // Qt's own entries come first. Problems listed with 1-based line
    // numbers; activating a row puts the caret at the start of that line;
    // no problems: a message instead.
    void checksTheLyrics()
    {
        m_editor->setPlainText(u"[ti:歌]\n[00:05.00]一\n[00:03.00]二\n没有时间\n[1:60.00]三"_s);
        const auto m = menu();
        QCOMPARE(m->actions().first()->objectName(), u"edit-undo"_s);
        entry(m.get(), u"checkLyrics"_s)->trigger();
        auto *dialog = m_window->findChild<tarvelin::LyricsCheckDialog *>(u"lyricsCheck"_s);
        QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
        QTreeWidget *list = dialog->list();
        QCOMPARE(list->topLevelItemCount(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(list->topLevelItem(i)->text(0), QString::number(i + 3));

        Q_EMIT list->itemActivated(list->topLevelItem(1), 0);
        QCOMPARE(m_editor->textCursor().position(), m_editor->document()->findBlockByNumber(3).position());
        QVERIFY(m_tools.notes.isEmpty());

        m_editor->setPlainText(u"[00:01.00]一\n[00:02.00]二\n"_s);
        entry(menu().get(), u"checkLyrics"_s)->trigger();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(m_tools.notes, QStringList{u"检查歌词: 没有发现问题。"_s});
    }
};

QTEST_MAIN(TestEditorMenu)
#include "tst_editormenu.moc"
