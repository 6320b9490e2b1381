#include "core/lyricstext.h"

#include "core/systemfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <uchardet/uchardet.h>

#include <cerrno>
#include <optional>


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

// The encoding a byte-order mark at the start names, and the mark's length.
struct ByteOrderMark {
    TextEncoding encoding;
    qsizetype size;
};

std::optional<ByteOrderMark> byteOrderMark(QByteArrayView bytes)
{
    switch (QStringConverter::encodingForData(bytes).value_or(QStringConverter::System)) {
    case QStringConverter::Utf8:
        return ByteOrderMark{TextEncoding::Utf8, 3};
    case QStringConverter::Utf16LE:
        return ByteOrderMark{TextEncoding::Utf16LE, 2};
    case QStringConverter::Utf16BE:
        return ByteOrderMark{TextEncoding::Utf16BE, 2};
    default: // none, or UTF-32's, which no lyrics come in
        return std::nullopt;
    }
}

DecodedText notText()
{
    return {{}, u"文件含有空字节，不是文本文件"_s};
}

struct EncodingInfo {
    TextEncoding encoding;
    const char *codec; // Qt's own for UTF-8/16, ICU's for the rest
    const char16_t *name;
};

// Big5 and Shift_JIS are read as Windows' code pages 950 and 932 under ICU's
// names; EUC-KR as code page 949, which adds the Hangul that EUC-KR lacks.
constexpr EncodingInfo Encodings[] = {
    {TextEncoding::Utf8, "UTF-8", u"UTF-8"},
    {TextEncoding::Gb18030, "GB18030", u"GB18030（简体中文）"},
    {TextEncoding::Big5, "Big5", u"Big5（繁体中文）"},
    {TextEncoding::ShiftJis, "Shift_JIS", u"Shift_JIS（日文）"},
    {TextEncoding::EucKr, "windows-949", u"EUC-KR（韩文）"},
    {TextEncoding::Utf16LE, "UTF-16LE", u"UTF-16LE"},
    {TextEncoding::Utf16BE, "UTF-16BE", u"UTF-16BE"},
    {TextEncoding::Windows1252, "windows-1252", u"Windows-1252（西欧）"},
};

const EncodingInfo &infoOf(TextEncoding encoding)
{
    for (const EncodingInfo &info : Encodings)
        if (info.encoding == encoding)
            return info;
    return Encodings[0];
}

QStringDecoder decoderFor(TextEncoding encoding)
{
    return QStringDecoder(infoOf(encoding).codec, DecodeFlags);
}

DecodedText missingDecoder(TextEncoding encoding)
{
    return {{}, u"系统缺少 %1 解码器"_s.arg(encodingName(encoding)), encoding, false};
}

// The bytes as text, or nothing when they hold a sequence invalid there.
std::optional<QString> decodeStrictly(QByteArrayView bytes, TextEncoding encoding)
{
    bool failed = false;
    QString text = decodeWith(decoderFor(encoding), bytes, &failed);
    if (failed)
        return std::nullopt;
    return text;
}

// UTF-16 without a mark: lyrics hold line breaks and tags, whose characters'
// zero high bytes put NULs on one side of the 16-bit units (odd offsets for
// little-endian); only the few characters U+xx00 put one on the other side.
// A control character other than tab and line breaks says binary data.
std::optional<DecodedText> utf16WithoutMark(const QByteArray &bytes)
{
    if (bytes.size() % 2 != 0)
        return std::nullopt;
    qsizetype nulAtEven = 0, nulAtOdd = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\0')
            ++(i % 2 ? nulAtOdd : nulAtEven);
    if (nulAtOdd <= 2 * nulAtEven && nulAtEven <= 2 * nulAtOdd)
        return std::nullopt;
    const TextEncoding encoding = nulAtOdd > nulAtEven ? TextEncoding::Utf16LE : TextEncoding::Utf16BE;
    std::optional<QString> text = decodeStrictly(bytes, encoding);
    if (!text)
        return std::nullopt;
    for (QChar c : *text)
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
            return std::nullopt;
    return DecodedText{std::move(*text), {}, encoding, true};
}

// What uchardet makes of the bytes, among the East Asian encodings lyrics
// come in; nothing when it is not sure or names another one.
std::optional<TextEncoding> detectEastAsian(const QByteArray &bytes)
{
    uchardet_t detector = uchardet_new();
    if (!detector)
        return std::nullopt;
    uchardet_handle_data(detector, bytes.constData(), size_t(bytes.size()));
    uchardet_data_end(detector);
    const QByteArray charset = QByteArray(uchardet_get_charset(detector)).toUpper();
    uchardet_delete(detector);
    static const struct {
        QByteArrayView charset;
        TextEncoding encoding;
    } known[] = {
        {"GB18030", TextEncoding::Gb18030}, {"GBK", TextEncoding::Gb18030}, {"GB2312", TextEncoding::Gb18030},
        {"BIG5", TextEncoding::Big5},       {"SHIFT_JIS", TextEncoding::ShiftJis},
        {"EUC-KR", TextEncoding::EucKr},    {"UHC", TextEncoding::EucKr},
    };
    for (const auto &[name, encoding] : known)
        if (charset == name)
            return encoding;
    return std::nullopt;
}

// Western text has its accented letters among plain ones ("écrire", "déjà");
// the East Asian encodings write every character as two or more high bytes.
// On short texts the detector gives any single-byte answer, so this decides.
bool highBytesStandAlone(QByteArrayView bytes)
{
    qsizetype high = 0, paired = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (uchar(bytes[i]) < 0x80)
            continue;
        ++high;
        if ((i > 0 && uchar(bytes[i - 1]) >= 0x80) || (i + 1 < bytes.size() && uchar(bytes[i + 1]) >= 0x80))
            ++paired;
    }
    return high > 0 && paired * 2 < high;
}

DecodedText guessEncoding(const QByteArray &bytes)
{
    TextEncoding encoding = TextEncoding::Gb18030;
    if (const std::optional<TextEncoding> detected = detectEastAsian(bytes))
        encoding = *detected;
    else if (highBytesStandAlone(bytes))
        encoding = TextEncoding::Windows1252;
    if (encoding != TextEncoding::Gb18030) {
        if (std::optional<QString> text = decodeStrictly(bytes, encoding))
            return {std::move(*text), {}, encoding, true};
        encoding = TextEncoding::Gb18030;
    }
    QStringDecoder gb18030 = decoderFor(encoding);
    if (!gb18030.isValid())
        return missingDecoder(encoding);
    return {decodeWith(std::move(gb18030), bytes), {}, encoding, true};
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

// The system's errors that reading or saving a lyrics file meets, in the
// user's words. ENOENT depends on what was done: see fileErrorReason().
struct KnownError {
    int code;
    const char16_t *reason;
};
constexpr KnownError KnownErrors[] = {
    {EACCES, u"没有访问权限"},
    {EPERM, u"操作不被允许"},
    {EROFS, u"所在的磁盘是只读的"},
    {ENOSPC, u"磁盘空间已满"},
    {EDQUOT, u"超出了磁盘配额"},
    {EFBIG, u"文件超出了允许的大小"},
    {ENAMETOOLONG, u"文件名太长"},
    {EISDIR, u"这是一个文件夹，不是文件"},
    {ENOTDIR, u"路径中有一部分不是文件夹"},
    {ELOOP, u"路径中的符号链接太多或成环"},
    {ETXTBSY, u"文件正被使用"},
    {EBUSY, u"文件正被使用"},
    {EMFILE, u"打开的文件太多"},
    {ENFILE, u"打开的文件太多"},
    {EXDEV, u"不能跨磁盘替换文件"},
};

// A failed call of `file`'s: the error code the system gave, read right
// after the call (errno is cleared before it). Qt's own checks fail without
// a system call, and the code is 0 then.
struct Failure {
    int code;
    const QFileDevice &file;
};

template <typename Call>
std::optional<Failure> failed(const QFileDevice &file, Call call)
{
    errno = 0;
    if (call())
        return std::nullopt;
    return Failure{errno, file};
}

QString reasonOf(const Failure &failure, FileAction action, const QString &path)
{
    if (failure.code != 0)
        return fileErrorReason(failure.code, action, path);
    // No system call failed: what Qt itself found.
    switch (failure.file.error()) {
    case QFileDevice::OpenError:
        return u"无法打开文件（%1）"_s.arg(failure.file.errorString());
    case QFileDevice::WriteError:
        return u"无法写入文件（%1）"_s.arg(failure.file.errorString());
    case QFileDevice::ReadError:
        return u"无法读取文件（%1）"_s.arg(failure.file.errorString());
    case QFileDevice::RenameError:
        return u"无法用新文件替换原来的文件（%1）"_s.arg(failure.file.errorString());
    default:
        return u"系统报告：%1"_s.arg(failure.file.errorString());
    }
}

// Writes to a file opened unbuffered. A short write (a full disk, a size
// limit) is not an error by itself; writing the rest again brings out the
// reason. Qt's own buffered writes take a short write for success.
QString writeAll(QFileDevice &file, QByteArrayView bytes, const QString &path)
{
    while (!bytes.isEmpty()) {
        qint64 written = 0;
        if (const auto failure = failed(file, [&] { return (written = file.write(bytes.data(), bytes.size())) > 0; }))
            return reasonOf(*failure, FileAction::Write, path);
        bytes = bytes.sliced(written);
    }
    return {};
}

QString writeDirectly(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (const auto failure = failed(file, [&] { return file.open(QIODevice::WriteOnly | QIODevice::Unbuffered); }))
        return reasonOf(*failure, FileAction::Write, path);
    return writeAll(file, bytes, path);
}

} // namespace

QList<TextEncoding> textEncodings()
{
    QList<TextEncoding> all;
    for (const EncodingInfo &info : Encodings)
        all.append(info.encoding);
    return all;
}

QString encodingName(TextEncoding encoding)
{
    return QString::fromUtf16(infoOf(encoding).name);
}

DecodedText decodeText(const QByteArray &bytes)
{
    if (const std::optional<ByteOrderMark> mark = byteOrderMark(bytes)) {
        QString text = decodeWith(decoderFor(mark->encoding), QByteArrayView(bytes).sliced(mark->size));
        if (text.contains(QChar(0)))
            return notText();
        return {std::move(text), {}, mark->encoding, false};
    }
    if (bytes.contains('\0')) {
        if (std::optional<DecodedText> utf16 = utf16WithoutMark(bytes))
            return std::move(*utf16);
        return notText();
    }
    if (std::optional<QString> text = decodeStrictly(bytes, TextEncoding::Utf8))
        return {std::move(*text), {}, TextEncoding::Utf8, false};
    return guessEncoding(bytes);
}

DecodedText decodeTextAs(const QByteArray &bytes, TextEncoding encoding)
{
    QStringDecoder decoder = decoderFor(encoding);
    if (!decoder.isValid())
        return missingDecoder(encoding);
    QByteArrayView rest(bytes);
    if (const std::optional<ByteOrderMark> mark = byteOrderMark(rest); mark && mark->encoding == encoding)
        rest = rest.sliced(mark->size);
    QString text = decodeWith(std::move(decoder), rest);
    if (text.contains(QChar(0)))
        return notText();
    return {std::move(text), {}, encoding, false};
}

QString fileErrorReason(int code, FileAction action, const QString &path)
{
    if (code == ENOENT) {
        if (action == FileAction::Read)
            return u"文件不存在"_s;
        // The folder is there, yet it takes no new file (/proc, a mount
        // point of a special file system ...).
        return QFileInfo(path).absoluteDir().exists() ? u"这个文件夹里不能新建文件"_s : u"所在的文件夹不存在"_s;
    }
    for (const KnownError &known : KnownErrors)
        if (code == known.code)
            return QString::fromUtf16(known.reason);
    return u"系统报告：%1"_s.arg(qt_error_string(code));
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

namespace {

LyricsFile refused(const QString &reason)
{
    LyricsFile file;
    file.error = reason;
    return file;
}

} // namespace

LyricsFile readLyricsFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        const int code = lookUpError(path);
        return refused(code ? fileErrorReason(code, FileAction::Read, path) : u"文件不存在"_s);
    }
    if (info.isDir())
        return refused(u"这是一个文件夹，不是文件"_s);
    if (!info.isFile())
        return refused(u"这不是普通文件"_s);
    const QString tooLarge = u"文件大于 %1 MiB，不是歌词文本"_s.arg(MaxLyricsFileSize / (1024 * 1024));
    if (info.size() > MaxLyricsFileSize)
        return refused(tooLarge);

    QFile file(path);
    if (const auto failure = failed(file, [&] { return file.open(QIODevice::ReadOnly); }))
        return refused(reasonOf(*failure, FileAction::Read, path));
    // One byte more than allowed tells a file that grew since the check.
    QByteArray bytes;
    if (const auto failure = failed(file, [&] {
            bytes = file.read(MaxLyricsFileSize + 1);
            return file.error() == QFileDevice::NoError;
        }))
        return refused(reasonOf(*failure, FileAction::Read, path));
    if (bytes.size() > MaxLyricsFileSize)
        return refused(tooLarge);

    DecodedText decoded = decodeText(bytes);
    if (!decoded.error.isEmpty())
        return refused(decoded.error);
    return {splitLines(decoded.text), {}, bytes, decoded.encoding, decoded.guessed};
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
    return writeFileAtomically(path, encodeLyrics(text));
}

QString writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    if (path.isEmpty())
        return u"没有文件名"_s;
    const QFileInfo info(path);
    if (info.isDir())
        return u"这是一个文件夹，不是文件"_s;
    if (info.exists() && !info.isFile()) {
        // Renaming a file over a character device would destroy it.
        if (isCharacterDevice(path))
            return writeDirectly(path, bytes);
        return u"这不是普通文件"_s;
    }

    QSaveFile file(path);
    if (const auto failure = failed(file, [&] { return file.open(QIODevice::WriteOnly | QIODevice::Unbuffered); })) {
        // QSaveFile refuses a file it may not replace by itself; ask why.
        if (const int code = info.exists() ? writeAccessError(path) : 0)
            return fileErrorReason(code, FileAction::Write, path);
        return reasonOf(*failure, FileAction::Write, path);
    }
    if (const QString reason = writeAll(file, bytes, path); !reason.isEmpty()) {
        file.cancelWriting();
        return reason;
    }
    if (const auto failure = failed(file, [&] { return file.commit(); }))
        return reasonOf(*failure, FileAction::Write, path);
    return {};
}

} // namespace tarvelin
