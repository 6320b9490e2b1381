// Import and save of a long lyrics file through the buttons' actions, beside
// the naive import that replaces the editor's whole text once per line.
//
//   bench_lyrics_io [LINES [BASELINE_LINES [RUNS]]]   (50000, 2000, 5)
//
// The naive import grows with the square of the line count, so it runs on
// BASELINE_LINES and on twice as many, and is extrapolated to LINES with the
// exponent those two runs show. Times are medians of RUNS runs, each on a
// fresh, shown editor, with pending layout and paint events processed.
#include "desktop/filedialog.h"
#include "desktop/platformtools.h"
#include "editor/lyricssave.h"
#include "core/lyricstext.h"
#include "editor/textimport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

using namespace tarvelin;
using namespace Qt::StringLiterals;

namespace {

// Every file dialog answers with the one path given; errors are kept, the
// rest is left to the desktop (the paths measured never ask anything else).
class ScriptedTools final : public DesktopTools {
public:
    QString path;
    std::optional<QString> chooseFile(QWidget *, FileMode, const QString &, const QStringList &) override
    {
        return path;
    }
    void showError(QWidget *, const QString &title, const QString &text) override
    {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
        std::exit(1);
    }
    CloseAnswer askSaveBeforeClose(QWidget *) override { return CloseAnswer::Discard; }
    bool openUrl(const QUrl &) override { return false; }
};

QString lyricsText(int lines)
{
    QString text;
    for (int i = 0; i < lines; ++i)
        text += u"第%1行 清晨的风轻轻吹过窗台 la la la\r\n"_s.arg(i + 1);
    return text;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// Median milliseconds of `runs` calls of `body`, each given a fresh editor.
double medianMs(int runs, const std::function<void(QPlainTextEdit &)> &prepare,
                const std::function<void(QPlainTextEdit &)> &body)
{
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        QPlainTextEdit editor;
        editor.resize(500, 400);
        editor.show();
        prepare(editor);
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        body(editor);
        QCoreApplication::processEvents();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The import done the naive way: the file read line by line, the editor's
// whole text replaced by the old text plus the line plus CR LF each time.
void naiveImport(const QString &path, QPlainTextEdit &editor)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        editor.setPlainText(editor.toPlainText() + QString::fromUtf8(line) + u"\r\n"_s);
    }
}

// The save done the plain way: one unchecked, non-atomic write.
void plainSave(const QString &path, QPlainTextEdit &editor)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    file.write((editor.toPlainText() + u"\r\n"_s).toUtf8());
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int lines = args.size() > 1 ? args[1].toInt() : 50000;
    const int baseLines = args.size() > 2 ? args[2].toInt() : 2000;
    const int runs = args.size() > 3 ? args[3].toInt() : 5;

    QTemporaryDir dir;
    ScriptedTools tools;
    FileDialog opentxt1(tools, u"导入歌词"_s, {{u"*.txt"_s, u"*.txt"_s}});
    FileDialog savetxt1(tools, u"保存歌词"_s, {{u"*.lrc"_s, u"*.lrc"_s}, {u"*.txt"_s, u"*.txt"_s}});
    QLineEdit text2;

    const QString text = lyricsText(lines);
    const QString utf8Path = dir.filePath(u"lyrics-utf8.txt"_s);
    const QString gbkPath = dir.filePath(u"lyrics-gbk.txt"_s);
    writeFile(utf8Path, text.toUtf8());
    QStringEncoder gbk("GB18030");
    writeFile(gbkPath, gbk.encode(text));

    const auto nothing = [](QPlainTextEdit &) {};
    const auto importFrom = [&](const QString &path) {
        return [&, path](QPlainTextEdit &editor) {
            tools.path = path;
            if (!importText(opentxt1, &text2, &editor, nullptr, tools, nullptr))
                qFatal("import failed");
        };
    };
    const double importUtf8 = medianMs(runs, nothing, importFrom(utf8Path));
    const double importGbk = medianMs(runs, nothing, importFrom(gbkPath));

    // What Qt's text document alone costs for the same lines: the decoded
    // text inserted into a bare document in one edit block, no file, no view.
    const QString editorText = QString(text).replace(u"\r\n"_s, u"\n"_s);
    const double documentFloor = medianMs(runs, nothing, [&](QPlainTextEdit &) {
        QTextDocument document;
        QTextCursor cursor(&document);
        cursor.beginEditBlock();
        cursor.insertText(editorText);
        cursor.endEditBlock();
    });

    const QString outPath = dir.filePath(u"out.lrc"_s);
    const auto filled = importFrom(utf8Path);
    const double save = medianMs(runs, filled, [&](QPlainTextEdit &editor) {
        tools.path = outPath;
        if (!saveLyrics(savetxt1, &editor, tools, nullptr))
            qFatal("save failed");
    });
    const double plain = medianMs(runs, filled, [&](QPlainTextEdit &editor) { plainSave(outPath, editor); });

    // The naive import on a prefix of the same file, at two sizes.
    const auto naiveMs = [&](int n) {
        const QString path = dir.filePath(u"prefix-%1.txt"_s.arg(n));
        writeFile(path, lyricsText(n).toUtf8());
        return medianMs(std::max(1, runs / 2), nothing, [&](QPlainTextEdit &editor) { naiveImport(path, editor); });
    };
    const double naiveSmall = naiveMs(baseLines);
    const double naiveLarge = naiveMs(2 * baseLines);
    const double exponent = std::log2(naiveLarge / naiveSmall);
    const double naiveFull = naiveLarge * std::pow(double(lines) / (2 * baseLines), exponent);

    std::printf("lyrics file: %d lines, %lld bytes UTF-8; median of %d runs\n", lines,
                static_cast<long long>(QFile(utf8Path).size()), runs);
    std::printf("import (UTF-8)                 %10.1f ms\n", importUtf8);
    std::printf("  of which Qt's text document  %10.1f ms  (bare QTextDocument insert, for reference)\n",
                documentFloor);
    std::printf("import (GBK)                   %10.1f ms\n", importGbk);
    std::printf("save (atomic, synced)          %10.1f ms\n", save);
    std::printf("save, plain unchecked write    %10.1f ms  (for reference)\n", plain);
    std::printf("naive import, %6d lines      %10.1f ms  (measured)\n", baseLines, naiveSmall);
    std::printf("naive import, %6d lines      %10.1f ms  (measured)\n", 2 * baseLines, naiveLarge);
    std::printf("naive import, %6d lines      %10.0f ms  (extrapolated, growth exponent %.2f)\n", lines,
                naiveFull, exponent);
    std::printf("import speed-up over naive     %10.0fx\n", naiveFull / importUtf8);
    return 0;
}
