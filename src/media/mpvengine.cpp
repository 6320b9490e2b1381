#include "media/mpvengine.h"

#include "core/positiontext.h"

#include <QFileInfo>
#include <QMetaObject>

#include <mpv/client.h>

#include <clocale>
#include <iterator>
#include <vector>

namespace tarvelin {

namespace {

enum ObservedProperty : uint64_t {
    PropPause = 1,
    PropDuration,
    PropAudioPts,
    PropTimePos,
    PropEofReached,
    PropMetadata,
    PropVolume,
    PropMute,
    PropSpeed,
};

// Away from normal speed mpv's time stretcher keeps the pitch. Its default
// 20 ms windows searched over 30 ms make the sound wander around audio-pts by
// up to 20 ms; 10 ms windows searched over 5 ms keep it within about a
// millisecond of a lag that depends on the speed alone. position() takes
// that lag off. Measured with bench/tag_error.sh (mean lag, ms).
const char *const StretchFilter = "scaletempo2=search-interval=5:window-size=10";
struct StretchLag {
    double speed;
    double seconds;
};
constexpr StretchLag StretchLags[] = {
    {0.5, 0.0019}, {0.75, 0.0054}, {1.25, 0.0144}, {1.5, 0.0190}, {2.0, 0.0215},
};

double stretchLag(double speed)
{
    if (qFuzzyCompare(speed, 1.0))
        return 0.0; // no stretcher at normal speed
    const auto *first = std::begin(StretchLags);
    const auto *last = std::end(StretchLags) - 1;
    if (speed <= first->speed)
        return first->seconds;
    if (speed >= last->speed)
        return last->seconds;
    for (const auto *p = first; p != last; ++p) {
        const StretchLag &a = p[0], &b = p[1];
        if (speed <= b.speed)
            return a.seconds + (b.seconds - a.seconds) * (speed - a.speed) / (b.speed - a.speed);
    }
    return last->seconds;
}

QString describeMpvError(int error)
{
    switch (error) {
    case MPV_ERROR_LOADING_FAILED:
        return QStringLiteral("文件无法打开或已损坏");
    case MPV_ERROR_UNKNOWN_FORMAT:
        return QStringLiteral("无法识别的文件格式");
    case MPV_ERROR_NOTHING_TO_PLAY:
        return QStringLiteral("文件中没有可播放的音频");
    case MPV_ERROR_AO_INIT_FAILED:
        return QStringLiteral("无法打开音频输出");
    case MPV_ERROR_UNSUPPORTED:
        return QStringLiteral("不支持的格式");
    default:
        return QString::fromUtf8(mpv_error_string(error));
    }
}

} // namespace

MpvEngine::MpvEngine(QObject *parent) : MpvEngine(Options(), parent) {}

MpvEngine::MpvEngine(const Options &options, QObject *parent) : MediaEngine(parent)
{
    // mpv refuses to start unless numbers are formatted the C way.
    std::setlocale(LC_NUMERIC, "C");
    m_mpv = mpv_create();
    if (!m_mpv) {
        m_error = QStringLiteral("无法启动播放引擎");
        m_state = State::Empty;
        return;
    }
    const QByteArray ao = options.audioOutput.toUtf8();
    const std::pair<const char *, const char *> settings[] = {
        {"config", "no"},
        {"terminal", "no"},
        {"input-default-bindings", "no"},
        {"input-vo-keyboard", "no"},
        {"vid", "no"},
        {"audio-display", "no"},
        {"force-window", "no"},
        {"osc", "no"},
        {"ytdl", "no"},
        {"load-scripts", "no"},
        {"idle", "yes"},
        {"keep-open", "yes"},
        {"hr-seek", "yes"},
        {"audio-pitch-correction", "yes"},
        {"audio-client-name", "Tarvelin"},
        {"volume-max", "100"},
        {"volume", "50"},
        {"ao", ao.constData()},
    };
    for (const auto &[name, value] : settings)
        mpv_set_option_string(m_mpv, name, value); // an unknown option is no reason to fail

    if (mpv_initialize(m_mpv) < 0) {
        mpv_terminate_destroy(m_mpv);
        m_mpv = nullptr;
        m_error = QStringLiteral("无法启动播放引擎");
        return;
    }
    mpv_observe_property(m_mpv, PropPause, "pause", MPV_FORMAT_FLAG);
    mpv_observe_property(m_mpv, PropDuration, "duration", MPV_FORMAT_DOUBLE);
    mpv_observe_property(m_mpv, PropAudioPts, "audio-pts", MPV_FORMAT_DOUBLE);
    mpv_observe_property(m_mpv, PropTimePos, "time-pos", MPV_FORMAT_DOUBLE);
    mpv_observe_property(m_mpv, PropEofReached, "eof-reached", MPV_FORMAT_FLAG);
    mpv_observe_property(m_mpv, PropMetadata, "metadata", MPV_FORMAT_NONE);
    mpv_observe_property(m_mpv, PropVolume, "volume", MPV_FORMAT_DOUBLE);
    mpv_observe_property(m_mpv, PropMute, "mute", MPV_FORMAT_FLAG);
    mpv_observe_property(m_mpv, PropSpeed, "speed", MPV_FORMAT_DOUBLE);
    mpv_set_wakeup_callback(m_mpv, &MpvEngine::wakeup, this);
}

MpvEngine::~MpvEngine()
{
    if (m_mpv) {
        mpv_set_wakeup_callback(m_mpv, nullptr, nullptr);
        mpv_terminate_destroy(m_mpv);
    }
}

void MpvEngine::wakeup(void *context)
{
    // Called on one of mpv's threads: only hand the work to the GUI thread,
    // once, however often mpv calls.
    auto *self = static_cast<MpvEngine *>(context);
    if (!self->m_wakeupPending.exchange(true))
        QMetaObject::invokeMethod(self, &MpvEngine::drainEvents, Qt::QueuedConnection);
}

void MpvEngine::drainEvents()
{
    m_wakeupPending = false;
    if (!m_mpv)
        return;
    for (;;) {
        const mpv_event *event = mpv_wait_event(m_mpv, 0);
        if (event->event_id == MPV_EVENT_NONE)
            break;
        handleEvent(*event);
    }
}

void MpvEngine::handleEvent(const mpv_event &event)
{
    switch (event.event_id) {
    case MPV_EVENT_START_FILE:
        m_loading = true;
        break;
    case MPV_EVENT_FILE_LOADED:
        m_loading = false;
        m_hasFile = true;
        Q_EMIT titleChanged();
        break;
    case MPV_EVENT_END_FILE: {
        const auto *end = static_cast<const mpv_event_end_file *>(event.data);
        m_hasFile = false;
        if (end && end->reason == MPV_END_FILE_REASON_ERROR) {
            m_loading = false;
            fail(describeMpvError(end->error));
        } else if (end && end->reason != MPV_END_FILE_REASON_STOP) {
            m_loading = false;
        }
        Q_EMIT titleChanged();
        Q_EMIT positionChanged(0);
        break;
    }
    case MPV_EVENT_PROPERTY_CHANGE:
        handlePropertyChange(event);
        break;
    default:
        break;
    }
    updateState();
}

void MpvEngine::handlePropertyChange(const mpv_event &event)
{
    const auto *prop = static_cast<const mpv_event_property *>(event.data);
    const bool isDouble = prop->format == MPV_FORMAT_DOUBLE && prop->data;
    const bool isFlag = prop->format == MPV_FORMAT_FLAG && prop->data;
    const double number = isDouble ? *static_cast<double *>(prop->data) : 0.0;
    const bool flag = isFlag && *static_cast<int *>(prop->data) != 0;

    switch (event.reply_userdata) {
    case PropPause:
        m_paused = flag;
        break;
    case PropDuration:
        m_duration = isDouble ? number : 0.0;
        Q_EMIT durationChanged(m_duration);
        break;
    case PropAudioPts:
    case PropTimePos:
        // Displays show the same position a tag would get.
        Q_EMIT positionChanged(position().value_or(0.0));
        break;
    case PropEofReached:
        // Each medium plays once: at its end the player stops and goes back
        // to the start, ready to be played again.
        if (flag && m_hasFile) {
            reportEarlyEnd();
            stop();
        }
        break;
    case PropMetadata:
        Q_EMIT titleChanged();
        break;
    case PropVolume:
        if (isDouble && int(number + 0.5) != m_volume) {
            m_volume = int(number + 0.5);
            Q_EMIT volumeChanged(m_volume);
        }
        break;
    case PropMute:
        if (isFlag && flag != m_muted) {
            m_muted = flag;
            Q_EMIT mutedChanged(m_muted);
        }
        break;
    case PropSpeed:
        if (isDouble && !qFuzzyCompare(number, m_speed)) {
            m_speed = number;
            Q_EMIT speedChanged(m_speed);
        }
        break;
    default:
        break;
    }
}

void MpvEngine::reportEarlyEnd()
{
    // A file cut short still opens, and its header still claims the full
    // length; the only sign is that playback ends long before it.
    double reached = -1;
    if (mpv_get_property(m_mpv, "time-pos", MPV_FORMAT_DOUBLE, &reached) < 0 || m_duration <= 0)
        return;
    if (m_duration - reached > qMax(2.0, 0.05 * m_duration))
        fail(QStringLiteral("文件不完整，只能播放到 %1（应有 %2）")
                 .arg(formatPosition(reached), formatPosition(m_duration)));
}

void MpvEngine::fail(const QString &reason)
{
    const QString name = QFileInfo(m_path).fileName();
    m_error = name.isEmpty() ? reason : QStringLiteral("无法播放“%1”：%2").arg(name, reason);
    Q_EMIT errorOccurred(m_error);
}

void MpvEngine::command(std::initializer_list<const char *> args)
{
    if (!m_mpv)
        return;
    std::vector<const char *> argv(args);
    argv.push_back(nullptr);
    mpv_command_async(m_mpv, 0, argv.data());
}

void MpvEngine::setPaused(bool paused)
{
    if (!m_mpv)
        return;
    int flag = paused ? 1 : 0;
    mpv_set_property(m_mpv, "pause", MPV_FORMAT_FLAG, &flag);
    m_paused = paused;
}

void MpvEngine::load(const QString &path)
{
    if (!m_mpv) {
        Q_EMIT errorOccurred(m_error);
        return;
    }
    m_path = path;
    m_error.clear();
    m_atStart = false;
    m_pausedAt.reset();
    if (path.isEmpty()) {
        m_loading = false;
        command({"stop"});
    } else {
        const QFileInfo info(path);
        if (!info.exists()) {
            command({"stop"});
            m_loading = false;
            fail(QStringLiteral("文件不存在"));
        } else if (!info.isFile()) {
            command({"stop"});
            m_loading = false;
            fail(QStringLiteral("这不是一个文件"));
        } else {
            // A new medium starts playing as soon as it is open.
            setPaused(false);
            m_loading = true;
            const QByteArray file = info.absoluteFilePath().toUtf8();
            command({"loadfile", file.constData(), "replace"});
        }
    }
    Q_EMIT titleChanged();
    updateState();
}

void MpvEngine::stop()
{
    setPaused(true);
    m_atStart = true;
    m_pausedAt = 0.0;
    if (m_hasFile)
        command({"seek", "0", "absolute+exact"});
    Q_EMIT positionChanged(0);
    updateState();
}

void MpvEngine::play()
{
    if (!m_hasFile && !m_loading)
        return;
    m_atStart = false;
    m_pausedAt.reset();
    setPaused(false);
    updateState();
}

void MpvEngine::pause()
{
    if (!m_hasFile && !m_loading)
        return;
    m_pausedAt.reset();
    setPaused(true);
    updateState();
}

void MpvEngine::seek(double seconds)
{
    if (!m_hasFile)
        return;
    seconds = qMax(0.0, seconds);
    if (m_duration > 0)
        seconds = qMin(seconds, m_duration);
    const QByteArray target = QByteArray::number(seconds, 'f', 6);
    command({"seek", target.constData(), "absolute+exact"});
    if (m_paused)
        m_pausedAt = seconds;
    else
        m_pausedAt.reset();
    if (seconds > 0)
        m_atStart = false;
    updateState();
}

void MpvEngine::setVolume(int percent)
{
    if (!m_mpv)
        return;
    double v = qBound(0, percent, 100);
    mpv_set_property(m_mpv, "volume", MPV_FORMAT_DOUBLE, &v);
}

void MpvEngine::setMuted(bool muted)
{
    if (!m_mpv)
        return;
    int flag = muted ? 1 : 0;
    mpv_set_property(m_mpv, "mute", MPV_FORMAT_FLAG, &flag);
}

void MpvEngine::setSpeed(double factor)
{
    if (!m_mpv)
        return;
    double v = qBound(0.25, factor, 4.0);
    mpv_set_property_string(m_mpv, "af", qFuzzyCompare(v, 1.0) ? "" : StretchFilter);
    mpv_set_property(m_mpv, "speed", MPV_FORMAT_DOUBLE, &v);
}

std::optional<double> MpvEngine::position()
{
    if (!m_mpv)
        return std::nullopt;
    if (!m_hasFile)
        return 0.0;
    // Read now rather than use the last observed value. While playing,
    // audio-pts is the sample the sound server plays at this very moment,
    // its buffer accounted for. While paused nothing is heard and the exact
    // playback position is time-pos (audio-pts may still describe the audio
    // from before a seek). After a seek while paused mpv reports where its
    // decoder stands, which can be a little before the target; the target
    // is where playback will resume, so that is the position.
    int paused = 0;
    mpv_get_property(m_mpv, "pause", MPV_FORMAT_FLAG, &paused);
    if (paused && m_pausedAt)
        return *m_pausedAt;
    const char *order[] = {"audio-pts", "time-pos"};
    if (paused)
        std::swap(order[0], order[1]);
    for (const char *name : order) {
        double value = 0;
        if (mpv_get_property(m_mpv, name, MPV_FORMAT_DOUBLE, &value) >= 0) {
            if (!paused)
                value -= stretchLag(m_speed);
            return qMax(0.0, value);
        }
    }
    return std::nullopt;
}

std::optional<QString> MpvEngine::title()
{
    if (!m_mpv)
        return std::nullopt;
    if (!m_hasFile)
        return QString();
    QString title;
    if (char *tag = mpv_get_property_string(m_mpv, "metadata/by-key/title")) {
        title = QString::fromUtf8(tag).trimmed();
        mpv_free(tag);
    }
    if (title.isEmpty())
        title = QFileInfo(m_path).completeBaseName();
    return title;
}

MediaEngine::State MpvEngine::state() const
{
    return m_state;
}

void MpvEngine::updateState()
{
    State s;
    if (m_hasFile)
        s = !m_paused ? State::Playing : (m_atStart ? State::Stopped : State::Paused);
    else
        s = m_loading ? State::Loading : State::Empty;
    if (s != m_state) {
        m_state = s;
        Q_EMIT stateChanged(s);
    }
}

} // namespace tarvelin
