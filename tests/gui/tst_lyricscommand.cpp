// Lyrics into songs made by ffmpeg here (the audio must decode the same,
// the other tags stay, the lyrics read back; failures leave the song as it
// was), and the command line that exports and embeds without a window.
#include "core/lyricsexport.h"
#include "media/lyricscommand.h"
#include "media/lyricsembed.h"
#include "media/songtags.h"
#include "fakes.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

using namespace Qt::StringLiterals;
using namespace tarvelin;

namespace {

const QStringList Lyrics{u"[ti:歌]"_s, u"[offset:+200]"_s, u"[00:01.00]第一句 🎵"_s, u"[00:01.00]First line"_s,
                         u"[00:02.00][00:02.50]<00:02.00>重<00:02.20>复"_s};

QString ffmpeg() { return QStandardPaths::findExecutable(u"ffmpeg"_s); }

// ffmpeg with the arguments: its output, none when it fails.
std::optional<QByteArray> runFfmpeg(const QStringList &arguments)
{
    QProcess process;
    process.start(ffmpeg(), QStringList{u"-nostdin"_s, u"-loglevel"_s, u"error"_s, u"-y"_s} + arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

// A tone of the given length with a title and an artist.
bool makeSong(const QString &path, int seconds = 2)
{
    return runFfmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s, u"sine=frequency=440:duration=%1"_s.arg(seconds), u"-metadata"_s,
                      u"title=晚风"_s, u"-metadata"_s, u"artist=某乐队"_s, path}).has_value();
}

// The decoded samples, as 16-bit PCM.
QByteArray samples(const QString &path)
{
    return runFfmpeg({u"-i"_s, path, u"-map"_s, u"0:a"_s, u"-f"_s, u"s16le"_s, u"-"_s}).value_or(QByteArray());
}

} // namespace

class TestLyricsCommand : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        if (ffmpeg().isEmpty() && qstrcmp(QTest::currentTestFunction(), "program") != 0)
            QSKIP("ffmpeg is not installed");
    }

    void embed_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("mp3: SYLT and USLT") << "mp3";
        QTest::newRow("flac: LYRICS") << "flac";
        QTest::newRow("ogg: LYRICS") << "ogg";
        QTest::newRow("opus: LYRICS") << "opus";
        QTest::newRow("m4a: lyrics atom") << "m4a";
    }
    // Written twice (the second replaces the first): the audio decodes to the
    // same samples, title and artist stay, the lyrics read back, the
    // permissions are kept and no copy is left behind.
    void embed()
    {
        QFETCH(QString, suffix);
        QTemporaryDir dir;
        const QString song = dir.filePath(u"song."_s + suffix);
        QVERIFY(makeSong(song));
        QVERIFY(QFile::setPermissions(song, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
        const QByteArray audio = samples(song);
        QVERIFY(!audio.isEmpty());

        QCOMPARE(embedLyrics(song, {u"[00:09.00]旧词"_s}), QString());
        QCOMPARE(embedLyrics(song, Lyrics), QString());
        QCOMPARE(samples(song), audio);
        const SongTags tags = readSongTags(song);
        QCOMPARE((QStringList{tags.title, tags.artist}), (QStringList{u"晚风"_s, u"某乐队"_s}));
        const EmbeddedLyrics back = readEmbeddedLyrics(song);
        QCOMPARE(back.text, u"[ti:歌]\n[00:00.80]第一句 🎵\n[00:00.80]First line\n[00:01.80][00:02.30]<00:01.80>重<00:02.00>复"_s);
        if (suffix == u"mp3")
            QCOMPARE(back.synced, (QList<QPair<qint64, QString>>{
                                      {800, u"第一句 🎵"_s}, {800, u"First line"_s}, {1800, u"重复"_s}, {2300, u"重复"_s}}));
        QCOMPARE(QFile::permissions(song), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                               | QFileDevice::ReadUser | QFileDevice::WriteUser);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"song."_s + suffix});
    }

    void embedRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("reason");
        QTest::newRow("vanished") << "gone.mp3" << "none" << "歌曲文件不存在";
        QTest::newRow("a folder in its place") << "dir.mp3" << "folder" << "这是一个文件夹，不是歌曲文件";
        QTest::newRow("read-only") << "song.mp3" << "read-only" << "歌曲文件是只读的";
        QTest::newRow("not a song") << "text.flac" << "text" << "文件内容不是可写入歌词的 FLAC 歌曲";
        QTest::newRow("a type without lyrics tags") << "song.wav" << "song" << "只能写入 MP3、FLAC、Ogg（Vorbis/Opus）和 M4A 歌曲，这首歌是 WAV 文件";
    }
    // The reason is given and whatever stood there is unchanged.
    void embedRefused()
    {
        QFETCH(QString, name);
        QFETCH(QString, setup);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        if (setup == u"folder")
            QVERIFY(QDir(dir.path()).mkdir(name));
        else if (setup != u"none")
            QVERIFY(setup == u"text" ? test::writeFile(path, "not audio at all") : makeSong(path));
        if (setup == u"read-only")
            QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        const QByteArray before = test::readFile(path);
        QTEST(embedLyrics(path, Lyrics), "reason");
        QCOMPARE(test::readFile(path), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), setup == u"none" || setup == u"folder" ? 0 : 1);
    }

    void command_data()
    {
        QTest::addColumn<QString>("arguments"); // IN, OUT and SONG stand for the files
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message"); // a part of stderr
        QTest::addColumn<QByteArray>("written"); // OUT afterwards ("old" when left alone)
        const auto row = [](const char *name, const char *arguments, int code, const QString &message, const QByteArray &written) {
            QTest::newRow(name) << u"--export IN --output OUT "_s + QString::fromUtf8(arguments) << code << message << written;
        };
        row("GBK, expanded, offset applied, LF",
            "--encoding gbk --repeats=expand --apply-offset --strip-words --line-endings lf --replace-unencodable", 0, {},
            QStringEncoder("GB18030").encode(u"[ti:歌]\n[00:00.80]第一句 ?\n[00:00.80]First line\n[00:01.80]重复\n[00:02.30]重复\n"_s));
        row("GBK refused, characters named, nothing written", "--encoding gbk", 1,
            u"GBK 编码无法表示以下 1 个字符，没有写入“OUT”：\n  第 3 行第 15 个字“🎵”"_s, "old");
        row("SRT with the song's length", "--format srt --song SONG", 0, {},
            "1\r\n00:00:00,800 --> 00:00:01,800\r\n\xE7\xAC\xAC\xE4\xB8\x80\xE5\x8F\xA5 \xF0\x9F\x8E\xB5\r\nFirst line\r\n\r\n"
            "2\r\n00:00:01,800 --> 00:00:02,300\r\n\xE9\x87\x8D\xE5\xA4\x8D\r\n\r\n"
            "3\r\n00:00:02,300 --> 00:00:04,000\r\n\xE9\x87\x8D\xE5\xA4\x8D\r\n\r\n"_ba);
        row("bad value", "--encoding big5", 2, u"--encoding 的值“big5”无效"_s, "old");
        row("embed option with export", "--into SONG", 2, u"选项 --into 不能与 --export 一起用"_s, "old");
        QTest::newRow("missing input") << u"--export NONE --output OUT"_s << 1 << u"无法读取歌词文件"_s << "old"_ba;
        QTest::newRow("output is a folder") << u"--export IN --output DIR"_s << 1 << u"这是一个文件夹，不是文件"_s << "old"_ba;
        QTest::newRow("embed into an unsupported song") << u"--embed IN --into OUT"_s << 1 << u"只能写入 MP3"_s << "old"_ba;
    }
    void command()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString in = dir.filePath(u"in.lrc"_s), out = dir.filePath(u"out.txt"_s), song = dir.filePath(u"song.wav"_s);
        QVERIFY(QDir(dir.path()).mkdir(u"DIR"_s));
        QVERIFY(makeSong(song, 4));
        QVERIFY(test::writeFile(in, Lyrics.join(u"\r\n"_s).toUtf8()) && test::writeFile(out, "old"));
        const QHash<QString, QString> files{{u"IN"_s, in}, {u"OUT"_s, out}, {u"SONG"_s, song},
                                            {u"DIR"_s, dir.filePath(u"DIR"_s)}, {u"NONE"_s, dir.filePath(u"none.lrc"_s)}};
        QStringList given = arguments.split(u' ');
        for (QString &argument : given)
            argument = files.value(argument, argument);
        QString stdOut, stdErr;
        QTextStream outStream(&stdOut), errStream(&stdErr);
        QTEST(runLyricsCommand(given, outStream, errStream), "code");
        QVERIFY2(stdErr.contains(message.replace(u"OUT"_s, out)), qPrintable(stdErr));
        QCOMPARE(stdErr.isEmpty(), message.isEmpty());
        QTEST(test::readFile(out), "written");
    }

    // The program itself: no window, no display needed, help in Chinese.
    void program()
    {
        const QString program = QStringLiteral(TARVELIN_BINARY_DIR "/src/app/tarvelin");
        if (!QFile::exists(program))
            QSKIP("the program is not built");
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
            environment.remove(name);
        process.setProcessEnvironment(environment);
        process.start(program, {u"--help"_s});
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(QString::fromUtf8(process.readAllStandardOutput()).contains(u"--export 歌词.lrc --output"_s));
        // A failure shows in the exit status (its message is command()'s).
        process.start(program, {u"--export"_s, u"/nonexistent/in.lrc"_s, u"--output"_s, u"/nonexistent/out.lrc"_s});
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), 1);
    }
};

QTEST_GUILESS_MAIN(TestLyricsCommand)
#include "tst_lyricscommand.moc"
