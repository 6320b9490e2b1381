// The lyrics document on a long text: a 50 000-line lyrics text with a tag on
// every line in a shown editor with the model attached, then the steps a
// user makes: typing one character in the middle, a tap, one step of a
// marker drag, and Ctrl+Z. Each step's time runs from the call (or the key
// event) until every pending event, paint included, has been handled, and
// includes what a reader of the model does on its changed signal (the live
// line and the markers of an 8 s window). Beside each, the same step in an
// editor without the model, done the way the program does it today.
//
//   bench_document [LINES [TRIES [IMPORT_RUNS]]]   (50000, 50, 5)
#include "document/lyricsdocument.h"
#include "ui/workflow/tapping.h"
#include "ui/workflow/timingassist.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>
#include "common.h"

using namespace tarvelin;
using namespace Qt::StringLiterals;

namespace {

QStringList taggedLines(int count)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines << formatTimeTag(qint64(i) * 100) + u"第%1行 清晨的风轻轻吹过窗台 la la la"_s.arg(i + 1);
    return lines;
}

struct Figures {
    double median = 0;
    double max = 0;
};

Figures figures(const std::vector<double> &times)
{
    return {bench::median(times), bench::maxOf(times)};
}

double elapsedMs(const std::function<void()> &step)
{
    QElapsedTimer timer;
    timer.start();
    step();
    QCoreApplication::processEvents();
    return double(timer.nsecsElapsed()) / 1e6;
}

void sendKey(QWidget *to, int key, Qt::KeyboardModifiers modifiers, const QString &text = {})
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(to, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(to, &release);
}

// A shown editor holding the lines, with or without the model and its readers.
struct Editor {
    QPlainTextEdit editor;
    std::unique_ptr<LyricsDocument> model;
    qint64 readerSum = 0; // keeps the readers' work from being optimised away

    Editor(const QStringList &lines, bool withModel)
    {
        editor.resize(600, 400);
        editor.show();
        if (withModel) {
            model = std::make_unique<LyricsDocument>(editor.document());
            QObject::connect(model.get(), &LyricsDocument::changed, [this](const LinesChange &change) {
                if (qEnvironmentVariableIsSet("DEBUG_CHANGES"))
                    std::fprintf(stderr, "change %d..%d %+d %d\n", change.first, change.last, change.linesAdded, change.tagsChanged);
                readerSum += model->lyricText(change.first).size();
                if (!change.tagsChanged)
                    return;
                const qint64 at = model->firstTagMs(change.first).value_or(0);
                readerSum += model->liveAt(double(at) / 1000.0).current;
                readerSum += model->timeline(at - 4000, at + 4000).size();
            });
        }
        insertLines(lines);
        QCoreApplication::processEvents();
    }
    // As 导入文本 does: the lines appended at the end in one edit block.
    void insertLines(const QStringList &lines)
    {
        QTextCursor cursor(editor.document());
        cursor.movePosition(QTextCursor::End);
        cursor.beginEditBlock();
        cursor.insertText(lines.join(u'\n') + u'\n');
        cursor.endEditBlock();
    }
    void caretTo(int line, int column)
    {
        QTextCursor cursor(editor.document()->findBlockByNumber(line));
        cursor.setPosition(cursor.position() + column);
        editor.setTextCursor(cursor);
    }
};

double medianImportMs(const QStringList &lines, int runs, bool withModel, bool viaSetPlainText)
{
    std::vector<double> times;
    const QString text = lines.join(u'\n');
    for (int run = 0; run < runs; ++run) {
        Editor e({}, withModel);
        times.push_back(elapsedMs([&] {
            if (viaSetPlainText)
                e.editor.setPlainText(text);
            else
                e.insertLines(lines);
        }));
    }
    return figures(times).median;
}

void printRow(const char *what, const Figures &with, const Figures &without)
{
    std::printf("%-34s %8.2f %8.2f   %8.2f %8.2f\n", what, with.median, with.max, without.median, without.max);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int count = args.size() > 1 ? args[1].toInt() : 50000;
    const int tries = args.size() > 2 ? args[2].toInt() : 50;
    const int importRuns = args.size() > 3 ? args[3].toInt() : 5;
    const QStringList lines = taggedLines(count);
    const int middle = count / 2;

    std::printf("lyrics text: %d lines, a tag on each; %d tries per step, import median of %d runs\n", count,
                tries, importRuns);
    std::printf("import (appended, as 导入文本)     %8.1f ms with the model, %8.1f ms without\n",
                medianImportMs(lines, importRuns, true, false), medianImportMs(lines, importRuns, false, false));
    std::printf("import (setPlainText)             %8.1f ms with the model, %8.1f ms without\n",
                medianImportMs(lines, importRuns, true, true), medianImportMs(lines, importRuns, false, true));

    {
        Editor e(lines, false);
        std::vector<double> times;
        for (int run = 0; run < importRuns; ++run)
            times.push_back(elapsedMs([&] { LyricsDocument model(e.editor.document()); }));
        std::printf("reading the whole text (attaching) %8.1f ms\n", figures(times).median);
    }

    Editor with(lines, true);
    Editor without(lines, false);
    Tapper tapper(without.editor.document());
    std::vector<double> typeWith, typeWithout, tapWith, tapWithout, dragWith, dragWithout, undoWith, undoWithout;
    for (int i = 0; i < tries; ++i) {
        // One character typed into the text of a line in the middle.
        for (Editor *e : {&with, &without}) {
            e->caretTo(middle + i, 15);
            (e == &with ? typeWith : typeWithout).push_back(elapsedMs([&] {
                sendKey(&e->editor, Qt::Key_X, Qt::NoModifier, u"x"_s);
            }));
        }
        // A tap on the line after it: its tag replaced.
        const qint64 tapMs = qint64(middle + i) * 100 + 20;
        tapWith.push_back(elapsedMs([&] { with.model->setLineTag(middle + i + 1, tapMs); }));
        tapper.setCurrentLine(middle + i + 1);
        tapWithout.push_back(elapsedMs([&] { tapper.tap(double(tapMs) / 1000.0); }));
        // One step of a marker drag on the middle line: its tag 10 ms later.
        const qint64 dragMs = qint64(middle) * 100 + 10 * (i + 1);
        dragWith.push_back(elapsedMs([&] { with.model->setTagTime(middle, 0, dragMs); }));
        dragWithout.push_back(elapsedMs([&] { setTagTime(without.editor.document(), middle, 0, dragMs); }));
    }
    for (int i = 0; i < tries; ++i) {
        undoWith.push_back(elapsedMs([&] { sendKey(&with.editor, Qt::Key_Z, Qt::ControlModifier); }));
        undoWithout.push_back(elapsedMs([&] { sendKey(&without.editor, Qt::Key_Z, Qt::ControlModifier); }));
    }
    if (with.editor.toPlainText() != without.editor.toPlainText())
        qFatal("the two editors ended with different texts");

    std::printf("\n%-34s %17s   %17s\n", "step (ms)", "with the model", "without (today)");
    std::printf("%-34s %8s %8s   %8s %8s\n", "", "median", "max", "median", "max");
    printRow("typing one character", figures(typeWith), figures(typeWithout));
    printRow("a tap (set the line's tag)", figures(tapWith), figures(tapWithout));
    printRow("a marker drag step (set tag 0)", figures(dragWith), figures(dragWithout));
    printRow("Ctrl+Z", figures(undoWith), figures(undoWithout));
    std::printf("goal: every step within 16 ms (median and max)\n");
    return with.readerSum == 42 ? 1 : 0;
}
