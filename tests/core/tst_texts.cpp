// The text formats: time-tag positions, and lyrics files read (line
// splitting, refusals) and encoded for saving. Which encoding the bytes are
// read with is tst_encodings' business.
#include "core/lyricstext.h"
#include "core/positiontext.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

class TestTexts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void position_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("expected");
        QTest::newRow("binary fraction below .29") << 0.29 << "00:00.29";
        QTest::newRow("cut, not rounded") << 59.999 << "00:59.99";
        QTest::newRow("a hundred minutes") << 6000.0 << "100:00.00";
        QTest::newRow("infinity reads as zero") << std::numeric_limits<double>::infinity() << "00:00.00";
    }
    void position()
    {
        QFETCH(double, seconds);
        QFETCH(QString, expected);
        QCOMPARE(tarvelin::formatPosition(seconds), expected);
    }

    void readLyrics_data()
    {
        QTest::addColumn<QString>("name"); // "": a file holding `bytes`
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("error"); // part of the reason; "": read
        const auto text = [](const char *row, const QByteArray &bytes, const QStringList &lines) {
            QTest::newRow(row) << QString() << bytes << lines << QString();
        };
        const auto refused = [](const char *row, const QString &name, const QByteArray &bytes, const QString &error) {
            QTest::newRow(row) << name << bytes << QStringList() << error;
        };
        text("empty", {}, {});
        text("UTF-8, spaces, tab and no-break space kept", " \xE4\xBD\xA0\t\xC2\xA0\n", {u" 你\t\u00A0"_s});
        text("UTF-8 mark, then a second one as text", "\xEF\xBB\xBF\xEF\xBB\xBFx", {u"\uFEFFx"_s});
        text("CR LF, CR, LF; LF then CR is two endings; no final ending", "A\r\nB\rC\n\n\rD",
             {u"A"_s, u"B"_s, u"C"_s, u""_s, u""_s, u"D"_s});
        refused("over 8 MiB", {}, QByteArray(8 * 1024 * 1024 + 1, 'a'), u"8 MiB"_s);
        refused("missing", u"missing"_s, {}, u"文件不存在"_s);
        refused("folder", u"folder"_s, {}, u"文件夹"_s);
        refused("named pipe", u"pipe"_s, {}, u"不是普通文件"_s);
    }
    void readLyrics()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QDir(dir.path()).mkdir(u"folder"_s);
        ::mkfifo(QFile::encodeName(dir.filePath(u"pipe"_s)).constData(), 0644);
        QFile file(dir.filePath(u"lyrics.txt"_s));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        const auto read = tarvelin::readLyricsFile(name.isEmpty() ? file.fileName() : QDir(dir.path()).absoluteFilePath(name));
        QCOMPARE(read.lines, lines);
        QVERIFY2(error.isEmpty() ? read.error.isEmpty() : read.error.contains(error), qPrintable(read.error));
    }

    // Saved as UTF-8 without a mark, every line break (Shift+Enter's U+2028
    // too) one CR LF, and one more after the text.
    void encode()
    {
        QCOMPARE(tarvelin::encodeLyrics(u"a\r\nb\rc\nd\u2028e\u2029你\u00A0"_s),
                 QByteArray("a\r\nb\r\nc\r\nd\r\ne\r\n\xE4\xBD\xA0\xC2\xA0\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestTexts)
#include "tst_texts.moc"
