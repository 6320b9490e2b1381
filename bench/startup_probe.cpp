// Linked into a copy of the program (and into the baseline) to time start-up:
// once the first window has been exposed and painted, prints how long it took
// since the launcher started the process, then ends the process at once.
//
// The launcher (startup_runner.cpp) passes its CLOCK_MONOTONIC reading from
// just before posix_spawn as the last argument, "--bench-start-ns=N". The
// program's own main() is compiled unchanged; this file hooks in through
// Q_COREAPP_STARTUP_FUNCTION, which runs inside the QApplication constructor.

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

long long g_startNs = -1;

long long monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

class FirstExposeWatcher : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_seen && event->type() == QEvent::Expose) {
            auto *window = qobject_cast<QWindow *>(watched);
            if (window && window->isTopLevel()) {
                m_seen = true;
                // Let the window handle this expose (paint and flush to the
                // screen) before the clock is read.
                QTimer::singleShot(0, [] {
                    const long long now = monotonicNs();
                    std::printf("shown_ms=%.3f\n", (now - g_startNs) / 1e6);
                    std::fflush(stdout);
                    std::_Exit(0);
                });
            }
        }
        return false;
    }

private:
    bool m_seen = false;
};

void installStartupProbe()
{
    const QStringList args = QCoreApplication::arguments();
    const QString prefix = QStringLiteral("--bench-start-ns=");
    for (const QString &arg : args)
        if (arg.startsWith(prefix))
            g_startNs = arg.mid(prefix.size()).toLongLong();
    if (g_startNs < 0) {
        std::fprintf(stderr, "startup probe: launch with --bench-start-ns=N (use bench_startup_runner)\n");
        std::_Exit(2);
    }
    QCoreApplication::instance()->installEventFilter(new FirstExposeWatcher(QCoreApplication::instance()));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installStartupProbe)
