// libFuzzer target for the position text of a time tag. The input gives two
// doubles and a whole number of hundredths; every text must have the tag's
// form, read back to a value at most a hundredth below the position (never
// above it), and grow with the position.

#include "core/positiontext.h"

#include <QRegularExpression>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// The largest position the formatter takes; larger ones read as this.
constexpr double MaxSeconds = double(std::numeric_limits<qint64>::max() / 1000000 - 1);

[[noreturn]] void failure(const char *what, double input, const QString &text)
{
    fprintf(stderr, "positiontext: %s: input %.17g gave \"%s\"\n", what, input, qPrintable(text));
    abort();
}

// Hundredths of "mm:ss.xx"; the text must have that form.
qint64 hundredths(const QString &text, double input)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{2,}):([0-5]\\d)\\.(\\d\\d)$"));
    const auto match = form.match(text);
    if (!match.hasMatch())
        failure("not mm:ss.xx", input, text);
    const QString minutes = match.captured(1);
    if (minutes.size() > 2 && minutes.startsWith(QLatin1Char('0')))
        failure("minutes padded past two digits", input, text);
    bool ok = false;
    const qint64 m = minutes.toLongLong(&ok);
    if (!ok)
        failure("minutes out of range", input, text);
    return m * 6000 + match.captured(2).toLongLong() * 100 + match.captured(3).toLongLong();
}

qint64 checkPosition(double seconds)
{
    const QString text = tarvelin::formatPosition(seconds);
    const qint64 value = hundredths(text, seconds);
    if (!std::isfinite(seconds) || seconds <= 0) {
        if (value != 0)
            failure("negative or non-finite input not read as zero", seconds, text);
        return 0;
    }
    const double s = std::min(seconds, MaxSeconds);
    // Doubles this large carry no hundredths; allow their own rounding.
    const double slack = 1e-6 + s * 4e-16;
    const double shown = double(value) / 100.0;
    if (shown > s + slack)
        failure("shows a moment after the position", seconds, text);
    if (shown < s - 0.01 - slack)
        failure("more than a hundredth before the position", seconds, text);
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    double a = 0, b = 0;
    qint64 c = 0;
    if (size < sizeof a)
        return 0;
    memcpy(&a, data, sizeof a);
    if (size >= sizeof a + sizeof b)
        memcpy(&b, data + sizeof a, sizeof b);
    if (size >= sizeof a + sizeof b + sizeof c)
        memcpy(&c, data + sizeof a + sizeof b, sizeof c);

    const qint64 va = checkPosition(a);
    const qint64 vb = checkPosition(b);
    // Growing with the position (negative ones all read as zero).
    if (std::isfinite(a) && std::isfinite(b) && ((a < b && va > vb) || (b < a && vb > va)))
        failure("a later position shows an earlier time", b,
                tarvelin::formatPosition(a) + QStringLiteral(" then ") + tarvelin::formatPosition(b));

    // Whole hundredths read back exactly; negative ones as zero.
    const QString text = tarvelin::formatCentiseconds(c);
    if (hundredths(text, double(c)) != std::max<qint64>(c, 0))
        failure("hundredths do not read back", double(c), text);
    return 0;
}
