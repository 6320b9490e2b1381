// Lyrics files through the window's own actions, "导入文本", "保存歌词" and
// closing: what an import does to the window, the bytes a save writes, what
// a refused file or a failed save leaves behind and says, and when closing
// asks about unsaved lyrics.
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

    // A name in the row's folder, or an absolute path as it is.
    QString path(const QString &name) const { return QDir(m_dir->path()).absoluteFilePath(name); }
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
    QStringList entries() const
    {
        return QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    // The next file dialog answers `name`; "" cancels it.
    void choose(const QString &name) { name.isEmpty() ? m_tools.cancel() : m_tools.answer(path(name)); }
    QString importText(const QString &name) { choose(name); m_window->importText(); return path(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
    tarvelin::test::FakeTools m_tools;
    std::unique_ptr<tarvelin::MainWindow> m_window;
    QLineEdit *m_textPath = nullptr;
    QPlainTextEdit *m_editor = nullptr;

private Q_SLOTS:
    void initTestCase() { std::signal(SIGXFSZ, SIG_IGN); } // a size limit gives EFBIG, not death
    // Every row: a fresh window, and a folder holding "plain" (with "old" in it), "folder" and a named pipe "pipe".
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        file(u"plain"_s, "old");
        QDir(m_dir->path()).mkdir(u"folder"_s);
        ::mkfifo(QFile::encodeName(path(u"pipe"_s)).constData(), 0644);
        m_tools = tarvelin::test::FakeTools();
        m_window = std::make_unique<tarvelin::MainWindow>(m_tools, std::make_unique<tarvelin::test::FakeEngine>());
        m_window->show();
        m_textPath = m_window->findChild<QLineEdit *>(u"Text2"_s);
        m_editor = m_window->findChild<QPlainTextEdit *>(u"Text3"_s);
    }

    void importThenSave_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // of the file imported second
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("error"); // part of the reason; "": imported
        QTest::newRow("empty: nothing added") << QByteArray() << QStringList() << QString();
        QTest::newRow("no-break space and tab kept") << QByteArray(" \xE4\xBD\xA0\t\xC2\xA0\r\nB")
                                                     << QStringList{u" 你\t\u00A0"_s, u"B"_s} << QString();
        QTest::newRow("refused: lyrics untouched") << QByteArray("la\0la", 5) << QStringList() << u"空字节"_s;
    }

    // Which bytes come in as which lines is tested in tests/core; here the
    // window's part: the path box, the caret, the message, the bytes saved,
    // and one undo step per import.
    void importThenSave()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QFETCH(QString, error);
        importText(file(u"earlier.txt"_s, "x\r\n"));
        const QString now = importText(file(u"now.txt"_s, bytes));
        QCOMPARE(m_textPath->text(), now);
        QCOMPARE(m_editor->textCursor().position(), 0);
        QCOMPARE(m_tools.errors.size(), error.isEmpty() ? 0 : 1);
        if (!error.isEmpty())
            QVERIFY2(m_tools.errors[0].startsWith(u"导入歌词: 无法读取文件“%1”："_s.arg(now))
                         && m_tools.errors[0].contains(error), qPrintable(m_tools.errors[0]));

        // UTF-8 without a mark, every line and the end ended by CR LF, replacing the old content whole.
        file(u"歌 词"_s, QByteArray(1000, 'o'));
        choose(u"歌 词"_s);
        QVERIFY(m_window->saveLyrics());
        QVERIFY(!m_window->hasUnsavedLyrics());
        QCOMPARE(read(u"歌 词"_s), (QStringList{u"x"_s} + lines + QStringList{QString(), QString()}).join(u"\r\n"_s).toUtf8());

        // One undo step per import; a cancel afterwards empties the path box only.
        importText({});
        QCOMPARE(m_textPath->text(), QString());
        m_editor->undo();
        QCOMPARE(m_editor->toPlainText(), lines.isEmpty() ? QString() : u"x\n"_s);
    }

    void close_data()
    {
        QTest::addColumn<QString>("before"); // "untouched", "saved", or "saved, then typed"
        QTest::addColumn<PlatformTools::CloseAnswer>("answer");
        // The save dialog's answer: "" cancels; "plain" is written under a 200-byte size limit.
        QTest::addColumn<QString>("saveAs");
        QTest::addColumn<bool>("closes");

        using A = PlatformTools::CloseAnswer;
        const QString typed = u"saved, then typed"_s;
        QTest::newRow("save") << typed << A::Save << u"out.lrc"_s << true;
        QTest::newRow("don't save") << typed << A::Discard << QString() << true;
        QTest::newRow("cancel") << typed << A::Cancel << QString() << false;
        QTest::newRow("untouched") << u"untouched"_s << A::Cancel << QString() << true;
        QTest::newRow("saved") << u"saved"_s << A::Cancel << QString() << true;
        // A save that does not happen keeps the window, the lyrics and every file.
        QTest::newRow("save, dialog cancelled") << typed << A::Save << QString() << false;
        QTest::newRow("save over a folder") << typed << A::Save << u"folder"_s << false;
        QTest::newRow("save into a named pipe") << typed << A::Save << u"pipe"_s << false;
        QTest::newRow("save, size limit mid-write") << typed << A::Save << u"plain"_s << false;
        QTest::newRow("save, disk full") << typed << A::Save << u"/dev/full"_s << false;
    }

    void close()
    {
        QFETCH(QString, before);
        QFETCH(PlatformTools::CloseAnswer, answer);
        QFETCH(QString, saveAs);
        QFETCH(bool, closes);
        const bool typed = before == u"saved, then typed"_s;
        const QString more(500, u'x'); // past the size limit
        if (before != u"untouched"_s) {
            m_editor->insertPlainText(u"A"_s);
            choose(u"earlier.lrc"_s);
            QVERIFY(m_window->saveLyrics());
        }
        if (typed)
            m_editor->insertPlainText(more);
        const QStringList files = entries();
        const QByteArray earlier = read(u"earlier.lrc"_s);
        m_tools.closeAnswer = answer;
        choose(saveAs);

        rlimit unlimited{};
        ::getrlimit(RLIMIT_FSIZE, &unlimited);
        const rlimit limited{saveAs == u"plain"_s ? 200 : unlimited.rlim_cur, unlimited.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limited);
        const bool closed = m_window->close();
        ::setrlimit(RLIMIT_FSIZE, &unlimited);

        QCOMPARE(closed, closes);
        QCOMPARE(m_tools.closeQuestions, typed ? 1 : 0);
        QCOMPARE(m_window->hasUnsavedLyrics(), typed && saveAs != u"out.lrc"_s);
        const bool fails = typed && !closes && !saveAs.isEmpty();
        QCOMPARE(m_tools.errors.size(), fails ? 1 : 0);
        if (fails)
            QVERIFY2(m_tools.errors[0].startsWith(u"保存歌词: 无法保存文件“%1”："_s.arg(path(saveAs))),
                     qPrintable(m_tools.errors[0]));
        // Neither a failed target nor the earlier save changed, and nothing was left behind.
        QCOMPARE(read(u"plain"_s), "old");
        QCOMPARE(read(u"earlier.lrc"_s), earlier);
        QVERIFY(QFileInfo(u"/dev/full"_s).exists() && !QFileInfo(u"/dev/full"_s).isFile());
        if (saveAs == u"out.lrc"_s)
            QCOMPARE(read(saveAs), (u"A"_s + more + u"\r\n"_s).toUtf8());
        QStringList left = entries();
        left.removeOne(u"out.lrc"_s);
        QCOMPARE(left, files);
    }
};

QTEST_MAIN(TestTextImportAndSave)
#include "tst_textimport_save.moc"
