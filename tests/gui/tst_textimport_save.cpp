// "导入文本" and "保存歌词" through the buttons' actions: what the editor, the
// path box and the dialogs hold afterwards, and the bytes a save writes.
#include "components/filedialog.h"
#include "fakes.h"
#include "workflow/lyricssave.h"
#include "workflow/textimport.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

using namespace tarvelin;
using namespace Qt::StringLiterals;

class TestTextImportAndSave : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m = std::make_unique<Window>();
    }
    void import_data();
    void import();
    void importThenSave_data();
    void importThenSave();
    void cancelledOrFailedSaveKeepsEverything();

private:
    QString file(const QString &name, const QByteArray &bytes)
    {
        QFile out(m_dir->filePath(name));
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(out.fileName()));
        return out.fileName();
    }
    // One click on a button, the dialog answering `path` (empty: cancel).
    bool click(bool save, const QString &path)
    {
        m->tools.fileAnswers.emplace_back(path.isEmpty() ? std::nullopt : std::optional(path));
        return save ? saveLyrics(m->savetxt1, &m->text3, m->tools, nullptr)
                    : importText(m->opentxt1, &m->text2, &m->text3, m->tools, nullptr);
    }

    // What the actions use of the main window, fresh for every test row.
    struct Window {
        test::FakeTools tools;
        FileDialog opentxt1{tools, u"导入歌词"_s, u"*.txt|*.txt"_s};
        FileDialog savetxt1{tools, u"保存歌词"_s, u"*.lrc|*.lrc|*.txt|*.txt"_s};
        QLineEdit text2;
        QPlainTextEdit text3;
    };
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Window> m;
};

void TestTextImportAndSave::import_data()
{
    QTest::addColumn<QString>("earlier");  // a file imported first
    QTest::addColumn<QByteArray>("bytes"); // the file imported now
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("error");

    QTest::newRow("lines appended") << u"[00:01]x\r\n"_s << QByteArray("A\nB") << u"[00:01]x\nA\nB\n"_s << QString();
    QTest::newRow("empty file") << u"x\n"_s << QByteArray() << u"x\n"_s << QString();
    QTest::newRow("not text") << u"x\n"_s << QByteArray("\0\1", 2) << u"x\n"_s << u"空字节"_s;
    QTest::newRow("missing") << u"x\n"_s << QByteArray("gone") << u"x\n"_s << u"文件不存在"_s;
}

void TestTextImportAndSave::import()
{
    QFETCH(QString, earlier);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, after);
    QFETCH(QString, error);
    QVERIFY(click(false, file(u"earlier.txt"_s, earlier.toUtf8())));
    const QString before = m->text3.toPlainText();
    QString path = file(u"now.txt"_s, bytes);
    if (bytes == "gone")
        QVERIFY(QFile::remove(path));

    QCOMPARE(click(false, path), before != after);
    QCOMPARE(m->text3.toPlainText(), after);
    QCOMPARE(m->text2.text(), path);
    QCOMPARE(m->opentxt1.FileName, QString());
    QCOMPARE(m->tools.errors.size(), error.isEmpty() ? 0 : 1);
    if (!error.isEmpty())
        QVERIFY(m->tools.errors[0].startsWith(u"导入歌词: 无法读取文件“%1”："_s.arg(path))
                && m->tools.errors[0].contains(error));
    QCOMPARE(m->text3.textCursor().position(), 0);

    // One undo step per import; a cancel afterwards empties the path box only.
    QVERIFY(!click(false, {}));
    QCOMPARE(m->text2.text(), QString());
    m->text3.undo();
    QCOMPARE(m->text3.toPlainText(), before == after ? QString() : before);
}

void TestTextImportAndSave::importThenSave_data()
{
    QTest::addColumn<QByteArray>("imported");
    QTest::addColumn<QByteArray>("saved");

    // Every line ends with CR LF, and the save adds one more after the text.
    QTest::newRow("empty") << QByteArray() << QByteArray("\r\n");
    QTest::newRow("CR LF") << QByteArray("A\r\n\r\nB\r\n") << QByteArray("A\r\n\r\nB\r\n\r\n");
    QTest::newRow("CR and LF, no final") << QByteArray("A\rB\nC") << QByteArray("A\r\nB\r\nC\r\n\r\n");
    QTest::newRow("LF then CR is two endings") << QByteArray("A\n\rB") << QByteArray("A\r\n\r\nB\r\n\r\n");
    QTest::newRow("spaces, tab, no-break space") << QByteArray(" a\t\xC2\xA0\n") << QByteArray(" a\t\xC2\xA0\r\n\r\n");
    QTest::newRow("GBK") << QByteArray("\xC4\xE3\xBA\xC3") << QByteArray("\xE4\xBD\xA0\xE5\xA5\xBD\r\n\r\n");
    QTest::newRow("UTF-8 mark only") << QByteArray("\xEF\xBB\xBF") << QByteArray("\r\n");
}

void TestTextImportAndSave::importThenSave()
{
    QFETCH(QByteArray, imported);
    QFETCH(QByteArray, saved);
    click(false, file(u"in.txt"_s, imported));
    const QString out = file(u"歌 词"_s, QByteArray(1000, 'o')); // no extension, replaced whole

    QVERIFY(click(true, out));
    QFile written(out);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), saved);
    QVERIFY(!m->text3.document()->isModified());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), (QStringList{u"in.txt"_s, u"歌 词"_s}));
}

void TestTextImportAndSave::cancelledOrFailedSaveKeepsEverything()
{
    const QString earlier = file(u"earlier.lrc"_s, "old");
    m->text3.insertPlainText(u"[00:01]A"_s);
    QVERIFY(!click(true, {}));
    QVERIFY(!click(true, earlier + u"/below-a-file.lrc"_s));

    QCOMPARE(m->tools.errors.size(), 1);
    QVERIFY(m->tools.errors[0].startsWith(u"保存歌词: 无法保存文件“%1/below-a-file.lrc”："_s.arg(earlier)));
    QCOMPARE(m->text3.toPlainText(), u"[00:01]A"_s);
    QVERIFY(m->text3.document()->isModified());
    QFile old(earlier);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old"));
}

QTEST_MAIN(TestTextImportAndSave)
#include "tst_textimport_save.moc"
