// libFuzzer target for exporting lyrics: exportLyrics with every option on
// any text (the first two bytes choose the options, the rest is the text as
// UTF-8). Besides crashes and sanitizer reports it checks:
//  - kept as typed (LRC, repeats kept, offset and word tags left), the text
//    comes back line for line with the chosen line ending;
//  - characters the encoding cannot hold are named on a line that exists,
//    at a column inside it, and with replacement an LRC text that kept any
//    line is always written (applying [offset:] may leave no line at all).

#include "core/lyricsexport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace tarvelin;

namespace {

[[noreturn]] void failure(const char *what, const QByteArray &bytes)
{
    fprintf(stderr, "lyricsexport: %s (input %s)\n", what, bytes.left(256).toHex(' ').constData());
    abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));
    ExportOptions options;
    options.encoding = ExportEncoding(data[0] & 3);
    options.repeats = RepeatedLines((data[0] >> 2) % 3);
    options.format = ExportFormat((data[0] >> 4) % 3);
    options.applyOffset = data[0] & 0x40;
    options.stripWords = data[0] & 0x80;
    options.crlf = data[1] & 1;
    options.replaceUnencodable = data[1] & 2;
    options.songMs = (data[1] >> 2) * 1000;

    const QStringList lines = QString::fromUtf8(bytes).split(u'\n');
    const ExportResult result = exportLyrics(lines, options);

    for (const UnencodableChar &c : result.unencodable) {
        if (c.line < 1 || c.line > lines.size() || c.column < 1 || c.column > lines[c.line - 1].size())
            failure("an unencodable character named outside the text", bytes);
    }
    if (!result.unencodable.isEmpty() && !options.replaceUnencodable && !result.bytes.isEmpty())
        failure("written although characters could not be encoded", bytes);
    if (options.format == ExportFormat::Lrc && (result.unencodable.isEmpty() || options.replaceUnencodable)
        && !result.text.isEmpty() && result.bytes.isEmpty())
        failure("nothing written", bytes);

    const bool asTyped = options.format == ExportFormat::Lrc && options.repeats == RepeatedLines::Keep
        && !options.applyOffset && !options.stripWords && result.unencodable.isEmpty();
    const QString ending = options.crlf ? QStringLiteral("\r\n") : QStringLiteral("\n");
    if (asTyped && result.text != lines.join(ending) + ending)
        failure("the text kept as typed came back changed", bytes);
    return 0;
}
