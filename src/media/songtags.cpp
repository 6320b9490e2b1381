#include "media/songtags.h"

#include "core/lyricstext.h"

#include <QFile>

#include <audioproperties.h>
#include <fileref.h>
#include <id3v1tag.h>
#include <id3v2tag.h>
#include <mpegfile.h>
#include <tag.h>
#include <textidentificationframe.h>

namespace tarvelin {

namespace {

QString fromTagLib(const TagLib::String &text)
{
    return QString::fromStdWString(text.toWString()).trimmed();
}

// Text that TagLib read as Latin-1: its bytes again, read as lyrics are.
QString fromLatin1Bytes(const TagLib::String &text)
{
    const TagLib::ByteVector raw = text.data(TagLib::String::Latin1);
    const QByteArray bytes(raw.data(), qsizetype(raw.size()));
    bool ascii = true;
    for (char c : bytes)
        ascii = ascii && uchar(c) < 0x80;
    if (ascii)
        return QString::fromLatin1(bytes).trimmed();
    const DecodedText decoded = decodeText(bytes);
    return decoded.error.isEmpty() ? decoded.text.trimmed() : fromTagLib(text);
}

QString id3v2Text(TagLib::ID3v2::Tag *tag, const char *frameId)
{
    if (!tag)
        return {};
    const TagLib::ID3v2::FrameList frames = tag->frameListMap()[frameId];
    if (frames.isEmpty())
        return {};
    const auto *frame = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame *>(frames.front());
    if (!frame || frame->fieldList().isEmpty())
        return {};
    const TagLib::String text = frame->fieldList().front();
    return frame->textEncoding() == TagLib::String::Latin1 ? fromLatin1Bytes(text) : fromTagLib(text);
}

// ID3v2 first; ID3v1 where ID3v2 has nothing or a broken text.
QString mpegText(TagLib::MPEG::File &file, const char *frameId, TagLib::String (TagLib::Tag::*v1Field)() const)
{
    QString text = id3v2Text(file.ID3v2Tag(), frameId);
    if (!text.isEmpty() && !text.contains(QChar::ReplacementCharacter))
        return text;
    if (TagLib::ID3v1::Tag *v1 = file.ID3v1Tag(); v1 && !(v1->*v1Field)().isEmpty())
        return fromLatin1Bytes((v1->*v1Field)());
    return text;
}

double seconds(const TagLib::AudioProperties *properties)
{
    return properties ? properties->lengthInMilliseconds() / 1000.0 : 0;
}

} // namespace

SongTags readSongTags(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    SongTags tags;
    TagLib::FileRef ref(name.constData());
    if (ref.isNull())
        return tags;
    if (auto *mpeg = dynamic_cast<TagLib::MPEG::File *>(ref.file())) {
        tags.title = mpegText(*mpeg, "TIT2", &TagLib::Tag::title);
        tags.artist = mpegText(*mpeg, "TPE1", &TagLib::Tag::artist);
        tags.album = mpegText(*mpeg, "TALB", &TagLib::Tag::album);
    } else if (const TagLib::Tag *tag = ref.tag()) {
        tags.title = fromTagLib(tag->title());
        tags.artist = fromTagLib(tag->artist());
        tags.album = fromTagLib(tag->album());
    }
    tags.duration = seconds(ref.audioProperties());
    return tags;
}

} // namespace tarvelin
