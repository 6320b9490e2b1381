#pragma once

#include <algorithm>

#include "media/mediaengine.h"
#include "desktop/platformtools.h"

#include <QEvent>
#include <QList>
#include <QStringList>
#include <QUrl>

#include <deque>
#include <memory>
#include <vector>
#include <optional>

class QPlainTextEdit;

namespace tarvelin {
class MainWindow;
}

namespace tarvelin::test {

// The first answer in a queue, taken out of it; `none` when it is empty.
template <typename T>
T take(std::deque<T> &answers, T none)
{
    if (!answers.empty()) {
        none = std::move(answers.front());
        answers.pop_front();
    }
    return none;
}

// Scripted desktop: answers file choosers from a queue (nothing queued means
// the user cancels), records every message and opened address.
class FakeTools final : public PlatformTools {
public:
    struct Request {
        QString title;
        QStringList nameFilters;
    };

    std::deque<std::optional<QString>> fileAnswers;
    QList<Request> requests;
    QStringList errors; // "title: text"
    CloseAnswer closeAnswer = CloseAnswer::Cancel;
    int closeQuestions = 0;
    QList<QUrl> openedUrls;
    bool openUrlResult = true;
    QStringList notes; // showInformation: "title: text"
    std::deque<RestoreAnswer> restoreAnswers; // one per question; none left: no answer (Later)
    QStringList restoreQuestions;             // the details of each
    QList<QWidget *> restoreParents;          // the parent of each
    QList<bool> restoreParentsShown;          // whether its window was on the screen then

    // Questions: answered from queues (nothing queued: 否 / cancel), every
    // text recorded.
    std::deque<bool> yesNoAnswers;
    std::deque<std::optional<QString>> textAnswers;
    QStringList questions; // "title: text"

    void answer(const QString &path) { fileAnswers.emplace_back(path); }
    void cancel() { fileAnswers.emplace_back(std::nullopt); }

    std::optional<QString> chooseFile(QWidget *, FileMode, const QString &title,
                                      const QStringList &nameFilters) override
    {
        requests.append({title, nameFilters});
        return take(fileAnswers, std::optional<QString>());
    }
    void showError(QWidget *, const QString &title, const QString &text) override
    {
        errors << title + QStringLiteral(": ") + text;
    }
    CloseAnswer askSaveBeforeClose(QWidget *) override { ++closeQuestions; return closeAnswer; }
    bool openUrl(const QUrl &url) override { openedUrls << url; return openUrlResult; }
    bool askYesNo(QWidget *, const QString &title, const QString &text) override
    {
        questions << title + QStringLiteral(": ") + text;
        return take(yesNoAnswers, false);
    }
    std::optional<QString> askText(QWidget *, const QString &title, const QString &label, const QString &) override
    {
        questions << title + QStringLiteral(": ") + label;
        return take(textAnswers, std::optional<QString>());
    }
    void showInformation(QWidget *, const QString &title, const QString &text) override
    {
        notes << title + QStringLiteral(": ") + text;
    }
    RestoreAnswer askRestoreLyrics(QWidget *parent, const QString &details) override;
};

// An engine that plays nothing: tests set what it reports.
class FakeEngine final : public MediaEngine {
    Q_OBJECT
public:
    std::optional<double> positionValue = 0.0;
    std::optional<QString> titleValue = QString();
    double durationValue = 0;
    QStringList loads;
    int stops = 0;
    State currentState = State::Empty;
    QString loadedPath;
    Failure failureValue;

    void load(const QString &path) override
    {
        loads << path;
        loadedPath = path;
        failureValue = {};
        setState(State::Playing);
    }
    void stop() override { ++stops; setState(State::Stopped); }
    void play() override { setState(State::Playing); }
    void pause() override { setState(currentState == State::Playing ? State::Paused : currentState); }
    // Kept within 0 .. the song's length (when known), as the real engine does.
    void seek(double seconds) override
    {
        seconds = std::max(0.0, seconds);
        positionValue = durationValue > 0 ? std::min(seconds, durationValue) : seconds;
    }
    void setVolume(int percent) override { m_volume = percent; }
    void setMuted(bool muted) override { m_muted = muted; }
    void setSpeed(double factor) override { m_speed = factor; }

    std::optional<double> position() override { return positionValue; }
    std::optional<QString> title() override { return titleValue; }

    State state() const override { return currentState; }
    double duration() const override { return durationValue; }
    int volume() const override { return m_volume; }
    bool isMuted() const override { return m_muted; }
    double speed() const override { return m_speed; }
    QString path() const override { return loadedPath; }
    Failure failure() const override { return failureValue; }

private:
    // Anything but Empty needs a medium.
    void setState(State s)
    {
        currentState = loadedPath.isEmpty() ? State::Empty : s;
        Q_EMIT stateChanged(currentState);
    }

    int m_volume = DefaultVolume;
    bool m_muted = false;
    double m_speed = 1.0;
};

// Writes a 16-bit mono WAV at 22050 Hz, `seconds` long: silence with a
// voice-like tone (a 170 Hz note and its partials, 30 ms attack, 0.6 s) at
// each of `starts`, where the song analysis finds an onset within 10 ms.
bool writeToneWav(const QString &path, const std::vector<double> &starts, double seconds);

// A test class's main window on fake tools and a fake engine, with its lyrics
// editor: open() makes it afresh (the tools cleared), shows it and says
// whether it became the active window.
struct WindowFixture {
    FakeTools tools;
    FakeEngine *engine = nullptr;
    QPlainTextEdit *editor = nullptr;
    std::unique_ptr<MainWindow> window;
    bool open();
};

// Keys as the X server sends them, stamped on its clock (CLOCK_MONOTONIC in
// ms, cut to 32 bits); stampMsAgo(ms) is that long ago.
ulong stampMsAgo(int ms);
void sendKeyEvent(QWidget *to, QEvent::Type type, int key, Qt::KeyboardModifiers mods, ulong stamp, bool repeat = false);
void sendKey(QWidget *to, int key, Qt::KeyboardModifiers mods, ulong stamp, bool repeat = false);
// A key held down as the X server repeats it: '+' its press, '~' a repeat
// (a release and a press with the same timestamp, not marked as repeats, as
// on a busy machine), '-' its release. The moments are long past: the
// position is read at the press.
void sendHeld(QWidget *to, QChar how, int key, Qt::KeyboardModifiers mods);

// Plays a script of steps parted by spaces into the editor: "@s" sets the
// position the engine reports, "#n" puts the caret on line n, anything else
// is a key ("Alt+Left"): "*" after it makes it an auto-repeat, "+", "~" and
// "-" its press, a repeat and its release (see sendHeld), "!ms" presses it
// that long ago.
void playKeys(QPlainTextEdit *editor, FakeEngine &engine, const QString &script);
// The lines of `text` with the changes given as "line:new text".
QStringList changedLines(const QString &text, const QStringList &changes);

// A file's bytes; none when it cannot be read. writeFile: whole, or false.
QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &bytes);

} // namespace tarvelin::test
