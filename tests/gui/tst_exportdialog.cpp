// 导出… in the window: the dialog's choices give the file written through
// the save dialog, GBK's missing characters are named with 取消 / 替换后写入,
// the choices are remembered, and 写入歌曲 is offered only where it works.
#include "window/mainwindow.h"
#include "editor/editormenu.h"
#include "editor/exportdialog.h"
#include "fakes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using tarvelin::ExportDialog;

namespace {

const QString Lyrics = u"[ti:歌]\n[offset:+500]\n[00:10.00][00:30.00]副歌🎵\n[00:10.00][00:30.00]Chorus\n[00:20.00]<00:20.00>主<00:20.40>歌"_s;

} // namespace

class TestExportDialog : public QObject, tarvelin::test::WindowFixture {
    Q_OBJECT

    QString m_song;

    // Ctrl+E, as the user opens it.
    ExportDialog *openDialog()
    {
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            return nullptr;
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_E, Qt::ControlModifier);
        return window->findChild<ExportDialog *>(u"exportDialog"_s);
    }
    // Each choice is "box=key" for a combo box's entry, or a check box's
    // name to check it.
    static void choose(ExportDialog *dialog, const QStringList &choices)
    {
        for (const QString &choice : choices) {
            if (auto *combo = dialog->findChild<QComboBox *>(choice.section(u'=', 0, 0)))
                combo->setCurrentIndex(combo->findData(choice.section(u'=', 1)));
            else
                dialog->findChild<QCheckBox *>(choice)->setChecked(true);
        }
    }
    static void press(ExportDialog *dialog, const QString &button)
    {
        QPointer<ExportDialog> watched(dialog);
        dialog->findChild<QPushButton *>(button)->click();
        QTRY_VERIFY(!watched);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(u"Quorrin"_s);
        QCoreApplication::setApplicationName(u"TarvelinExportTest"_s);
    }
    void init()
    {
        QSettings().clear();
        QVERIFY(open());
        editor->setPlainText(Lyrics);
        m_song.clear();
        window->findChild<tarvelin::EditorMenu *>(u"editorMenu"_s)->setSong([this] { return m_song; }, [] { return 60.0; });
    }

    void exports_data()
    {
        QTest::addColumn<QStringList>("choices"); // see choose()
        QTest::addColumn<QString>("button");      // export or cancel
        QTest::addColumn<QString>("file");        // the answer to the save dialog; empty: cancel it
        QTest::addColumn<QString>("warning");     // the GBK note, empty when hidden
        QTest::addColumn<QString>("written");     // decoded; empty: no file
        QTest::newRow("default: UTF-8, CR LF, as typed")
            << QStringList() << "export" << "out.lrc" << QString() << Lyrics.split(u'\n').join(u"\r\n"_s) + u"\r\n"_s;
        QTest::newRow("GBK: named, replaced on 替换后写入; expanded, offset applied, word tags stripped, LF")
            << QStringList{u"encoding=gbk"_s, u"repeats=expand"_s, u"lineEndings=lf"_s, u"applyOffset"_s, u"stripWords"_s}
            << "export" << "out.lrc" << u"GBK 无法表示以下字符，写入时会换成“?”：第 3 行第 23 个字“🎵”。"_s
            << u"[ti:歌]\n[00:09.50]副歌?\n[00:09.50]Chorus\n[00:19.50]主歌\n[00:29.50]副歌?\n[00:29.50]Chorus\n"_s;
        QTest::newRow("GBK: 取消 writes nothing") << QStringList{u"encoding=gbk"_s} << "cancel" << "out.lrc"
                                                 << u"GBK 无法表示以下字符，写入时会换成“?”：第 3 行第 23 个字“🎵”。"_s << QString();
        QTest::newRow("save dialog cancelled") << QStringList{u"format=srt"_s} << "export" << QString() << QString() << QString();
        QTest::newRow("SRT, song length from the player")
            << QStringList{u"format=srt"_s, u"lineEndings=lf"_s} << "export" << "out.srt" << QString()
            << u"1\n00:00:09,500 --> 00:00:19,500\n副歌🎵\nChorus\n\n2\n00:00:19,500 --> 00:00:29,500\n主歌\n\n"
               "3\n00:00:29,500 --> 00:00:34,500\n副歌🎵\nChorus\n\n"_s;
    }
    void exports()
    {
        QFETCH(QStringList, choices);
        QFETCH(QString, button);
        QFETCH(QString, file);
        QFETCH(QString, warning);
        QTemporaryDir dir;
        const QString path = dir.filePath(file);
        file.isEmpty() ? tools.cancel() : tools.answer(path);
        ExportDialog *dialog = openDialog();
        QVERIFY(dialog && dialog->isVisible());
        choose(dialog, choices);
        auto *note = dialog->findChild<QLabel *>(u"unencodable"_s);
        QCOMPARE(note->isVisible() ? note->text().section(u'。', 0, 0) + u'。' : QString(), warning);
        QCOMPARE(dialog->findChild<QPushButton *>(u"export"_s)->text(), warning.isEmpty() ? u"导出…"_s : u"替换后写入…"_s);
        // The preview is the start of what is written.
        const QString preview = dialog->findChild<QPlainTextEdit *>(u"preview"_s)->toPlainText();
        press(dialog, button);

        QCOMPARE(tools.requests.size(), button == u"export" ? 1 : 0);
        QCOMPARE(tools.errors, QStringList());
        QFETCH(QString, written);
        QCOMPARE(QDir(dir.path()).isEmpty(), written.isEmpty());
        const QString text = QStringDecoder(warning.isEmpty() ? "UTF-8" : "GB18030").decode(tarvelin::test::readFile(path));
        QCOMPARE(text, written);
        QVERIFY(written.isEmpty() || text.startsWith(preview.first(20).replace(u'\n', text.contains(u'\r') ? u"\r\n"_s : u"\n"_s)));
    }

    // The next dialog starts with the last export's choices; a cancelled one
    // is not remembered.
    void remembersChoices()
    {
        tools.answer(QTemporaryDir().filePath(u"x.lrc"_s)); // a folder gone: the write fails and says so
        ExportDialog *dialog = openDialog();
        QVERIFY(dialog);
        choose(dialog, {u"encoding=gb18030"_s, u"repeats=collapse"_s, u"stripWords"_s});
        press(dialog, u"export"_s);
        QCOMPARE(tools.errors.size(), 1);
        QVERIFY(tools.errors.first().startsWith(u"导出歌词: 无法写入"_s));

        QVERIFY((dialog = openDialog()));
        choose(dialog, {u"encoding=utf-8-bom"_s});
        press(dialog, u"cancel"_s);
        QVERIFY((dialog = openDialog()));
        QCOMPARE(dialog->options().encoding, tarvelin::ExportEncoding::Gb18030);
        QCOMPARE(dialog->options().repeats, tarvelin::RepeatedLines::Collapse);
        QVERIFY(dialog->options().stripWords);
        dialog->reject();
    }

    // Offered only where lyrics can be written (why not is the command
    // line's test); a failure is reported and leaves the song alone.
    void embed()
    {
        QTemporaryDir dir;
        for (const QString &song : {u"a.wma"_s, u"a.flac"_s}) {
            m_song = dir.filePath(song);
            QVERIFY(tarvelin::test::writeFile(m_song, "not audio"));
            ExportDialog *dialog = openDialog();
            QVERIFY(dialog);
            const bool offered = dialog->findChild<QPushButton *>(u"embed"_s)->isEnabled();
            QCOMPARE(offered, song.endsWith(u"flac"_s));
            press(dialog, offered ? u"embed"_s : u"cancel"_s);
        }
        QCOMPARE(tools.errors.size(), 1);
        QVERIFY(tools.errors.first().contains(u"文件内容不是可写入歌词的 FLAC 歌曲"_s));
    }
};

QTEST_MAIN(TestExportDialog)
#include "tst_exportdialog.moc"
