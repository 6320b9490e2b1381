// The lyrics document on a long text, in the real window: a 50 000-line
// lyrics text with a tag on every line imported into the window's editor as
// 导入文本 does, with every part of the window listening (the waveform's
// markers, the live line, tap mode, the imported-text record, recovery is
// off), and a song standing paused in the player. Then the steps a user
// makes: typing one character in the middle, a tap in tap mode (Space), one
// step of a marker drag (the tag set where the marker is let go), and
// Ctrl+Z. Each step's time runs from the key event (or the call) until every
// pending event, paint included, has been handled.
//
// The import is timed a second way, like for like: setPlainText of the same
// text into a bare editor made as the window makes its own (size, wrapping,
// scroll bars), with and without a lyrics document attached; the difference
// is the document's own cost. And the document's reading alone: attaching
// it to an editor that already holds the text (its destruction included).
//
//   bench_document [LINES [TRIES [IMPORT_RUNS]]]   (50000, 50, 5)
#include "document/lyricsdocument.h"
#include "media/mediaengine.h"
#include "desktop/platformtools.h"
#include "window/mainwindow.h"

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
#include <utility>
#include <vector>
#include "common.h"

using namespace tarvelin;
using namespace Qt::StringLiterals;

namespace {

// A song that stands paused at a given place: no sound, no decoding.
class StillEngine final : public MediaEngine {
public:
    double at = 0;
    void load(const QString &path) override
    {
        m_path = path;
        m_state = path.isEmpty() ? State::Empty : State::Paused;
        Q_EMIT stateChanged(m_state);
    }
    void stop() override {}
    void play() override {}
    void pause() override {}
    void seek(double seconds) override { at = std::clamp(seconds, 0.0, duration()); }
    void setVolume(int) override {}
    void setMuted(bool) override {}
    void setSpeed(double) override {}
    std::optional<double> position() override { return at; }
    std::optional<QString> title() override { return u"bench"_s; }
    State state() const override { return m_state; }
    double duration() const override { return 100000.0; }
    int volume() const override { return DefaultVolume; }
    bool isMuted() const override { return false; }
    double speed() const override { return 1.0; }
    QString path() const override { return m_path; }
    Failure failure() const override { return {}; }

private:
    State m_state = State::Empty;
    QString m_path;
};

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

// The program's window, shown, with a song standing paused.
struct Window {
    DesktopTools tools;
    StillEngine *engine = new StillEngine;
    MainWindow window{tools, std::unique_ptr<MediaEngine>(engine)};
    QPlainTextEdit *editor = window.findChild<QPlainTextEdit *>(u"Text3"_s);

    Window()
    {
        window.show();
        engine->load(u"song.mp3"_s);
        QCoreApplication::processEvents();
    }
    // As 导入文本 does: the lines appended at the end in one edit block.
    void insertLines(const QStringList &lines)
    {
        QTextCursor cursor(editor->document());
        cursor.movePosition(QTextCursor::End);
        cursor.beginEditBlock();
        cursor.insertText(lines.join(u'\n') + u'\n');
        cursor.endEditBlock();
    }
    void caretTo(int line, int column)
    {
        QTextCursor cursor(editor->document()->findBlockByNumber(line));
        cursor.setPosition(cursor.position() + column);
        editor->setTextCursor(cursor);
    }
};

double medianImportMs(const QStringList &lines, int runs)
{
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        Window w;
        times.push_back(elapsedMs([&] { w.insertLines(lines); }));
    }
    return figures(times).median;
}

// A shown editor set up as the window's lyrics editor is.
void setUpAsWindowEditor(QPlainTextEdit &editor)
{
    editor.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    editor.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    editor.setLineWrapMode(QPlainTextEdit::WidgetWidth);
    editor.setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    editor.setTabChangesFocus(true);
    editor.resize(6015 / 15, 3975 / 15); // the window's size for it at 96 dpi
    editor.show();
    QCoreApplication::processEvents();
}

// setPlainText of the text into a fresh bare editor, with and without a
// lyrics document attached; runs alternate so both see the same machine.
std::pair<Figures, Figures> setPlainTextMs(const QString &text, int runs)
{
    std::vector<double> bare, withDocument;
    for (int run = 0; run < runs; ++run) {
        for (const bool attached : {run % 2 == 0, run % 2 != 0}) {
            QPlainTextEdit editor;
            setUpAsWindowEditor(editor);
            std::unique_ptr<LyricsDocument> lyrics;
            if (attached)
                lyrics = std::make_unique<LyricsDocument>(editor.document());
            (attached ? withDocument : bare).push_back(elapsedMs([&] { editor.setPlainText(text); }));
            if (lyrics && lyrics->timeline().size() != editor.document()->blockCount())
                std::fprintf(stderr, "the lyrics document did not read every line\n");
        }
    }
    return {figures(bare), figures(withDocument)};
}

// The document's reading of the whole text alone: attached to an editor
// that already holds it.
Figures readingMs(const QString &text, int runs)
{
    QPlainTextEdit editor;
    setUpAsWindowEditor(editor);
    editor.setPlainText(text);
    QCoreApplication::processEvents();
    std::vector<double> times;
    for (int run = 0; run < runs; ++run)
        times.push_back(elapsedMs([&] { LyricsDocument lyrics(editor.document()); }));
    return figures(times);
}

void printRow(const char *what, const Figures &f)
{
    std::printf("%-34s %8.2f %8.2f\n", what, f.median, f.max);
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

    std::printf("lyrics text: %d lines, a tag on each, in the program's window; %d tries per step, import "
                "median of %d runs\n",
                count, tries, importRuns);
    std::printf("import (appended, as 导入文本)     %8.1f ms\n", medianImportMs(lines, importRuns));
    const auto [bare, withDocument] = setPlainTextMs(lines.join(u'\n'), importRuns);
    std::printf("\nsetPlainText, bare editor (ms)     %8s %8s\n", "median", "max");
    printRow("without a lyrics document", bare);
    printRow("with a lyrics document", withDocument);
    std::printf("%-34s %8.2f\n", "the document's own cost (median)", withDocument.median - bare.median);
    printRow("the document reading it all alone", readingMs(lines.join(u'\n'), importRuns));

    Window w;
    w.insertLines(lines);
    QCoreApplication::processEvents();
    LyricsDocument *lyrics = w.window.lyricsDocument();
    std::vector<double> typing, taps, drags, undos;
    for (int i = 0; i < tries; ++i) {
        // One character typed into the text of a line in the middle.
        w.caretTo(middle + i, 15);
        typing.push_back(elapsedMs([&] { sendKey(w.editor, Qt::Key_X, Qt::NoModifier, u"x"_s); }));
        // A tap on the line after it, in tap mode: its tag replaced.
        w.caretTo(middle + i + 1, 0);
        sendKey(w.editor, Qt::Key_F2, Qt::NoModifier);
        w.engine->at = double(qint64(middle + i) * 100 + 20) / 1000.0;
        taps.push_back(elapsedMs([&] { sendKey(w.editor, Qt::Key_Space, Qt::NoModifier, u" "_s); }));
        sendKey(w.editor, Qt::Key_Escape, Qt::NoModifier);
        // One step of a marker drag on the middle line: its tag 10 ms later.
        const qint64 dragMs = qint64(middle) * 100 + 10 * (i + 1);
        drags.push_back(elapsedMs([&] { lyrics->setTagTime(middle, 0, dragMs); }));
    }
    for (int i = 0; i < tries; ++i)
        undos.push_back(elapsedMs([&] { sendKey(w.editor, Qt::Key_Z, Qt::ControlModifier); }));
    w.window.lyricsDocument()->textDocument()->setModified(false); // no question on closing

    std::printf("\n%-34s %8s %8s\n", "step (ms)", "median", "max");
    printRow("typing one character", figures(typing));
    printRow("a tap (Space in tap mode)", figures(taps));
    printRow("a marker drag step (set tag 0)", figures(drags));
    printRow("Ctrl+Z", figures(undos));
    std::printf("goal: every step within 16 ms (median and max)\n");
    return 0;
}
