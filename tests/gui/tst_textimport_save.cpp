// Lyrics files through the window's own actions, "导入文本", "保存歌词" and
// closing: what an import does to the window, the bytes a save writes, what
// a failed save leaves behind, and when closing asks about unsaved lyrics.
#include "ui/window/mainwindow.h"
#include "fakes.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using tarvelin::PlatformTools;

class TestTextImportAndSave : public QObject {
    Q_OBJECT

    QString path(const QString &name) const { return QDir(m_dir.path()).absoluteFilePath(name); }
    QString file(const QString &name, const QByteArray &bytes)
    {
        QFile out(path(name));
        return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() ? out.fileName() : u"(unwritten)"_s;
    }
    QByteArray read(const QString &name) const
    {
        QFile in(path(name));
        return QFileInfo(in).isFile() && in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("(no file)");
    }
    // The next file dialog answers `name`; "" cancels it.
    void choose(const QString &name) { name.isEmpty() ? m_tools.cancel() : m_tools.answer(path(name)); }

    QTemporaryDir m_dir;
    tarvelin::test::FakeTools m_tools;
    std::unique_ptr<tarvelin::MainWindow> m_window;
    QPlainTextEdit *m_editor = nullptr;

private Q_SLOTS:
    void initTestCase()
    {
        std::signal(SIGXFSZ, SIG_IGN); // a size limit gives EFBIG, not death
        ::mkfifo(QFile::encodeName(path(u"pipe"_s)).constData(), 0644);
    }
    void init()
    {
        file(u"plain"_s, "old");
        m_tools = tarvelin::test::FakeTools();
        m_window = std::make_unique<tarvelin::MainWindow>(m_tools, std::make_unique<tarvelin::test::FakeEngine>());
        m_window->show();
        m_editor = m_window->findChild<QPlainTextEdit *>(u"Text3"_s);
    }

    void importThenSave_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // of the file imported second
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("error"); // part of the reason; "": imported
        QTest::newRow("no-break space and tab kept") << QByteArray(" \xE4\xBD\xA0\t\xC2\xA0\r\nB")
                                                     << QStringList{u" 你\t\u00A0"_s, u"B"_s} << QString();
        QTest::newRow("refused: lyrics untouched") << QByteArray("la\0la", 5) << QStringList() << u"空字节"_s;
    }
    // Which bytes come in as which lines is tested in tests/core; here the
    // window's part: the path box, the caret, the message, the bytes saved
    // (UTF-8, every line ended by CR LF, the old content replaced whole), and
    // one undo step per import.
    void importThenSave()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QFETCH(QString, error);
        choose(file(u"earlier.txt"_s, "x\r\n"));
        m_window->importText();
        choose(file(u"now.txt"_s, bytes));
        m_window->importText();
        QCOMPARE(m_window->findChild<QLineEdit *>(u"Text2"_s)->text(), path(u"now.txt"_s));
        QCOMPARE(m_editor->textCursor().position(), 0);
        QCOMPARE(m_tools.errors.size(), error.isEmpty() ? 0 : 1);
        QVERIFY(m_tools.errors.join(u""_s).contains(error));
        choose(file(u"歌 词"_s, QByteArray(1000, 'o')));
        QVERIFY(m_window->saveLyrics());
        QCOMPARE(read(u"歌 词"_s), (QStringList{u"x"_s} + lines + QStringList{QString(), QString()}).join(u"\r\n"_s).toUtf8());
        choose({}); // a cancel afterwards imports nothing again
        m_window->importText();
        m_editor->undo();
        QCOMPARE(m_editor->toPlainText(), lines.isEmpty() ? QString() : u"x\n"_s);
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
        QTest::newRow("save into a named pipe") << 2 << A::Save << u"pipe"_s << false;
        QTest::newRow("save, size limit mid-write") << 2 << A::Save << u"plain"_s << false;
    }
    void close()
    {
        QFETCH(int, edits);
        QFETCH(PlatformTools::CloseAnswer, answer);
        QFETCH(QString, saveAs);
        QFETCH(bool, closes);
        const QString more(500, u'x'); // past the size limit
        m_editor->insertPlainText(u"A"_s);
        choose(u"earlier.lrc"_s);
        QVERIFY(m_window->saveLyrics());
        if (edits > 1)
            m_editor->insertPlainText(more);
        m_tools.closeAnswer = answer;
        choose(saveAs);
        rlimit unlimited{};
        ::getrlimit(RLIMIT_FSIZE, &unlimited);
        const rlimit limited{saveAs == u"plain"_s ? 200 : unlimited.rlim_cur, unlimited.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limited);
        const bool closed = m_window->close();
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        QCOMPARE(closed, closes);
        QCOMPARE(m_tools.closeQuestions, edits > 1 ? 1 : 0);
        QCOMPARE(m_window->hasUnsavedLyrics(), edits > 1 && saveAs != u"out.lrc"_s);
        QCOMPARE(m_tools.errors.size(), edits > 1 && !closes && !saveAs.isEmpty() ? 1 : 0);
        QCOMPARE(read(u"plain"_s), "old");
        QVERIFY(QFileInfo(path(u"pipe"_s)).exists() && !QFileInfo(path(u"pipe"_s)).isFile());
        if (saveAs == u"out.lrc"_s)
            QCOMPARE(read(saveAs), (u"A"_s + more + u"\r\n"_s).toUtf8());
    }
};

QTEST_MAIN(TestTextImportAndSave)
#include "tst_textimport_save.moc"
