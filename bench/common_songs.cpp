#include "common_songs.h"

#include "analysis/songdecoder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace bench {

std::vector<IndexedSong> readSongIndex(const QString &dir, bool *found)
{
    std::vector<IndexedSong> songs;
    const QDir root(dir);
    QFile index(root.filePath(u"index.tsv"_s));
    const bool opened = index.open(QIODevice::ReadOnly | QIODevice::Text);
    if (found)
        *found = opened;
    if (!opened)
        return songs;
    QTextStream in(&index);
    in.readLine(); // the header
    while (!in.atEnd()) {
        const QStringList f = in.readLine().split(u'\t');
        if (f.size() < 3)
            continue;
        songs.push_back({f[0].section(u'/', 0, 0), root.filePath(f[0]), root.filePath(f[1]),
                         f[2].isEmpty() ? QString() : root.filePath(f[2])});
    }
    return songs;
}

DecodedSong decodeCurves(const QString &path)
{
    using namespace tarvelin;
    DecodedSong d;
    CurveBuilder builder(AnalysisRate);
    DecodeSink sink;
    sink.stereo = [&](const float *lr, std::size_t n) { builder.process(lr, n); };
    sink.samples = [&](const float *, std::size_t n) { d.seconds += double(n) / AnalysisRate; };
    QElapsedTimer clock;
    clock.start();
    const DecodeResult r = decodeSong(path, {}, sink);
    builder.finish();
    d.decodeMs = double(clock.nsecsElapsed()) / 1e6;
    if (r.outcome != DecodeResult::Outcome::Finished)
        std::fprintf(stderr, "cannot decode %s: %s\n", qPrintable(path), qPrintable(r.error));
    d.curves = builder.take();
    return d;
}

} // namespace bench
