#include "media/lyricsembed.h"

#include "core/lrc.h"
#include "core/lyricsexport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <fileref.h>
#include <flacfile.h>
#include <id3v2tag.h>
#include <mp4file.h>
#include <mp4tag.h>
#include <mpegfile.h>
#include <opusfile.h>
#include <synchronizedlyricsframe.h>
#include <unsynchronizedlyricsframe.h>
#include <vorbisfile.h>
#include <xiphcomment.h>

#include <filesystem>
#include <memory>
#include <system_error>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarvelin {

namespace {

using namespace Qt::StringLiterals;

const char *const XiphKey = "LYRICS";
const char *const Mp4Key = "\251lyr";

// Through UTF-8: TagLib's wide strings are UTF-16 units even where wchar_t
// is 32 bits wide, so characters beyond the BMP (emoji) would be cut.
TagLib::String toTagLib(const QString &text)
{
    return TagLib::String(text.toUtf8().toStdString(), TagLib::String::UTF8);
}

QString fromTagLib(const TagLib::String &text)
{
    return QString::fromUtf8(text.toCString(true));
}

enum class Kind { None, Mpeg, Flac, Vorbis, Opus, Mp4 };

Kind kindOfName(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"mp3")
        return Kind::Mpeg;
    if (suffix == u"flac")
        return Kind::Flac;
    if (suffix == u"ogg" || suffix == u"oga")
        return Kind::Vorbis;
    if (suffix == u"opus")
        return Kind::Opus;
    if (suffix == u"m4a" || suffix == u"mp4" || suffix == u"m4b")
        return Kind::Mp4;
    return Kind::None;
}

QString kindName(Kind kind)
{
    switch (kind) {
    case Kind::Mpeg: return u"MP3"_s;
    case Kind::Flac: return u"FLAC"_s;
    case Kind::Vorbis: return u"Ogg Vorbis"_s;
    case Kind::Opus: return u"Ogg Opus"_s;
    case Kind::Mp4: return u"M4A"_s;
    case Kind::None: break;
    }
    return {};
}

// The song opened by TagLib as the type its name says, or nothing when its
// content is not of that type.
struct Opened {
    std::unique_ptr<TagLib::File> file;
    TagLib::MPEG::File *mpeg = nullptr;
    TagLib::FLAC::File *flac = nullptr;
    TagLib::Ogg::XiphComment *xiph = nullptr; // Vorbis, Opus; FLAC's own comment
    TagLib::MP4::File *mp4 = nullptr;
};

Opened open(const QString &path, Kind kind)
{
    const QByteArray name = QFile::encodeName(path);
    Opened o;
    switch (kind) {
    case Kind::Mpeg: {
        auto *f = new TagLib::MPEG::File(name.constData());
        o.file.reset(f);
        o.mpeg = f;
        break;
    }
    case Kind::Flac: {
        auto *f = new TagLib::FLAC::File(name.constData());
        o.file.reset(f);
        o.flac = f;
        break;
    }
    case Kind::Vorbis: {
        auto *f = new TagLib::Ogg::Vorbis::File(name.constData());
        o.file.reset(f);
        o.xiph = f->isValid() ? f->tag() : nullptr;
        break;
    }
    case Kind::Opus: {
        auto *f = new TagLib::Ogg::Opus::File(name.constData());
        o.file.reset(f);
        o.xiph = f->isValid() ? f->tag() : nullptr;
        break;
    }
    case Kind::Mp4: {
        auto *f = new TagLib::MP4::File(name.constData());
        o.file.reset(f);
        o.mp4 = f;
        break;
    }
    case Kind::None:
        break;
    }
    if (!o.file || !o.file->isValid() || !o.file->audioProperties())
        return {};
    return o;
}

EmbeddedLyrics readFrom(Opened &o)
{
    EmbeddedLyrics lyrics;
    if (o.mpeg) {
        TagLib::ID3v2::Tag *tag = o.mpeg->ID3v2Tag();
        if (!tag)
            return lyrics;
        const TagLib::ID3v2::FrameList uslt = tag->frameListMap()["USLT"];
        if (!uslt.isEmpty())
            if (auto *frame = dynamic_cast<TagLib::ID3v2::UnsynchronizedLyricsFrame *>(uslt.front()))
                lyrics.text = fromTagLib(frame->text());
        const TagLib::ID3v2::FrameList sylt = tag->frameListMap()["SYLT"];
        if (!sylt.isEmpty())
            if (auto *frame = dynamic_cast<TagLib::ID3v2::SynchronizedLyricsFrame *>(sylt.front()))
                for (const auto &entry : frame->synchedText())
                    lyrics.synced.append({qint64(entry.time), fromTagLib(entry.text)});
    } else if (o.flac || o.xiph) {
        TagLib::Ogg::XiphComment *xiph = o.flac ? o.flac->xiphComment() : o.xiph;
        if (xiph && xiph->contains(XiphKey))
            lyrics.text = fromTagLib(xiph->fieldListMap()[XiphKey].toString("\n"));
    } else if (o.mp4) {
        if (TagLib::MP4::Tag *tag = o.mp4->tag(); tag && tag->contains(Mp4Key))
            lyrics.text = fromTagLib(tag->item(Mp4Key).toStringList().toString("\n"));
    }
    return lyrics;
}

bool writeTo(Opened &o, const EmbeddedLyrics &lyrics)
{
    if (o.mpeg) {
        // The tag keeps its version: a v2.3 tag stays v2.3 for the players
        // that read nothing newer. UTF-16 holds any text in both versions.
        const bool v3 = o.mpeg->hasID3v2Tag() && o.mpeg->ID3v2Tag()->header()->majorVersion() == 3;
        TagLib::ID3v2::Tag *tag = o.mpeg->ID3v2Tag(true);
        tag->removeFrames("USLT");
        tag->removeFrames("SYLT");
        auto *uslt = new TagLib::ID3v2::UnsynchronizedLyricsFrame(TagLib::String::UTF16);
        uslt->setLanguage("chi");
        uslt->setText(toTagLib(lyrics.text));
        tag->addFrame(uslt);
        auto *sylt = new TagLib::ID3v2::SynchronizedLyricsFrame(TagLib::String::UTF16);
        sylt->setLanguage("chi");
        sylt->setTimestampFormat(TagLib::ID3v2::SynchronizedLyricsFrame::AbsoluteMilliseconds);
        sylt->setType(TagLib::ID3v2::SynchronizedLyricsFrame::Lyrics);
        TagLib::ID3v2::SynchronizedLyricsFrame::SynchedTextList list;
        for (const auto &[ms, text] : lyrics.synced)
            list.append({static_cast<unsigned int>(ms), toTagLib(text)});
        sylt->setSynchedText(list);
        tag->addFrame(sylt);
        // Only the ID3v2 tag is written; an ID3v1 or APE tag stays as it is.
        return o.mpeg->save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone,
                            v3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4, TagLib::File::DoNotDuplicate);
    }
    if (o.flac) {
        o.flac->xiphComment(true)->addField(XiphKey, toTagLib(lyrics.text), true);
        return o.flac->save();
    }
    if (o.xiph) {
        o.xiph->addField(XiphKey, toTagLib(lyrics.text), true);
        return o.file->save();
    }
    if (o.mp4) {
        o.mp4->tag()->setItem(Mp4Key, TagLib::StringList(toTagLib(lyrics.text)));
        return o.mp4->save();
    }
    return false;
}

// Renames `from` over `to` in one step.
QString replaceFile(const QString &from, const QString &to)
{
    std::error_code error;
    std::filesystem::rename(QFile::encodeName(from).toStdString(), QFile::encodeName(to).toStdString(), error);
    return error ? u"无法替换原文件：%1"_s.arg(QString::fromLocal8Bit(error.message())) : QString();
}

} // namespace

QString embedUnsupportedReason(const QString &songPath)
{
    if (songPath.isEmpty())
        return u"还没有导入歌曲"_s;
    if (kindOfName(songPath) == Kind::None)
        return u"只能写入 MP3、FLAC、Ogg（Vorbis/Opus）和 M4A 歌曲，这首歌是 %1 文件"_s
            .arg(QFileInfo(songPath).suffix().isEmpty() ? u"无扩展名的"_s : QFileInfo(songPath).suffix().toUpper());
    return {};
}

EmbeddedLyrics embeddedLyricsFor(const QStringList &lines)
{
    EmbeddedLyrics lyrics;
    ExportOptions options;
    options.applyOffset = true;
    lyrics.text = rearrangeLyrics(lines, options).join(u'\n');
    options.repeats = RepeatedLines::Expand;
    options.stripWords = true;
    for (const QString &line : rearrangeLyrics(lines, options)) {
        const LrcLine parsed = parseLrcLine(line);
        if (!parsed.tags.isEmpty())
            lyrics.synced.append({parsed.tags.first().ms, lyricText(line, parsed)});
    }
    return lyrics;
}

EmbeddedLyrics readEmbeddedLyrics(const QString &songPath)
{
    Opened o = open(songPath, kindOfName(songPath));
    return o.file ? readFrom(o) : EmbeddedLyrics{};
}

namespace {

// Copies the whole of `original` into `copy`; why not, or nothing.
QString copyWhole(QFile &original, QTemporaryFile &copy)
{
    while (!original.atEnd()) {
        const QByteArray chunk = original.read(1 << 20);
        if (original.error() != QFileDevice::NoError)
            return u"读取歌曲文件时出错：%1"_s.arg(original.errorString());
        if (copy.write(chunk) != chunk.size())
            return u"复制歌曲时出错：%1"_s.arg(copy.errorString());
    }
    if (!copy.flush())
        return u"复制歌曲时出错：%1"_s.arg(copy.errorString());
    copy.close();
    return {};
}

// Writes the lyrics into the copy and reads it back: it must still play as
// long as before and give the same lyrics. Why not, or nothing.
QString writeAndCheck(const QString &copyPath, Kind kind, const EmbeddedLyrics &lyrics, int lengthBefore)
{
    {
        Opened o = open(copyPath, kind);
        if (!o.file || !writeTo(o, lyrics))
            return u"TagLib 无法写入这首 %1 歌曲的标签"_s.arg(kindName(kind));
    }
    Opened o = open(copyPath, kind);
    if (!o.file || o.file->audioProperties()->lengthInMilliseconds() != lengthBefore)
        return u"写入后歌曲无法正常读取，原文件未改动"_s;
    const EmbeddedLyrics back = readFrom(o);
    if (back.text != lyrics.text || (kind == Kind::Mpeg && back.synced != lyrics.synced))
        return u"写入后读回的歌词与原歌词不一致，原文件未改动"_s;
    return {};
}

// The copy gets the original's owner (only root may give it back; others own
// it already) and is on the disk before it replaces the original.
void keepOwnerAndSync([[maybe_unused]] const QString &songPath, [[maybe_unused]] const QString &copyPath)
{
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::stat(QFile::encodeName(songPath).constData(), &st) == 0) {
        [[maybe_unused]] const int ignored = ::chown(QFile::encodeName(copyPath).constData(), st.st_uid, st.st_gid);
    }
    QFile synced(copyPath);
    if (synced.open(QIODevice::ReadWrite))
        ::fsync(synced.handle());
#endif
}

} // namespace

QString embedLyrics(const QString &songPath, const QStringList &lines)
{
    if (const QString reason = embedUnsupportedReason(songPath); !reason.isEmpty())
        return reason;
    const Kind kind = kindOfName(songPath);
    const QFileInfo info(songPath);
    if (!info.exists())
        return u"歌曲文件不存在"_s;
    if (info.isDir())
        return u"这是一个文件夹，不是歌曲文件"_s;
    if (!info.isFile())
        return u"这不是普通文件"_s;
    // A file its owner made read-only is left alone, even for root.
    if (!(info.permissions() & QFileDevice::WriteOwner))
        return u"歌曲文件是只读的"_s;

    QFile original(songPath);
    if (!original.open(QIODevice::ReadOnly))
        return u"无法读取歌曲文件：%1"_s.arg(original.errorString());
    int lengthBefore = 0;
    {
        Opened before = open(songPath, kind);
        if (!before.file)
            return u"文件内容不是可写入歌词的 %1 歌曲"_s.arg(kindName(kind));
        lengthBefore = before.file->audioProperties()->lengthInMilliseconds();
    }

    // The copy stands beside the original, so the rename stays on one file
    // system; it keeps the original's type suffix for TagLib.
    QTemporaryFile copy(info.dir().filePath(u".%1.XXXXXX.%2"_s.arg(info.completeBaseName(), info.suffix())));
    if (!copy.open())
        return u"无法在歌曲所在的文件夹里写入：%1"_s.arg(copy.errorString());
    if (const QString reason = copyWhole(original, copy); !reason.isEmpty())
        return reason;
    if (const QString reason = writeAndCheck(copy.fileName(), kind, embeddedLyricsFor(lines), lengthBefore);
        !reason.isEmpty())
        return reason;
    if (!QFile::setPermissions(copy.fileName(), info.permissions()))
        return u"无法设置副本的权限，原文件未改动"_s;
    keepOwnerAndSync(songPath, copy.fileName());
    // The original went away while it was being copied: nothing to replace.
    if (!QFileInfo::exists(songPath) || !QFileInfo(songPath).isFile())
        return u"歌曲文件在写入期间被移走或删除"_s;
    if (const QString error = replaceFile(copy.fileName(), songPath); !error.isEmpty())
        return error;
    copy.setAutoRemove(false);
    return {};
}

} // namespace tarvelin
