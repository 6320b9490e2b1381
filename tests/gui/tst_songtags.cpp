// Song titles, artists and albums from old Chinese MP3s: ID3v1 and ID3v2
// texts declared Latin-1 that hold GBK bytes come out in Chinese, while
// texts declared Unicode stay as they are. The tags are written by hand
// onto a copy of an untitled song.
#include "media/songtags.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray bigEndian(quint32 value, int bitsPerByte)
{
    QByteArray out;
    for (int shift = 3; shift >= 0; --shift)
        out += char((value >> (shift * bitsPerByte)) & ((1u << bitsPerByte) - 1));
    return out;
}

// An ID3v2 tag of the given version (3 or 4) holding text frames; each frame's
// body is its encoding byte followed by its text bytes.
QByteArray id3v2(int version, const QList<std::pair<QByteArray, QByteArray>> &frames)
{
    QByteArray body;
    for (const auto &[id, content] : frames)
        body += id + bigEndian(quint32(content.size()), version == 4 ? 7 : 8) + QByteArray(2, '\0') + content;
    return "ID3" + QByteArray(1, char(version)) + QByteArray(2, '\0') + bigEndian(quint32(body.size()), 7) + body;
}

QByteArray field(const QByteArray &bytes, int size)
{
    return bytes.leftJustified(size, '\0', true);
}

// ID3v1: title, artist and album in 30 bytes each, at the file's end.
QByteArray id3v1(const QByteArray &title, const QByteArray &artist, const QByteArray &album)
{
    return "TAG" + field(title, 30) + field(artist, 30) + field(album, 30) + "2026" + field({}, 30) + char(12);
}

// The untitled song's audio without any tag of its own.
QByteArray audio()
{
    QFile song(QStringLiteral(TARVELIN_FIXTURES_DIR "/audio/tone-untitled.mp3"));
    if (!song.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = song.readAll();
    if (bytes.startsWith("ID3")) {
        const auto b = [&bytes](int i) { return quint32(uchar(bytes[i])); };
        bytes.remove(0, 10 + int(b(6) << 21 | b(7) << 14 | b(8) << 7 | b(9)));
    }
    return bytes;
}

const QByteArray Gbk("\xB4\xBA\xCF\xFE");          // 春晓
const QByteArray GbkArtist("\xC3\xCF\xBA\xC6\xC8\xBB"); // 孟浩然
const QByteArray Latin1 = "\0"_ba, Utf16 = "\1"_ba, Utf8 = "\3"_ba;

} // namespace

class TestSongTags : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void tags_data()
    {
        QTest::addColumn<QByteArray>("front"); // written before the audio
        QTest::addColumn<QByteArray>("back");  // written after it
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("album");
        QTest::newRow("ID3v1 in GBK") << QByteArray() << id3v1(Gbk, GbkArtist, "Tang") << u"春晓"_s << u"孟浩然"_s
                                      << u"Tang"_s;
        QTest::newRow("ID3v2.3 marked Latin-1, GBK bytes")
            << id3v2(3, {{"TIT2", Latin1 + Gbk}, {"TPE1", Latin1 + GbkArtist}, {"TALB", Latin1 + "Tang"}})
            << QByteArray() << u"春晓"_s << u"孟浩然"_s << u"Tang"_s;
        QTest::newRow("ID3v2.3 marked Latin-1, real Latin-1")
            << id3v2(3, {{"TIT2", Latin1 + "Caf\xE9"}}) << QByteArray() << u"Café"_s << QString() << QString();
        QTest::newRow("ID3v2.3 marked Latin-1, UTF-8 bytes")
            << id3v2(3, {{"TIT2", Latin1 + "\xE6\x98\xA5\xE6\x99\x93"}}) << QByteArray() << u"春晓"_s << QString()
            << QString();
        // A correct Unicode title stays as it is, whatever ID3v1 says.
        QTest::newRow("ID3v2.3 UTF-16")
            << id3v2(3, {{"TIT2", Utf16 + "\xFF\xFE" "C\0a\0f\0\xE9\0 \0\x25\x66\x53\x66"_ba}})
            << id3v1("Caf\xE9", {}, {}) << u"Café 春晓"_s << QString() << QString();
        // GBK bytes declared UTF-8 are broken text; ID3v1 stands in.
        QTest::newRow("ID3v2.4 broken UTF-8, ID3v1 in GBK")
            << id3v2(4, {{"TIT2", Utf8 + Gbk}}) << id3v1(Gbk, {}, {}) << u"春晓"_s << QString() << QString();
        QTest::newRow("no tags") << QByteArray() << QByteArray() << QString() << QString() << QString();
    }
    void tags()
    {
        QFETCH(QByteArray, front);
        QFETCH(QByteArray, back);
        QFETCH(QString, title);
        QFETCH(QString, artist);
        QFETCH(QString, album);
        QTemporaryDir dir;
        QFile song(dir.filePath(u"歌.mp3"_s));
        const QByteArray bytes = front + audio() + back;
        QVERIFY(song.open(QIODevice::WriteOnly) && song.write(bytes) == bytes.size());
        song.close();

        const tarvelin::SongTags tags = tarvelin::readSongTags(song.fileName());
        QCOMPARE(tags.title, title);
        QCOMPARE(tags.artist, artist);
        QCOMPARE(tags.album, album);
        QVERIFY2(qAbs(tags.duration - 4.0) < 0.2, qPrintable(QString::number(tags.duration)));
    }

    void notASong()
    {
        const tarvelin::SongTags tags = tarvelin::readSongTags(QStringLiteral(TARVELIN_FIXTURES_DIR "/audio/not-audio.mp3"));
        QCOMPARE(tags.title, QString());
        QCOMPARE(tags.duration, 0.0);
    }
};

QTEST_MAIN(TestSongTags)
#include "tst_songtags.moc"
