// libFuzzer target for reading a lyrics file's bytes and writing them back:
// decodeText, splitLines and encodeLyrics on any bytes. Besides crashes and
// sanitizer reports it checks what the import and save promise:
//  - a refusal gives no text, an accepted text holds no U+0000;
//  - valid UTF-8 without a mark or NUL decodes to itself (with NULs it may be UTF-16);
//  - no line holds CR or LF, and the lines with LF between them give the
//    text back with every CR LF and lone CR read as LF;
//  - the saved bytes are UTF-8 with only CR LF endings, end with CR LF, and
//    read back as the same lines (plus the last, unended one).

#include "core/lyricstext.h"

#include <QStringDecoder>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace tarvelin;

namespace {

[[noreturn]] void failure(const char *what, const QByteArray &bytes)
{
    fprintf(stderr, "lyricstext: %s (input %s)\n", what, bytes.left(256).toHex(' ').constData());
    abort();
}

bool isBreak(QChar c)
{
    return c == u'\r' || c == u'\n' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

// The lines that saving writes, each followed by CR LF: CR LF, CR, LF and
// the Unicode separators each end a line, and the rest is the last line.
QStringList savedLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isBreak(text[i]))
            continue;
        lines << text.mid(start, i - start);
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    lines << text.mid(start);
    return lines;
}

void checkSplit(const QString &text, const QByteArray &input)
{
    const QStringList lines = splitLines(text);
    QString normalized = text;
    normalized.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    QString joined = lines.join(u'\n');
    if (!lines.isEmpty() && normalized.endsWith(u'\n'))
        joined += u'\n';
    for (const QString &line : lines)
        if (line.contains(u'\r') || line.contains(u'\n'))
            failure("a line holds a line break", input);
    if (joined != normalized)
        failure("the lines do not give the text back", input);
}

void checkSave(const QString &text, const QByteArray &input)
{
    const QByteArray saved = encodeLyrics(text);
    if (!saved.endsWith("\r\n"))
        failure("saved bytes do not end with CR LF", input);
    for (qsizetype i = 0; i < saved.size(); ++i) {
        const bool lf = saved[i] == '\n', cr = saved[i] == '\r';
        if ((lf && (i == 0 || saved[i - 1] != '\r')) || (cr && (i + 1 == saved.size() || saved[i + 1] != '\n')))
            failure("a saved line ending is not CR LF", input);
    }
    // A text that starts with U+FEFF is saved starting with the bytes of a
    // byte-order mark, which an import drops; the rest must come back.
    const QByteArray mark("\xEF\xBB\xBF");
    const DecodedText back = decodeText(saved);
    if (!back.error.isEmpty())
        failure("saved bytes are refused on import", input);
    if (back.text.toUtf8() != (saved.startsWith(mark) ? saved.mid(mark.size()) : saved))
        failure("saved bytes are not read back as UTF-8", input);
    // Through UTF-8 and back (a lone surrogate becomes U+FFFD), keeping U+FEFF.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    const QString expected = utf8.decode(text.toUtf8());
    QStringList want = savedLines(expected);
    if (expected.startsWith(QChar(0xFEFF)))
        want.first().remove(0, 1);
    if (splitLines(back.text) != want)
        failure("saved lines do not read back as the same lines", input);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const DecodedText decoded = decodeText(bytes);
    if (!decoded.error.isEmpty()) {
        if (!decoded.text.isEmpty())
            failure("a refusal comes with text", bytes);
        return 0;
    }
    if (decoded.text.contains(QChar(0)))
        failure("accepted text holds U+0000", bytes);
    if (!bytes.startsWith("\xEF\xBB\xBF") && !bytes.startsWith("\xFF\xFE") && !bytes.startsWith("\xFE\xFF")) {
        const QString utf8 = QString::fromUtf8(bytes);
        if (utf8.toUtf8() == bytes && !bytes.contains('\0') && decoded.text != utf8)
            failure("valid UTF-8 is not read as UTF-8", bytes);
    }
    checkSplit(decoded.text, bytes);
    checkSave(decoded.text, bytes);
    return 0;
}
