#include "media/mpvengine.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QMetaObject>

#include <mpv/client.h>

#include <tuple>
#include <utility>
#include <vector>

namespace tarvelin {

namespace {

Q_LOGGING_CATEGORY(lcEngine, "tarvelin.engine", QtInfoMsg)

enum ObservedProperty : uint64_t {
    PropDuration = 1,
    PropAudioPts,
    PropTimePos,
    PropEofReached,
    PropMetadata,
    PropVolume,
    PropMute,
    PropSpeed,
    PropPause,
};

// Logs a failed mpv call; true when it succeeded.
bool check(int result, const char *call, const char *what)
{
    if (result >= 0)
        return true;
    qCDebug(lcEngine, "%s(%s) failed: %s", call, what, mpv_error_string(result));
    return false;
}

MediaEngine::Error errorFromMpv(int error)
{
    switch (error) {
    case MPV_ERROR_LOADING_FAILED:
        return MediaEngine::Error::CannotOpen;
    case MPV_ERROR_UNKNOWN_FORMAT:
        return MediaEngine::Error::UnknownFormat;
    case MPV_ERROR_NOTHING_TO_PLAY:
        return MediaEngine::Error::NoAudio;
    case MPV_ERROR_AO_INIT_FAILED:
        return MediaEngine::Error::AudioOutput;
    case MPV_ERROR_UNSUPPORTED:
        return MediaEngine::Error::Unsupported;
    default:
        return MediaEngine::Error::Other;
    }
}

// What handlePropertyChange hears about.
void observeProperties(mpv_handle *mpv)
{
    const std::tuple<ObservedProperty, const char *, mpv_format> observed[] = {
        {PropDuration, "duration", MPV_FORMAT_DOUBLE},
        {PropAudioPts, "audio-pts", MPV_FORMAT_DOUBLE},
        {PropTimePos, "time-pos", MPV_FORMAT_DOUBLE},
        {PropEofReached, "eof-reached", MPV_FORMAT_FLAG},
        {PropMetadata, "metadata", MPV_FORMAT_NONE},
        {PropVolume, "volume", MPV_FORMAT_DOUBLE},
        {PropMute, "mute", MPV_FORMAT_FLAG},
        {PropSpeed, "speed", MPV_FORMAT_DOUBLE},
        {PropPause, "pause", MPV_FORMAT_FLAG},
    };
    for (const auto &[id, name, format] : observed)
        check(mpv_observe_property(mpv, id, name, format), "mpv_observe_property", name);
}

} // namespace

MpvEngine::MpvEngine(QObject *parent) : MpvEngine(Options(), parent) {}

MpvEngine::MpvEngine(const Options &options, QObject *parent) : MediaEngine(parent)
{
    m_clock.start();
    m_steadyTicks.setTimerType(Qt::PreciseTimer);
    m_steadyTicks.setInterval(std::chrono::milliseconds(40));
    connect(&m_steadyTicks, &QTimer::timeout, this, &MpvEngine::advanceSteady);
    m_mpv = mpv_create();
    if (!m_mpv) {
        qCDebug(lcEngine, "mpv_create failed (is LC_NUMERIC \"C\"?)");
        m_failure.error = Error::EngineUnavailable;
        return;
    }
    const QByteArray ao = options.audioOutput.toUtf8();
    const QByteArray volume = QByteArray::number(DefaultVolume);
    const QByteArray volumeMax = QByteArray::number(MaxVolume);
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
        {"volume-max", volumeMax.constData()},
        {"volume", volume.constData()},
        {"ao", ao.constData()},
    };
    // An option this mpv does not know is logged, not a reason to fail.
    for (const auto &[name, value] : settings)
        check(mpv_set_option_string(m_mpv, name, value), "mpv_set_option_string", name);

    if (!check(mpv_initialize(m_mpv), "mpv_initialize", "")) {
        mpv_terminate_destroy(m_mpv);
        m_mpv = nullptr;
        m_failure.error = Error::EngineUnavailable;
        return;
    }
    // Only ask for mpv's log when someone reads it.
    if (lcEngine().isDebugEnabled())
        check(mpv_request_log_messages(m_mpv, "v"), "mpv_request_log_messages", "v");
    observeProperties(m_mpv);
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
    case MPV_EVENT_FILE_LOADED:
        // A file asked for and not unloaded since (a stop or pause while it
        // was opening leaves it standing at its start).
        if (!m_path.isEmpty()) {
            setState(m_target ? State::Stopped : State::Playing);
            Q_EMIT titleChanged();
        }
        break;
    case MPV_EVENT_END_FILE: {
        const auto *end = static_cast<const mpv_event_end_file *>(event.data);
        if (end && end->reason == MPV_END_FILE_REASON_ERROR) {
            m_target.reset();
            setState(State::Empty);
            fail({errorFromMpv(end->error), m_path, QString::fromUtf8(mpv_error_string(end->error))});
        } else if (m_state != State::Loading || (end && end->reason != MPV_END_FILE_REASON_STOP)) {
            // Not just the previous file making way for the one loading.
            m_target.reset();
            setState(State::Empty);
        }
        Q_EMIT titleChanged();
        Q_EMIT positionChanged(0);
        break;
    }
    case MPV_EVENT_PROPERTY_CHANGE:
        handlePropertyChange(event);
        break;
    case MPV_EVENT_COMMAND_REPLY:
        check(event.error, "mpv_command_async", "reply");
        break;
    case MPV_EVENT_LOG_MESSAGE: {
        const auto *msg = static_cast<const mpv_event_log_message *>(event.data);
        qCDebug(lcEngine, "mpv %s [%s] %s", msg->level, msg->prefix,
                QByteArray(msg->text).trimmed().constData());
        break;
    }
    default:
        break;
    }
}

void MpvEngine::handlePropertyChange(const mpv_event &event)
{
    const auto *prop = static_cast<const mpv_event_property *>(event.data);
    const bool isDouble = prop->format == MPV_FORMAT_DOUBLE && prop->data;
    const bool isFlag = prop->format == MPV_FORMAT_FLAG && prop->data;
    const double number = isDouble ? *static_cast<double *>(prop->data) : 0.0;
    const bool flag = isFlag && *static_cast<int *>(prop->data) != 0;

    switch (event.reply_userdata) {
    case PropDuration:
        m_duration = isDouble ? number : 0.0;
        Q_EMIT durationChanged(m_duration);
        break;
    case PropAudioPts:
    case PropTimePos:
        advanceSteady();
        // Displays show the same position a tag would get.
        Q_EMIT positionChanged(position().value_or(0.0));
        break;
    case PropEofReached:
        if (flag && m_state != State::Empty && m_state != State::Loading && m_state != State::Ended)
            handleEnd();
        break;
    case PropPause:
        // mpv pauses by itself at the end (keep-open). It does not always say
        // that the end was reached: a play from a place at the very end finds
        // the flag already set and no change to report. The values are read
        // afresh, as this change may be older than our own play().
        if (m_state == State::Playing && readFlag("pause") && readFlag("eof-reached"))
            handleEnd();
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
            m_steady.reset();
            m_speed = number;
            Q_EMIT speedChanged(m_speed);
        }
        break;
    default:
        break;
    }
}

void MpvEngine::handleEnd()
{
    // The medium stands at its end, so a tag made a moment late still gets
    // the end rather than the start; play() starts it again.
    double reached = m_duration;
    check(mpv_get_property(m_mpv, "time-pos", MPV_FORMAT_DOUBLE, &reached), "mpv_get_property", "time-pos");
    setPaused(true);
    m_target = reached;
    setState(State::Ended);
    Q_EMIT positionChanged(reached);
    // A file cut short still opens, and its header still claims the full
    // length; the only sign is that playback ends long before it.
    if (m_duration > 0 && m_duration - reached > qMax(2.0, 0.05 * m_duration)) {
        fail({Error::Truncated, m_path, {}, reached, m_duration});
    }
}

bool MpvEngine::readFlag(const char *name) const
{
    int flag = 0;
    return m_mpv && mpv_get_property(m_mpv, name, MPV_FORMAT_FLAG, &flag) >= 0 && flag;
}

bool MpvEngine::standsAtEnd() const
{
    if (m_state == State::Ended)
        return true;
    // A seek to the end leaves nothing to play: mpv would only pause there
    // again, and does not always say so.
    return (m_state == State::Paused || m_state == State::Stopped) && m_target && m_duration > 0
           && *m_target >= m_duration - EndSlackSeconds;
}

void MpvEngine::fail(const Failure &failure)
{
    m_failure = failure;
    qCDebug(lcEngine) << "failure:" << failure.error << failure.path << failure.detail;
    Q_EMIT errorOccurred(m_failure);
}

bool MpvEngine::command(std::initializer_list<const char *> args)
{
    if (!m_mpv)
        return false;
    std::vector<const char *> argv(args);
    argv.push_back(nullptr);
    return check(mpv_command_async(m_mpv, 0, argv.data()), "mpv_command_async", argv.front());
}

bool MpvEngine::seekTo(double seconds)
{
    m_steady.reset();
    const QByteArray target = QByteArray::number(seconds, 'f', 6);
    return command({"seek", target.constData(), "absolute+exact"});
}

bool MpvEngine::setPaused(bool paused)
{
    int flag = paused ? 1 : 0;
    return m_mpv && check(mpv_set_property(m_mpv, "pause", MPV_FORMAT_FLAG, &flag), "mpv_set_property", "pause");
}

void MpvEngine::setState(State state)
{
    m_steady.reset();
    if (state == State::Playing)
        m_steadyTicks.start();
    else
        m_steadyTicks.stop();
    if (state != m_state) {
        m_state = state;
        Q_EMIT stateChanged(state);
    }
}

void MpvEngine::load(const QString &path)
{
    if (!m_mpv) {
        Q_EMIT errorOccurred(m_failure);
        return;
    }
    m_path = path;
    m_failure = {};
    m_target.reset();
    const QFileInfo info(path);
    // The tags are read once here: mpv takes Latin-1 tags at their word,
    // which garbles the GBK titles of older Chinese MP3s.
    m_tags = info.isFile() ? readSongTags(info.absoluteFilePath()) : SongTags();
    if (!path.isEmpty() && info.isFile()) {
        // A new medium starts playing as soon as it is open.
        setPaused(false);
        setState(State::Loading);
        const QByteArray file = info.absoluteFilePath().toUtf8();
        command({"loadfile", file.constData(), "replace"});
    } else {
        command({"stop"});
        setState(State::Empty);
        if (!path.isEmpty())
            fail({info.exists() ? Error::NotAFile : Error::FileMissing, path, {}});
    }
    Q_EMIT titleChanged();
}

void MpvEngine::stop()
{
    if (m_state == State::Empty)
        return;
    setPaused(true);
    m_target = 0.0;
    if (m_state != State::Loading) {
        seekTo(0);
        setState(State::Stopped);
    }
    Q_EMIT positionChanged(0);
}

void MpvEngine::play()
{
    if (m_state == State::Empty || m_state == State::Playing)
        return;
    // From the end, the song starts again.
    if (standsAtEnd())
        seekTo(0);
    m_target.reset();
    setPaused(false);
    if (m_state != State::Loading)
        setState(State::Playing);
}

void MpvEngine::pause()
{
    if (m_state == State::Loading) {
        stop(); // nothing played yet: stand at the start
    } else if (m_state == State::Playing) {
        // Stand where the listener stopped hearing, whatever the speed is
        // changed to before playing on.
        m_target = position();
        setPaused(true);
        setState(State::Paused);
    }
}

void MpvEngine::seek(double seconds)
{
    if (m_state == State::Empty || m_state == State::Loading)
        return;
    seconds = qMax(0.0, seconds);
    if (m_duration > 0)
        seconds = qMin(seconds, m_duration);
    if (!seekTo(seconds))
        return;
    if (m_state != State::Playing) {
        // mpv reports where its decoder stands after a paused seek, which can
        // be a little before the target; playback goes on from the target.
        m_target = seconds;
        setState(seconds > 0 || m_state == State::Paused ? State::Paused : State::Stopped);
    }
}

void MpvEngine::setVolume(int percent)
{
    double v = qBound(0, percent, MaxVolume);
    if (m_mpv)
        check(mpv_set_property(m_mpv, "volume", MPV_FORMAT_DOUBLE, &v), "mpv_set_property", "volume");
}

void MpvEngine::setMuted(bool muted)
{
    int flag = muted ? 1 : 0;
    if (m_mpv)
        check(mpv_set_property(m_mpv, "mute", MPV_FORMAT_FLAG, &flag), "mpv_set_property", "mute");
}

void MpvEngine::setSpeed(double factor)
{
    if (!m_mpv)
        return;
    double v = qBound(MinSpeed, factor, MaxSpeed);
    check(mpv_set_property_string(m_mpv, "af", qFuzzyCompare(v, 1.0) ? "" : StretchFilter),
          "mpv_set_property_string", "af");
    check(mpv_set_property(m_mpv, "speed", MPV_FORMAT_DOUBLE, &v), "mpv_set_property", "speed");
    // mpv counts the sound it holds back while paused at the new speed, though
    // it was made at the old one, and plays on from a place off by that much
    // times the change (0.4 s from 1x to 2x). Going back to the paused place
    // drops that sound, so playback goes on from where the listener stopped.
    if (m_target && (m_state == State::Paused || m_state == State::Stopped))
        seekTo(*m_target);
}

std::optional<double> MpvEngine::readMpvPosition() const
{
    // Read now rather than use the last observed value. While playing,
    // audio-pts is the sample the sound server plays at this very moment,
    // its buffer accounted for; just after a seek only time-pos may be known.
    double value = 0;
    if (m_state == State::Playing && mpv_get_property(m_mpv, "audio-pts", MPV_FORMAT_DOUBLE, &value) >= 0)
        return value;
    if (mpv_get_property(m_mpv, "time-pos", MPV_FORMAT_DOUBLE, &value) >= 0)
        return value;
    return std::nullopt;
}

void MpvEngine::advanceSteady()
{
    if (!m_mpv || m_state != State::Playing || m_target)
        return;
    if (const std::optional<double> value = readMpvPosition())
        m_steady.advance(*value, m_clock.nsecsElapsed() / 1e9, m_speed);
}

std::optional<double> MpvEngine::position()
{
    if (!m_mpv)
        return std::nullopt;
    if (m_state == State::Empty || m_state == State::Loading)
        return 0.0;
    if (m_target)
        return *m_target;
    const std::optional<double> value = readMpvPosition();
    if (!value || m_state != State::Playing)
        return value ? std::optional(qMax(0.0, *value)) : std::nullopt;
    // Only read here: the filter moves on with the engine's ticks alone. The
    // time stretcher's lag comes off what it gives.
    const double now = m_clock.nsecsElapsed() / 1e9;
    return heardPosition(m_steady.read(*value, now, m_speed), m_speed);
}

std::optional<QString> MpvEngine::title()
{
    if (!m_mpv)
        return std::nullopt;
    if (m_state == State::Empty || m_state == State::Loading)
        return QString();
    QString title = m_tags.title.trimmed();
    if (title.isEmpty()) {
        if (char *tag = mpv_get_property_string(m_mpv, "metadata/by-key/title")) {
            title = QString::fromUtf8(tag).trimmed();
            mpv_free(tag);
        }
    }
    if (title.isEmpty() || title.contains(QChar::ReplacementCharacter))
        title = QFileInfo(m_path).completeBaseName();
    return title;
}

} // namespace tarvelin
