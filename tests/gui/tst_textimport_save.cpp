// "导入文本" and "保存歌词": what the editor, the path box and the dialogs
// hold after an import, a save, a cancel or a failure, and the bytes a save
// writes for an imported file.
#include "components/filedialog.h"
#include "fakes.h"
#include "workflow/lyricssave.h"
#include "workflow/lyricstext.h"
#include "workflow/textimport.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace tarvelin;
using namespace Qt::StringLiterals;
using tarvelin::test::FakeTools;

namespace {

// Empty for anything but a regular file: /dev/full reads as endless zeros.
QByteArray readBytes(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestTextImportAndSave : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void appendsTheLines_data();
    void appendsTheLines();
    void fileWithoutLinesAddsNothing_data();
    void fileWithoutLinesAddsNothing();
    void importingTwiceAppends();
    void importCancelLeavesTheEditor_data();
    void importCancelLeavesTheEditor();
    void importFailureIsReportedAndLeavesTheEditor_data();
    void importFailureIsReportedAndLeavesTheEditor();
    void importThenSaveGivesTheSameLines_data();
    void importThenSaveGivesTheSameLines();
    void saveUsesTheNameAsChosen();
    void saveCancelWritesNothing();
    void saveFailureIsReportedAndKeepsEverything_data();
    void saveFailureIsReportedAndKeepsEverything();

private:
    QString file(const QString &name, const QByteArray &bytes);
    bool import(const QString &path);
    bool save(const QString &path);

    QTemporaryDir *m_dir = nullptr;
    FakeTools *m_tools = nullptr;
    FileDialog *m_opentxt1 = nullptr;
    FileDialog *m_savetxt1 = nullptr;
    QLineEdit *m_text2 = nullptr;
    QPlainTextEdit *m_text3 = nullptr;
};

void TestTextImportAndSave::init()
{
    m_dir = new QTemporaryDir;
    m_tools = new FakeTools;
    m_opentxt1 = new FileDialog(*m_tools, u"导入歌词"_s, u"*.txt|*.txt"_s);
    m_savetxt1 = new FileDialog(*m_tools, u"保存歌词"_s, u"*.lrc|*.lrc|*.txt|*.txt"_s);
    m_text2 = new QLineEdit;
    m_text3 = new QPlainTextEdit;
}

void TestTextImportAndSave::cleanup()
{
    delete m_text3;
    delete m_text2;
    delete m_savetxt1;
    delete m_opentxt1;
    delete m_tools;
    delete m_dir;
}

QString TestTextImportAndSave::file(const QString &name, const QByteArray &bytes)
{
    QFile out(m_dir->filePath(name));
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(out.fileName()));
    return out.fileName();
}

// One click on a button, the dialog answering `path` (empty: cancel).
bool TestTextImportAndSave::import(const QString &path)
{
    m_tools->fileAnswers.emplace_back(path.isEmpty() ? std::nullopt : std::optional(path));
    return importText(*m_opentxt1, m_text2, m_text3, *m_tools, nullptr);
}

bool TestTextImportAndSave::save(const QString &path)
{
    m_tools->fileAnswers.emplace_back(path.isEmpty() ? std::nullopt : std::optional(path));
    return saveLyrics(*m_savetxt1, m_text3, *m_tools, nullptr);
}

void TestTextImportAndSave::appendsTheLines_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("after");

    QTest::newRow("CR LF") << QString() << QByteArray("A\r\nB\r\n") << u"A\nB\n"_s;
    QTest::newRow("last line without ending") << QString() << QByteArray("A\r\nB") << u"A\nB\n"_s;
    QTest::newRow("LF only") << QString() << QByteArray("A\nB\n") << u"A\nB\n"_s;
    QTest::newRow("CR only") << QString() << QByteArray("A\rB") << u"A\nB\n"_s;
    QTest::newRow("mixed, empty line kept") << QString() << QByteArray("A\r\n\rB\nC") << u"A\n\nB\nC\n"_s;
    QTest::newRow("GBK") << QString() << QByteArray("\xC4\xE3\xBA\xC3\r\n") << u"你好\n"_s;
    QTest::newRow("UTF-16BE") << QString() << QByteArray("\xFE\xFF\x4F\x60\x00\x0A", 6) << u"你\n"_s;
    QTest::newRow("after a finished line") << u"[00:01]x\n"_s << QByteArray("A") << u"[00:01]x\nA\n"_s;
    // The editor's text is continued as it stands, like typing at its end.
    QTest::newRow("after an unfinished line") << u"x"_s << QByteArray("A\r\n") << u"xA\n"_s;
}

void TestTextImportAndSave::appendsTheLines()
{
    QFETCH(QString, before);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, after);
    m_text3->setPlainText(before);
    m_text3->moveCursor(QTextCursor::End);
    const QString path = file(u"lyrics.txt"_s, bytes);

    QVERIFY(import(path));

    QCOMPARE(m_text3->toPlainText(), after);
    QCOMPARE(m_text2->text(), path);
    QCOMPARE(m_opentxt1->FileName, QString());
    QCOMPARE(m_tools->requests.size(), 1);
    QCOMPARE(m_tools->requests[0].title, u"导入歌词"_s);
    QVERIFY(m_tools->errors.isEmpty());
    // Ready for the first tag: the caret at the very start, nothing selected.
    QCOMPARE(m_text3->textCursor().position(), 0);
    QVERIFY(!m_text3->textCursor().hasSelection());
    // One undo takes the whole import back.
    m_text3->undo();
    QCOMPARE(m_text3->toPlainText(), before);
}

void TestTextImportAndSave::fileWithoutLinesAddsNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("UTF-8 mark only") << QByteArray("\xEF\xBB\xBF");
    QTest::newRow("UTF-16LE mark only") << QByteArray("\xFF\xFE");
}

void TestTextImportAndSave::fileWithoutLinesAddsNothing()
{
    QFETCH(QByteArray, bytes);
    m_text3->setPlainText(u"kept"_s);
    const QString path = file(u"empty.txt"_s, bytes);

    QVERIFY(!import(path));

    QCOMPARE(m_text3->toPlainText(), u"kept"_s);
    QVERIFY(!m_text3->document()->isUndoAvailable());
    QCOMPARE(m_text2->text(), path);
    QCOMPARE(m_opentxt1->FileName, QString());
    QVERIFY(m_tools->errors.isEmpty());
}

void TestTextImportAndSave::importingTwiceAppends()
{
    QVERIFY(import(file(u"one.txt"_s, "A\r\n")));
    const QString second = file(u"two.txt"_s, "B\nC");
    QVERIFY(import(second));
    QCOMPARE(m_text3->toPlainText(), u"A\nB\nC\n"_s);
    QCOMPARE(m_text2->text(), second);
    m_text3->undo();
    QCOMPARE(m_text3->toPlainText(), u"A\n"_s);
}

void TestTextImportAndSave::importCancelLeavesTheEditor_data()
{
    QTest::addColumn<QByteArray>("earlier");

    QTest::newRow("first use") << QByteArray();
    QTest::newRow("after a finished import") << QByteArray("A\r\n");
    QTest::newRow("after a refused import") << QByteArray("\0\0", 2);
}

void TestTextImportAndSave::importCancelLeavesTheEditor()
{
    QFETCH(QByteArray, earlier);
    if (!earlier.isEmpty())
        import(file(u"earlier.txt"_s, earlier));
    const QString before = m_text3->toPlainText();
    const int undoSteps = m_text3->document()->availableUndoSteps();
    const qsizetype errors = m_tools->errors.size();

    QVERIFY(!import(QString()));

    QCOMPARE(m_text2->text(), QString());
    QCOMPARE(m_text3->toPlainText(), before);
    QCOMPARE(m_text3->document()->availableUndoSteps(), undoSteps);
    QCOMPARE(m_tools->errors.size(), errors);
}

void TestTextImportAndSave::importFailureIsReportedAndLeavesTheEditor_data()
{
    // Each reason's wording is the file reader's; here: said, and nothing lost.
    QTest::addColumn<QString>("name");

    for (const char *name : {"missing.txt", "folder.txt", "binary.txt", "huge.txt", "locked.txt"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestTextImportAndSave::importFailureIsReportedAndLeavesTheEditor()
{
    QFETCH(QString, name);
    if (name == u"locked.txt"_s && ::geteuid() == 0)
        QSKIP("the superuser reads files whatever their permissions");
    QVERIFY(QDir(m_dir->path()).mkdir(u"folder.txt"_s));
    file(u"binary.txt"_s, QByteArray("GIF89a\x01\0\x01\0", 10));
    QVERIFY(QFile(file(u"huge.txt"_s, {})).resize(MaxLyricsFileSize + 1));
    QVERIFY(QFile::setPermissions(file(u"locked.txt"_s, "A\r\n"), {}));
    m_text3->setPlainText(u"[00:01]hours of work\n"_s);
    const QString path = m_dir->filePath(name);

    QVERIFY(!import(path));

    QCOMPARE(m_tools->errors.size(), 1);
    const QString error = m_tools->errors[0];
    const QString start = u"导入歌词: 无法读取文件“%1”："_s.arg(path);
    QVERIFY2(error.startsWith(start) && error.size() > start.size(), qPrintable(error));
    QCOMPARE(m_text3->toPlainText(), u"[00:01]hours of work\n"_s);
    QVERIFY(!m_text3->document()->isUndoAvailable());
    QCOMPARE(m_text2->text(), path);
    QCOMPARE(m_opentxt1->FileName, QString());
}

void TestTextImportAndSave::importThenSaveGivesTheSameLines_data()
{
    QTest::addColumn<QByteArray>("imported");
    QTest::addColumn<QByteArray>("saved");

    // A save always adds one CR LF after the editor's text, and an imported
    // text already ends with a line break: hence the final empty line.
    QTest::newRow("empty file") << QByteArray() << QByteArray("\r\n");
    QTest::newRow("CR LF") << QByteArray("A\r\nB\r\n") << QByteArray("A\r\nB\r\n\r\n");
    QTest::newRow("no final ending") << QByteArray("A\r\nB") << QByteArray("A\r\nB\r\n\r\n");
    QTest::newRow("LF") << QByteArray("A\nB\n") << QByteArray("A\r\nB\r\n\r\n");
    QTest::newRow("CR") << QByteArray("A\rB\r") << QByteArray("A\r\nB\r\n\r\n");
    QTest::newRow("mixed, empty lines") << QByteArray("A\n\r\nB\r\rC") << QByteArray("A\r\n\r\nB\r\n\r\nC\r\n\r\n");
    QTest::newRow("spaces, tabs, no-break space")
        << QByteArray(" [00:01]\ta \xC2\xA0\r\n") << QByteArray(" [00:01]\ta \xC2\xA0\r\n\r\n");
    QTest::newRow("UTF-8 mark dropped") << QByteArray("\xEF\xBB\xBF\xE4\xBD\xA0\r\n")
                                        << QByteArray("\xE4\xBD\xA0\r\n\r\n");
    QTest::newRow("GBK becomes UTF-8") << QByteArray("\xC4\xE3\xBA\xC3\r\n") << QByteArray("\xE4\xBD\xA0\xE5\xA5\xBD\r\n\r\n");
    QTest::newRow("GB18030 outside GBK") << QByteArray("\x95\x32\x82\x36") << QByteArray("\xF0\xA0\x80\x80\r\n\r\n");
    QTest::newRow("UTF-16LE becomes UTF-8")
        << QByteArray("\xFF\xFE\x60\x4F\x0D\x00\x0A\x00", 8) << QByteArray("\xE4\xBD\xA0\r\n\r\n");
    QTest::newRow("UTF-16BE becomes UTF-8") << QByteArray("\xFE\xFF\x4F\x60", 4) << QByteArray("\xE4\xBD\xA0\r\n\r\n");
}

void TestTextImportAndSave::importThenSaveGivesTheSameLines()
{
    QFETCH(QByteArray, imported);
    QFETCH(QByteArray, saved);
    import(file(u"in.txt"_s, imported));
    const QString out = m_dir->filePath(u"out.lrc"_s);

    QVERIFY(save(out));

    QCOMPARE(readBytes(out), saved);
    QVERIFY(m_tools->errors.isEmpty());
}

void TestTextImportAndSave::saveUsesTheNameAsChosen()
{
    // Chosen with "*.lrc" selected, typed without an extension.
    const QString path = file(u"我的 歌词"_s, QByteArray(1000, 'x'));
    m_text3->setPlainText(u"[00:01]A"_s);
    m_text3->insertPlainText(u"B"_s);
    QVERIFY(m_text3->document()->isModified());

    QVERIFY(save(path));

    QCOMPARE(readBytes(path), QByteArray("B[00:01]A\r\n"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{u"我的 歌词"_s});
    QVERIFY(!m_text3->document()->isModified());
    QCOMPARE(m_tools->requests[0].title, u"保存歌词"_s);
    QCOMPARE(m_tools->requests[0].mode, PlatformTools::FileMode::Save);
}

void TestTextImportAndSave::saveCancelWritesNothing()
{
    const QString earlier = m_dir->filePath(u"earlier.lrc"_s);
    m_text3->setPlainText(u"A"_s);
    QVERIFY(save(earlier));
    m_text3->insertPlainText(u"changed"_s);

    QVERIFY(!save(QString()));

    QCOMPARE(readBytes(earlier), QByteArray("A\r\n"));
    QCOMPARE(m_savetxt1->FileName, QString());
    QVERIFY(m_text3->document()->isModified());
    QVERIFY(m_tools->errors.isEmpty());
}

void TestTextImportAndSave::saveFailureIsReportedAndKeepsEverything_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("parent is a file") << u"plain.txt/out.lrc"_s;
    QTest::newRow("target is a folder") << u"folder.lrc"_s;
    QTest::newRow("name too long") << QString(300, u'x');
    QTest::newRow("read-only folder") << u"locked/old.lrc"_s;
    QTest::newRow("full disk") << u"/dev/full"_s;
}

void TestTextImportAndSave::saveFailureIsReportedAndKeepsEverything()
{
    QFETCH(QString, name);
    const QDir root(m_dir->path());
    if (name.startsWith(u"locked"_s) && ::geteuid() == 0)
        QSKIP("the superuser writes into read-only folders");
    if (name == u"/dev/full"_s && !QFileInfo::exists(name))
        QSKIP("no /dev/full here");
    file(u"plain.txt"_s, "old");
    QVERIFY(root.mkdir(u"folder.lrc"_s));
    QVERIFY(root.mkdir(u"locked"_s));
    file(u"locked/old.lrc"_s, "old lyrics\r\n");
    const auto lockedPermissions = QFile::permissions(root.filePath(u"locked"_s));
    QVERIFY(QFile::setPermissions(root.filePath(u"locked"_s), QFile::ReadOwner | QFile::ExeOwner));
    m_text3->setPlainText(u"[00:01]hours of work\n"_s);
    m_text3->insertPlainText(u"x"_s);
    const QString path = root.absoluteFilePath(name);
    const QByteArray before = readBytes(path);

    const bool saved = save(path);
    QFile::setPermissions(root.filePath(u"locked"_s), lockedPermissions);

    QVERIFY(!saved);
    QCOMPARE(m_tools->errors.size(), 1);
    QVERIFY2(m_tools->errors[0].startsWith(u"保存歌词: 无法保存文件“%1”："_s.arg(path)), qPrintable(m_tools->errors[0]));
    QCOMPARE(m_text3->toPlainText(), u"x[00:01]hours of work\n"_s);
    QVERIFY(m_text3->document()->isModified());
    QCOMPARE(readBytes(path), before);
    QCOMPARE(readBytes(root.filePath(u"plain.txt"_s)), QByteArray("old"));
}

QTEST_MAIN(TestTextImportAndSave)
#include "tst_textimport_save.moc"
