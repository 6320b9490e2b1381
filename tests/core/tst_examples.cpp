// The demo in examples/ is what a newcomer tries first: its lyrics must come
// in as the six sung lines, and the song must be small enough to ship.
#include "workflow/lyricstext.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace tarvelin;
using namespace Qt::StringLiterals;

class TestExamples : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void demoLyricsImportAsTheSungLines();
    void demoSongIsASmallMp3();
};

void TestExamples::demoLyricsImportAsTheSungLines()
{
    const QString path = QStringLiteral(TARVELIN_SOURCE_DIR "/examples/demo-lyrics.txt");
    QFile raw(path);
    QVERIFY2(raw.open(QIODevice::ReadOnly), qPrintable(path));
    const QByteArray bytes = raw.readAll();
    // Kept as an old Chinese Windows program writes it: GBK, CR LF, so that
    // importing it shows the legacy encoding being handled.
    QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(bytes.count("\r\n"), 6);
    QCOMPARE(bytes.count('\n'), 6);

    const LyricsFile file = readLyricsFile(path);
    QCOMPARE(file.error, QString());
    const QStringList sung = {
        u"清晨的风轻轻吹过窗台"_s, u"我把歌词一行一行写下来"_s, u"每一句都在等它的时间"_s,
        u"按下按钮记住这一刻"_s,   u"旋律向前我们也向前"_s,     u"最后一句唱完就保存"_s,
    };
    QCOMPARE(file.lines, sung);
    // Read as UTF-8 these bytes would not be these lines: the file really is GBK.
    QVERIFY(QString::fromUtf8(bytes) != sung.join(u"\r\n"_s) + u"\r\n"_s);
}

void TestExamples::demoSongIsASmallMp3()
{
    const QString path = QStringLiteral(TARVELIN_SOURCE_DIR "/examples/demo-song.mp3");
    QFile song(path);
    QVERIFY2(song.open(QIODevice::ReadOnly), qPrintable(path));
    QVERIFY2(song.size() < 400 * 1024, "the demo song has grown past 400 KB");
    // The open dialog offers *.mp3: an ID3 tag (it carries the title the
    // window shows) or a bare MPEG frame header.
    const QByteArray head = song.read(3);
    QVERIFY(head == "ID3" || (quint8(head[0]) == 0xFF && (quint8(head[1]) & 0xE0) == 0xE0));
}

QTEST_GUILESS_MAIN(TestExamples)
#include "tst_examples.moc"
