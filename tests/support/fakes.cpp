#include "fakes.h"

#include "window/mainwindow.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QKeySequence>
#include <QTest>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <numbers>

#include <ctime>

namespace tarvelin::test {

PlatformTools::RestoreAnswer FakeTools::askRestoreLyrics(QWidget *parent, const QString &details)
{
    restoreQuestions << details;
    restoreParents << parent;
    const QWindow *window = parent ? parent->window()->windowHandle() : nullptr;
    restoreParentsShown << (window && window->isExposed());
    return take(restoreAnswers, RestoreAnswer::Later);
}

bool writeToneWav(const QString &path, const std::vector<double> &starts, double seconds)
{
    constexpr int rate = 22050;
    std::vector<double> x(std::size_t(seconds * rate));
    for (double t0 : starts) {
        const auto first = std::size_t(std::lround(t0 * rate));
        for (std::size_t i = 0; i < std::size_t(0.6 * rate) && first + i < x.size(); ++i) {
            const double t = double(i) / rate;
            double v = 0;
            for (int k = 1; k * 170 < 3500; ++k)
                v += std::sin(2 * std::numbers::pi * k * 170 * t + k) / k;
            x[first + i] += 0.25 * std::min(1.0, t / 0.03) * std::exp(-t * 2) * v;
        }
    }
    QByteArray data;
    for (double v : x) {
        const auto s = qint16(std::lround(std::clamp(v, -1.0, 1.0) * 32767));
        data.append(char(s & 0xff)).append(char((s >> 8) & 0xff));
    }
    const auto u32 = [](quint32 v) { return QByteArray(reinterpret_cast<const char *>(&v), 4); };
    const auto u16 = [](quint16 v) { return QByteArray(reinterpret_cast<const char *>(&v), 2); };
    QFile f(path);
    return f.open(QIODevice::WriteOnly)
        && f.write("RIFF" + u32(quint32(36 + data.size())) + "WAVEfmt " + u32(16) + u16(1) + u16(1) + u32(rate)
                   + u32(rate * 2) + u16(2) + u16(16) + "data" + u32(quint32(data.size())) + data)
               > 0;
}

bool WindowFixture::open()
{
    window.reset();
    tools = {};
    auto fake = std::make_unique<FakeEngine>();
    engine = fake.get();
    window = std::make_unique<MainWindow>(tools, std::move(fake));
    editor = window->findChild<QPlainTextEdit *>(QStringLiteral("Text3"));
    window->show();
    return editor && QTest::qWaitForWindowActive(window.get());
}

ulong stampMsAgo(int ms)
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return quint32(qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000 - ms);
}

void sendKeyEvent(QWidget *to, QEvent::Type type, int key, Qt::KeyboardModifiers mods, ulong stamp, bool repeat)
{
    const bool letter = key == Qt::Key_Space || (key >= Qt::Key_A && key <= Qt::Key_Z && !mods);
    QKeyEvent event(type, key, mods, letter ? QString(QChar(key).toLower()) : QString(), repeat);
    event.setTimestamp(stamp);
    QApplication::sendEvent(to, &event);
}

void sendKey(QWidget *to, int key, Qt::KeyboardModifiers mods, ulong stamp, bool repeat)
{
    sendKeyEvent(to, QEvent::KeyPress, key, mods, stamp, repeat);
    sendKeyEvent(to, QEvent::KeyRelease, key, mods, 0, repeat);
}

void sendHeld(QWidget *to, QChar how, int key, Qt::KeyboardModifiers mods)
{
    static ulong stamp = 1;
    ++stamp;
    if (how != u'+')
        sendKeyEvent(to, QEvent::KeyRelease, key, mods, stamp);
    if (how != u'-')
        sendKeyEvent(to, QEvent::KeyPress, key, mods, stamp);
}

void playKeys(QPlainTextEdit *editor, FakeEngine &engine, const QString &script)
{
    for (const QString &step : script.split(u' ', Qt::SkipEmptyParts)) {
        if (step.startsWith(u'@')) {
            engine.positionValue = step.mid(1).toDouble();
        } else if (step.startsWith(u'#')) {
            editor->setTextCursor(QTextCursor(editor->document()->findBlockByNumber(step.mid(1).toInt())));
        } else {
            const QChar how = step.back();
            const bool held = step.size() > 1 && QStringLiteral("+~-").contains(how);
            const QString name = step.section(u'!', 0, 0);
            const QKeySequence key(held || how == u'*' ? step.chopped(1) : name);
            const int ago = name == step ? -1 : step.section(u'!', 1).toInt();
            if (held)
                sendHeld(editor, how, key[0].key(), key[0].keyboardModifiers());
            else
                sendKey(editor, key[0].key(), key[0].keyboardModifiers(), ago < 0 ? 0 : stampMsAgo(ago), how == u'*');
        }
    }
}

QStringList changedLines(const QString &text, const QStringList &changes)
{
    QStringList lines = text.split(u'\n');
    for (const QString &change : changes)
        lines[change.section(u':', 0, 0).toInt()] = change.section(u':', 1);
    return lines;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace tarvelin::test
