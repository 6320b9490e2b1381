#include "analysis/songdecoder.h"

#include <QFile>

#include <cmath>
#include <memory>
#include <optional>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace tarvelin {

namespace {

struct FormatCloser {
    void operator()(AVFormatContext *p) const { avformat_close_input(&p); }
};
struct CodecFreer {
    void operator()(AVCodecContext *p) const { avcodec_free_context(&p); }
};
struct ResamplerFreer {
    void operator()(SwrContext *p) const { swr_free(&p); }
};
struct PacketFreer {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct FrameFreer {
    void operator()(AVFrame *p) const { av_frame_free(&p); }
};

QString avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

int interrupted(void *stop)
{
    return static_cast<const std::stop_token *>(stop)->stop_requested() ? 1 : 0;
}

// A frame this far from where the frames before it end moves the rest of the
// song to its timestamp, as mpv and ffmpeg resynchronise there; closer, it
// continues them: such differences are jitter in the timestamps, not in the
// sound (Ogg Vorbis stamps a few frames 9 ms late at block-size changes;
// ASF and RealMedia stamp in whole milliseconds).
constexpr double MaxDrift = 0.100;
// Further than this, a timestamp is taken as broken and the audio runs on.
constexpr double MaxJump = 60.0;

class Decoder {
public:
    Decoder(std::stop_token stop, const DecodeSink &sink)
        : m_stop(std::move(stop))
        , m_sink(sink)
    {
    }
    ~Decoder() { av_channel_layout_uninit(&m_inLayout); }
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    DecodeResult run(const QString &path);

private:
    DecodeResult fail(const QString &why)
    {
        return {m_stop.stop_requested() ? DecodeResult::Outcome::Cancelled : DecodeResult::Outcome::Failed,
                why, m_written};
    }
    // Opens the song and its decoder; why not, or nothing when it is open.
    std::optional<QString> open(const QString &path);
    DecodeResult decodePackets();
    bool receiveFrames();
    bool takeFrame(const AVFrame *frame);
    bool openResampler(const AVFrame *frame);
    void place(const AVFrame *frame);
    void convert(const AVFrame *frame);

    std::stop_token m_stop;
    const DecodeSink &m_sink;
    std::unique_ptr<AVFormatContext, FormatCloser> m_format;
    std::unique_ptr<AVCodecContext, CodecFreer> m_codec;
    std::unique_ptr<SwrContext, ResamplerFreer> m_resampler;
    std::unique_ptr<AVFrame, FrameFreer> m_frame{av_frame_alloc()};
    AVStream *m_stream = nullptr;
    double m_start = 0;       // the container's start time: song time 0
    int m_inRate = 0;         // the resampler's input format
    int m_inFormat = -1;
    AVChannelLayout m_inLayout{};
    std::vector<float> m_out;  // left and right interleaved
    std::vector<float> m_mono;
    std::int64_t m_written = 0; // samples given to the sink
    std::int64_t m_frames = 0;  // frames decoded
    QString m_resamplerError;
};

DecodeResult Decoder::run(const QString &path)
{
    if (const std::optional<QString> why = open(path))
        return fail(*why);
    const AVFormatContext *format = m_format.get();
    if (m_sink.opened)
        m_sink.opened(format->duration != AV_NOPTS_VALUE && format->duration > 0
                          ? double(format->duration) / AV_TIME_BASE
                          : 0.0);
    return decodePackets();
}

std::optional<QString> Decoder::open(const QString &path)
{
    AVFormatContext *format = avformat_alloc_context();
    if (!format)
        return QStringLiteral("out of memory");
    format->interrupt_callback = {&interrupted, &m_stop};
    // "file:" keeps a colon in a file name from reading as a protocol.
    const QByteArray url = "file:" + QFile::encodeName(path);
    int err = avformat_open_input(&format, url.constData(), nullptr, nullptr);
    if (err < 0)
        return avError(err);
    m_format.reset(format);
    if ((err = avformat_find_stream_info(format, nullptr)) < 0)
        return avError(err);
    const AVCodec *codec = nullptr;
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (index < 0 || !codec)
        return index == AVERROR_DECODER_NOT_FOUND ? QStringLiteral("no decoder for its audio")
                                                  : QStringLiteral("no audio stream");
    m_stream = format->streams[index];
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (int(i) != index)
            format->streams[i]->discard = AVDISCARD_ALL;
    }
    // mpv rebases every timestamp on the container's start time.
    if (format->start_time != AV_NOPTS_VALUE)
        m_start = double(format->start_time) / AV_TIME_BASE;

    m_codec.reset(avcodec_alloc_context3(codec));
    if (!m_codec || avcodec_parameters_to_context(m_codec.get(), m_stream->codecpar) < 0)
        return QStringLiteral("cannot set up the decoder");
    m_codec->pkt_timebase = m_stream->time_base;
    if ((err = avcodec_open2(m_codec.get(), codec, nullptr)) < 0)
        return avError(err);
    return std::nullopt;
}

DecodeResult Decoder::decodePackets()
{
    std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    if (!packet || !m_frame)
        return fail(QStringLiteral("out of memory"));
    for (;;) {
        if (m_stop.stop_requested())
            return fail({});
        if (av_read_frame(m_format.get(), packet.get()) < 0)
            break; // the end, or as far as the file can be read: as a player does
        if (packet->stream_index == m_stream->index) {
            // A damaged packet is skipped, as a player skips it.
            avcodec_send_packet(m_codec.get(), packet.get());
            if (!receiveFrames())
                return fail(m_resamplerError);
        }
        av_packet_unref(packet.get());
    }
    if (m_stop.stop_requested())
        return fail({});
    avcodec_send_packet(m_codec.get(), nullptr);
    if (!receiveFrames())
        return fail(m_resamplerError);
    if (m_frames == 0)
        return fail(QStringLiteral("no audio could be decoded"));
    convert(nullptr);
    return {DecodeResult::Outcome::Finished, {}, m_written};
}

bool Decoder::receiveFrames()
{
    AVFrame *frame = m_frame.get();
    while (avcodec_receive_frame(m_codec.get(), frame) >= 0) {
        const bool ok = takeFrame(frame);
        av_frame_unref(frame);
        if (!ok)
            return false;
    }
    return true;
}

bool Decoder::takeFrame(const AVFrame *frame)
{
    if (frame->nb_samples <= 0 || frame->sample_rate <= 0 || frame->ch_layout.nb_channels <= 0)
        return true;
    if (!m_resampler || frame->sample_rate != m_inRate || frame->format != m_inFormat
        || av_channel_layout_compare(&frame->ch_layout, &m_inLayout) != 0) {
        if (m_resampler)
            convert(nullptr); // what the old format left in the resampler comes first
        if (!openResampler(frame))
            return false;
    }
    ++m_frames;
    place(frame);
    convert(frame);
    return true;
}

bool Decoder::openResampler(const AVFrame *frame)
{
    m_resampler.reset();
    av_channel_layout_uninit(&m_inLayout);
    if (av_channel_layout_copy(&m_inLayout, &frame->ch_layout) < 0)
        return false;
    m_inRate = frame->sample_rate;
    m_inFormat = frame->format;
    SwrContext *swr = nullptr;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    int err = swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_FLT, AnalysisRate, &m_inLayout,
                                  AVSampleFormat(m_inFormat), m_inRate, 0, nullptr);
    m_resampler.reset(swr);
    if (err >= 0) {
        // Two channels stay as they are; one goes to both; more give their
        // mean to both: a waveform that never clips, whatever the layout
        // (the standard downmix adds stereo up to 1.41).
        const int channels = m_inLayout.nb_channels;
        std::vector<double> matrix(std::size_t(2 * channels), channels == 2 ? 0.0 : 1.0 / channels);
        if (channels == 2)
            matrix[0] = matrix[3] = 1.0;
        err = swr_set_matrix(swr, matrix.data(), channels);
    }
    if (err >= 0)
        err = swr_init(swr);
    if (err < 0) {
        m_resamplerError = avError(err);
        return false;
    }
    return true;
}

// Moves the resampler so the frame comes out at its timestamp: the first
// frame exactly, later ones only when they drift by more than MaxDrift.
void Decoder::place(const AVFrame *frame)
{
    const std::int64_t stamp = frame->best_effort_timestamp;
    if (stamp == AV_NOPTS_VALUE)
        return;
    const double at = double(stamp) * av_q2d(m_stream->time_base) - m_start;
    const bool first = m_frames == 1;
    // Where the frame would come out, in song seconds.
    const double now = double(m_written + swr_get_delay(m_resampler.get(), AnalysisRate)) / AnalysisRate;
    const double drift = at - now;
    if (std::abs(drift) > MaxJump || (!first && std::abs(drift) <= MaxDrift))
        return;
    if (drift > 0)
        swr_inject_silence(m_resampler.get(), int(std::llround(drift * m_inRate)));
    else if (drift < 0)
        swr_drop_output(m_resampler.get(), int(std::llround(-drift * AnalysisRate)));
}

// Resamples a frame, or with none drains the resampler, into the sink.
void Decoder::convert(const AVFrame *frame)
{
    SwrContext *swr = m_resampler.get();
    if (!swr)
        return;
    for (;;) {
        const int room = swr_get_out_samples(swr, frame ? frame->nb_samples : 0) + 64;
        if (m_out.size() < 2 * std::size_t(room)) {
            m_out.resize(2 * std::size_t(room));
            m_mono.resize(std::size_t(room));
        }
        auto *out = reinterpret_cast<uint8_t *>(m_out.data());
        const int n = frame ? swr_convert(swr, &out, room, const_cast<const uint8_t **>(frame->extended_data),
                                          frame->nb_samples)
                            : swr_convert(swr, &out, room, nullptr, 0);
        if (n > 0) {
            if (m_sink.stereo)
                m_sink.stereo(m_out.data(), std::size_t(n));
            for (int i = 0; i < n; ++i)
                m_mono[std::size_t(i)] = 0.5f * (m_out[2 * std::size_t(i)] + m_out[2 * std::size_t(i) + 1]);
            m_sink.samples(m_mono.data(), std::size_t(n));
            m_written += n;
        }
        if (frame || n <= 0)
            return;
    }
}

} // namespace

DecodeResult decodeSong(const QString &path, std::stop_token stop, const DecodeSink &sink)
{
    return Decoder(std::move(stop), sink).run(path);
}

} // namespace tarvelin
