#include "fingerprint/Fingerprint.h"

#include "dorvane/FileIo.h"

#include <QFile>

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

extern "C" {
#include <chromaprint.h>
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace tunora {

namespace {

QString AvError(const char* what, int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromLatin1(what) + QStringLiteral(" (") + QString::fromLocal8Bit(text) + QLatin1Char(')');
}

struct FormatCloser {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct SwrFreer {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct ChromaprintFreer {
    void operator()(ChromaprintContext* c) const { chromaprint_free(c); }
};

// The duration as fpcalc tells it: the stream's (else the container's) in whole
// milliseconds, then truncated to whole seconds.
int DurationSeconds(const AVFormatContext* format, const AVStream* stream)
{
    qint64 ms = -1;
    if (stream->duration != AV_NOPTS_VALUE && stream->time_base.den > 0)
        ms = 1000 * stream->time_base.num * stream->duration / stream->time_base.den;
    else if (format->duration != AV_NOPTS_VALUE)
        ms = 1000 * format->duration / AV_TIME_BASE;
    return ms < 0 ? 0 : static_cast<int>(static_cast<double>(static_cast<int>(ms)) / 1000.0);
}

// The resampler set up as fpcalc's reader sets it, so that the samples fingerprinted (and so
// the fingerprint) are the same to the bit: 16-tap filter, linear interpolation, cutoff 0.8,
// the working sample format left to the resampler (floating point for decoders that give it).
std::unique_ptr<SwrContext, SwrFreer> MakeConverter(const AVCodecContext* codec, int rate, int channels)
{
    std::unique_ptr<SwrContext, SwrFreer> swr(swr_alloc());
    if (!swr)
        return swr;
    SwrContext* s = swr.get();
    av_opt_set_int(s, "resampler", SWR_ENGINE_SWR, 0);
    av_opt_set_int(s, "filter_size", 16, 0);
    av_opt_set_int(s, "phase_shift", 8, 0);
    av_opt_set_int(s, "linear_interp", 1, 0);
    av_opt_set_double(s, "cutoff", 0.8, 0);
    AVChannelLayout in{}, out{};
    if (codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_copy(&in, &codec->ch_layout) < 0)
        av_channel_layout_default(&in, codec->ch_layout.nb_channels);
    av_channel_layout_default(&out, channels);
    av_opt_set_chlayout(s, "in_chlayout", &in, 0);
    av_opt_set_sample_fmt(s, "in_sample_fmt", codec->sample_fmt, 0);
    av_opt_set_int(s, "in_sample_rate", codec->sample_rate, 0);
    av_opt_set_chlayout(s, "out_chlayout", &out, 0);
    av_opt_set_sample_fmt(s, "out_sample_fmt", AV_SAMPLE_FMT_S16, 0);
    av_opt_set_int(s, "out_sample_rate", rate, 0);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (swr_init(s) < 0)
        swr.reset();
    return swr;
}

// Decodes a file and feeds the first kFingerprintSeconds of its audio to Chromaprint.
class Fingerprinter {
public:
    Fingerprinter(FileFingerprint& out, const std::atomic_bool* cancel) : m_out(out), m_cancel(cancel) {}

    bool run()
    {
        AVFormatContext* opened = nullptr;
        AVDictionary* options = nullptr;
        // Only the file itself: no network or other protocols, whatever the name says.
        av_dict_set(&options, "protocol_whitelist", "file", 0);
        const QByteArray name = "file:" + dorvane::io::EncodeName(m_out.path);
        const int openCode = avformat_open_input(&opened, name.constData(), nullptr, &options);
        av_dict_free(&options);
        if (openCode < 0)
            return fail(AvError("cannot open the file", openCode));
        m_format.reset(opened);
        if (const int code = avformat_find_stream_info(opened, nullptr); code < 0)
            return fail(AvError("no stream information", code));
        const AVCodec* decoder = nullptr;
        m_stream = av_find_best_stream(opened, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
        if (m_stream < 0 || !decoder)
            return fail(QStringLiteral("no audio stream"));
        const AVStream* stream = opened->streams[m_stream];
        m_codec.reset(avcodec_alloc_context3(decoder));
        if (!m_codec || avcodec_parameters_to_context(m_codec.get(), stream->codecpar) < 0)
            return fail(QStringLiteral("out of memory"));
        m_codec->request_sample_fmt = AV_SAMPLE_FMT_S16;
        if (const int code = avcodec_open2(m_codec.get(), decoder, nullptr); code < 0)
            return fail(AvError("cannot decode the audio", code));

        m_print.reset(chromaprint_new(CHROMAPRINT_ALGORITHM_DEFAULT));
        m_rate = chromaprint_get_sample_rate(m_print.get());
        m_channels = chromaprint_get_num_channels(m_print.get());
        m_limit = static_cast<qint64>(kFingerprintSeconds) * m_rate;
        if (!chromaprint_start(m_print.get(), m_rate, m_channels))
            return fail(QStringLiteral("cannot start the fingerprint"));
        if (m_codec->sample_fmt != AV_SAMPLE_FMT_S16 || m_codec->ch_layout.nb_channels != m_channels ||
            m_codec->sample_rate != m_rate) {
            m_swr = MakeConverter(m_codec.get(), m_rate, m_channels);
            if (!m_swr)
                return fail(QStringLiteral("cannot convert the audio"));
        }
        if (!decode())
            return false;
        if (m_fed == 0)
            return fail(QStringLiteral("no audio"));
        if (!chromaprint_finish(m_print.get()))
            return fail(QStringLiteral("cannot finish the fingerprint"));
        int size = 0;
        char* text = nullptr;
        if (!chromaprint_get_raw_fingerprint_size(m_print.get(), &size) || size <= 0)
            return fail(QStringLiteral("too short to fingerprint"));
        if (!chromaprint_get_fingerprint(m_print.get(), &text) || !text)
            return fail(QStringLiteral("cannot encode the fingerprint"));
        m_out.fingerprint = QByteArray(text);
        chromaprint_dealloc(text);
        m_out.seconds = DurationSeconds(opened, stream);
        return true;
    }

private:
    bool fail(const QString& why)
    {
        m_out.error = why;
        return false;
    }

    bool decode()
    {
        std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
        std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
        if (!packet || !frame)
            return fail(QStringLiteral("out of memory"));
        bool ended = false;
        while (!full()) {
            if (m_cancel && m_cancel->load())
                return fail(QStringLiteral("cancelled"));
            if (!ended) {
                const int code = av_read_frame(m_format.get(), packet.get());
                if (code == AVERROR_EOF) {
                    ended = true;
                    avcodec_send_packet(m_codec.get(), nullptr); // drains the decoder
                } else if (code < 0) {
                    return fail(AvError("cannot read the file", code));
                } else {
                    const bool ours = packet->stream_index == m_stream;
                    // A damaged packet costs its own audio only.
                    const int sent = ours ? avcodec_send_packet(m_codec.get(), packet.get()) : 0;
                    av_packet_unref(packet.get());
                    if (sent < 0 && sent != AVERROR_INVALIDDATA && sent != AVERROR(EAGAIN))
                        return fail(AvError("cannot decode the audio", sent));
                    if (!ours)
                        continue;
                }
            }
            int code = 0;
            while (!full() && (code = avcodec_receive_frame(m_codec.get(), frame.get())) == 0) {
                const bool fed = feedFrame(frame.get());
                av_frame_unref(frame.get());
                if (!fed)
                    return false;
            }
            if (code == AVERROR_EOF)
                break;
            if (code < 0 && code != AVERROR(EAGAIN) && code != AVERROR_INVALIDDATA)
                return fail(AvError("cannot decode the audio", code));
        }
        // What the resampler still holds belongs to the end of the audio.
        while (m_swr && !full()) {
            const int got = convert(nullptr, 0);
            if (got < 0)
                return fail(QStringLiteral("cannot convert the audio"));
            if (got == 0)
                break;
            if (!feed(m_buffer.data(), got))
                return false;
        }
        return true;
    }

    bool full() const { return m_fed >= m_limit; }

    // Converted samples land in m_buffer; answers their count per channel, or < 0.
    int convert(const uint8_t** data, int samples)
    {
        const int room = swr_get_out_samples(m_swr.get(), samples);
        if (room < 0)
            return room;
        m_buffer.resize(static_cast<size_t>(std::max(room, 1) * m_channels));
        auto* out = reinterpret_cast<uint8_t*>(m_buffer.data());
        return swr_convert(m_swr.get(), &out, std::max(room, 1), data, samples);
    }

    bool feedFrame(const AVFrame* frame)
    {
        if (!m_swr)
            return feed(reinterpret_cast<const int16_t*>(frame->data[0]), frame->nb_samples);
        const int got = convert(const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
        if (got < 0)
            return fail(QStringLiteral("cannot convert the audio"));
        return feed(m_buffer.data(), got);
    }

    // Feeds up to the 120 s limit.
    bool feed(const int16_t* data, int samples)
    {
        const qint64 take = std::min<qint64>(samples, m_limit - m_fed);
        if (take <= 0)
            return true;
        if (!chromaprint_feed(m_print.get(), data, static_cast<int>(take * m_channels)))
            return fail(QStringLiteral("cannot fingerprint the audio"));
        m_fed += take;
        return true;
    }

    FileFingerprint& m_out;
    const std::atomic_bool* m_cancel;
    std::unique_ptr<AVFormatContext, FormatCloser> m_format;
    std::unique_ptr<AVCodecContext, CodecCloser> m_codec;
    std::unique_ptr<SwrContext, SwrFreer> m_swr;
    std::unique_ptr<ChromaprintContext, ChromaprintFreer> m_print;
    std::vector<int16_t> m_buffer;
    int m_stream = -1, m_rate = 0, m_channels = 0;
    qint64 m_limit = 0, m_fed = 0;
};

} // namespace

FileFingerprint FingerprintFile(const QString& path, const std::atomic_bool* cancel)
{
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); }); // reasons come back as errors
    FileFingerprint out;
    out.path = path;
    Fingerprinter(out, cancel).run();
    if (!out.ok())
        out.fingerprint.clear();
    return out;
}

QList<FileFingerprint> FingerprintFiles(const QStringList& paths, const FingerprintProgress& progress,
                                        const std::atomic_bool* cancel, int threads)
{
    std::vector<FileFingerprint> results(static_cast<size_t>(paths.size()));
    const qsizetype total = paths.size();
    if (threads <= 0)
        threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    threads = static_cast<int>(std::min<qsizetype>(threads, std::max<qsizetype>(total, 1)));
    std::atomic<qsizetype> next{0};
    std::mutex told;
    qsizetype done = 0;
    const auto work = [&] {
        for (qsizetype i = next++; i < total; i = next++) {
            results[static_cast<size_t>(i)] = FingerprintFile(paths.at(i), cancel);
            const std::lock_guard<std::mutex> lock(told);
            ++done;
            if (progress)
                progress(done, total);
        }
    };
    std::vector<std::thread> workers;
    for (int t = 1; t < threads; ++t)
        workers.emplace_back(work);
    work(); // the calling thread is one of the workers
    for (std::thread& w : workers)
        w.join();
    return QList<FileFingerprint>(results.begin(), results.end());
}

} // namespace tunora
