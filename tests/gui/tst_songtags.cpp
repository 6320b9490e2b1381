// Song titles, artists and albums from old Chinese MP3s: ID3v1 and ID3v2
// texts declared Latin-1 that hold GBK bytes come out in Chinese, while
// texts declared Unicode stay as they are. The tags are written by hand
// round the untitled song.
#include "media/songtags.h"
#include "datatable.h"
#include "fakes.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// An ID3v2 tag (version 3, or 4 for UTF-8) of text frames, each an id and
// its body: the encoding byte (0 Latin-1, 1 UTF-16, 3 UTF-8), then the text.
// Frames under 128 bytes have the same size field in both versions.
QByteArray id3v2(const QList<std::pair<QByteArray, QByteArray>> &frames, char version = 3)
{
    const auto size = [](qsizetype n, int bits) {
        QByteArray out;
        for (int shift = 3 * bits; shift >= 0; shift -= bits)
            out += char((n >> shift) & ((1 << bits) - 1));
        return out;
    };
    QByteArray body;
    for (const auto &[id, content] : frames)
        body += id + size(content.size(), 8) + QByteArray(2, '\0') + content;
    return "ID3"_ba + version + "\0\0"_ba + size(body.size(), 7) + body;
}

// ID3v1 at the file's end: title, artist and album in 30 bytes each.
QByteArray id3v1(const QByteArray &title, const QByteArray &artist = {}, const QByteArray &album = {})
{
    return ("TAG" + title.leftJustified(30, '\0') + artist.leftJustified(30, '\0') + album.leftJustified(30, '\0'))
        .leftJustified(128, '\0');
}

const QByteArray Gbk("\xB4\xBA\xCF\xFE");          // 春晓
const QByteArray GbkArtist("\xC3\xCF\xBA\xC6\xC8\xBB"); // 孟浩然

} // namespace

class TestSongTags : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void tags_data()
    {
        // front: written before the audio, back: after it; expected: title, artist, album
        const auto row = tarvelin::table<QByteArray, QByteArray, QStringList>({"front", "back", "expected"});
        const QStringList spring{u"春晓"_s, u"孟浩然"_s, u"Tang"_s};
        row("ID3v1 in GBK", {}, id3v1(Gbk, GbkArtist, "Tang"), spring);
        row("ID3v2 marked Latin-1, GBK bytes",
            id3v2({{"TIT2", '\0' + Gbk}, {"TPE1", '\0' + GbkArtist}, {"TALB", "\0Tang"_ba}}), {}, spring);
        row("ID3v2 marked Latin-1, real Latin-1", id3v2({{"TIT2", "\0Caf\xE9"_ba}}), {}, {u"Café"_s, {}, {}});
        // A correct Unicode title stays as it is, whatever ID3v1 says.
        row("ID3v2 UTF-16", id3v2({{"TIT2", "\1\xFF\xFE" "C\0a\0f\0\xE9\0 \0\x25\x66\x53\x66"_ba}}), id3v1("Caf\xE9"),
            {u"Café 春晓"_s, {}, {}});
        // GBK bytes declared UTF-8 are broken text; ID3v1 stands in.
        row("ID3v2.4 broken UTF-8, ID3v1 in GBK", id3v2({{"TIT2", '\3' + Gbk}}, 4), id3v1(Gbk), {u"春晓"_s, {}, {}});
    }
    void tags()
    {
        QFETCH(QByteArray, front);
        QFETCH(QByteArray, back);
        const QByteArray untitled = tarvelin::test::readFile(QStringLiteral(TARVELIN_FIXTURES_DIR "/audio/tone-untitled.mp3"));
        QVERIFY(!untitled.isEmpty());
        QTemporaryDir dir;
        const QString song = dir.filePath(u"歌.mp3"_s);
        QVERIFY(tarvelin::test::writeFile(song, front + untitled + back));
        const tarvelin::SongTags tags = tarvelin::readSongTags(song);
        QTEST((QStringList{tags.title, tags.artist, tags.album}), "expected");
    }
};

QTEST_MAIN(TestSongTags)
#include "tst_songtags.moc"
