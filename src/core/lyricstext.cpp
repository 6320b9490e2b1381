#include "core/lyricstext.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <sys/stat.h>

namespace tarvelin {

namespace {

using namespace Qt::StringLiterals;

QString decodeWith(QStringDecoder decoder, QByteArrayView bytes, bool *failed = nullptr)
{
    QString text = decoder.decode(bytes);
    if (failed)
        *failed = decoder.hasError();
    return text;
}

// Stateless: a sequence cut off at the end of the file counts as an error.
// ConvertInitialBom: the caller has already taken the one mark away.
constexpr auto DecodeFlags = QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;

DecodedText notText()
{
    return {{}, u"文件含有空字节，不是文本文件"_s};
}

bool isLineBreak(QChar c)
{
    return c == u'\r' || c == u'\n' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

// Calls lineFound for every line that a break ends, without the break; CR LF
// counts as one break. Returns where the unended rest of the text begins.
template <typename IsBreak, typename LineFound>
qsizetype forEachEndedLine(QStringView text, IsBreak isBreak, LineFound lineFound)
{
    const qsizetype size = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < size; ++i) {
        if (!isBreak(text[i]))
            continue;
        lineFound(text.sliced(start, i - start));
        if (text[i] == u'\r' && i + 1 < size && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    return start;
}

// Character devices (/dev/null, a terminal, a full disk's stand-in) can be
// written but not replaced; renaming a file over one would destroy it.
bool isCharacterDevice(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISCHR(info.st_mode);
}

// Writes to a file opened unbuffered. A short write (a full disk, a size
// limit) is not an error by itself; writing the rest again brings out the
// reason. Qt's own buffered writes take a short write for success.
QString writeAll(QFileDevice &file, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const qint64 written = file.write(bytes.data(), bytes.size());
        if (written <= 0)
            return file.errorString();
        bytes = bytes.sliced(written);
    }
    return {};
}

QString writeDirectly(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    return writeAll(file, bytes);
}

} // namespace

DecodedText decodeText(const QByteArray &bytes)
{
    static const struct {
        QByteArrayView mark;
        QStringConverter::Encoding encoding;
    } marks[] = {
        {"\xEF\xBB\xBF", QStringConverter::Utf8},
        {"\xFF\xFE", QStringConverter::Utf16LE},
        {"\xFE\xFF", QStringConverter::Utf16BE},
    };
    for (const auto &[mark, encoding] : marks) {
        if (!bytes.startsWith(mark))
            continue;
        QString text = decodeWith(QStringDecoder(encoding, DecodeFlags), QByteArrayView(bytes).sliced(mark.size()));
        if (text.contains(QChar(0)))
            return notText();
        return {std::move(text), {}};
    }
    if (bytes.contains('\0'))
        return notText();

    bool invalid = false;
    QString text = decodeWith(QStringDecoder(QStringConverter::Utf8, DecodeFlags), bytes, &invalid);
    if (!invalid)
        return {std::move(text), {}};

    QStringDecoder gb18030("GB18030", DecodeFlags);
    if (!gb18030.isValid())
        return {{}, u"文件不是 UTF-8 编码，而系统缺少 GB18030 解码器"_s};
    return {decodeWith(std::move(gb18030), bytes), {}};
}

QStringList splitLines(QStringView text)
{
    QStringList lines;
    const qsizetype rest = forEachEndedLine(text, [](QChar c) { return c == u'\r' || c == u'\n'; },
                                            [&lines](QStringView line) { lines.append(line.toString()); });
    if (rest < text.size())
        lines.append(text.sliced(rest).toString());
    return lines;
}

LyricsFile readLyricsFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {{}, u"文件不存在"_s};
    if (info.isDir())
        return {{}, u"这是一个文件夹，不是文件"_s};
    if (!info.isFile())
        return {{}, u"这不是普通文件"_s};
    const QString tooLarge = u"文件大于 %1 MiB，不是歌词文本"_s.arg(MaxLyricsFileSize / (1024 * 1024));
    if (info.size() > MaxLyricsFileSize)
        return {{}, tooLarge};

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, file.errorString()};
    // One byte more than allowed tells a file that grew since the check.
    const QByteArray bytes = file.read(MaxLyricsFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        return {{}, file.errorString()};
    if (bytes.size() > MaxLyricsFileSize)
        return {{}, tooLarge};

    DecodedText decoded = decodeText(bytes);
    if (!decoded.error.isEmpty())
        return {{}, decoded.error};
    return {splitLines(decoded.text), {}};
}

QByteArray encodeLyrics(QStringView text)
{
    QString out;
    out.reserve(text.size() + text.size() / 16 + 2);
    const auto endLine = [&out](QStringView line) {
        out.append(line);
        out.append(u"\r\n");
    };
    endLine(text.sliced(forEachEndedLine(text, isLineBreak, endLine)));
    return out.toUtf8();
}

QString writeLyricsFile(const QString &path, QStringView text)
{
    if (path.isEmpty())
        return u"没有文件名"_s;
    const QByteArray bytes = encodeLyrics(text);
    const QFileInfo info(path);
    if (info.isDir())
        return u"这是一个文件夹，不是文件"_s;
    if (info.exists() && !info.isFile()) {
        if (isCharacterDevice(path))
            return writeDirectly(path, bytes);
        return u"这不是普通文件"_s;
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    if (const QString reason = writeAll(file, bytes); !reason.isEmpty()) {
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

} // namespace tarvelin
