#include "desktop/media/FfmpegFrames.h"

#include "desktop/media/FitInside.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace drovane::desktop {

namespace {

// Containers a film comes in. Anything else (playlists, concatenation lists, image sequences)
// could make FFmpeg read other files on our behalf, so it is refused before it is parsed.
constexpr const char* filmFormats = "mov,mp4,m4a,3gp,3g2,mj2,matroska,webm";

// Frames leave the decoder in presentation order, but a packet can carry a frame shown up to
// this long after the packets around it (B-frame reordering): once packets pass the window by
// more than this, no frame inside it can follow.
constexpr double reorderSlackSeconds = 1.0;
// For streams without usable timestamps, the most packets read before giving up.
constexpr int maxPackets = 20'000;
// Damage the decoder reports and gets past; a film that keeps failing is not worth more time.
constexpr int maxDecodeErrors = 32;
// Frames up to DCI 8K. A hostile header must not make every worker hold a decoder's worth of
// gigapixel frames.
constexpr std::int64_t maxFramePixels = 8192LL * 4320;
// FFmpeg's largest single allocation, for the whole process. A demuxer sizes its sample tables from counts in
// the header, so a forged count in a small file asks for gigabytes; no film needs more than one 8K frame of
// 16-bit RGBA (283 MB) at once.
constexpr std::size_t maxAllocationBytes = std::size_t{384} << 20;

struct FormatCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct ScalerFreer {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};

std::string errorText(int code) {
    char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(code, buffer, sizeof buffer) < 0) {
        std::snprintf(buffer, sizeof buffer, "error %d", code);
    }
    return buffer;
}

std::string secondsText(double seconds) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", seconds);
    return buffer;
}

FrameResult failure(std::string error) {
    return {std::nullopt, std::move(error)};
}

// FFmpeg would otherwise print its own diagnostics about every damaged file on standard error,
// between our single-line ones; its failures reach us as return codes instead. An allocation
// past the limit fails like any other and is reported as the file's error.
void setUpLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_QUIET);
        av_max_alloc(maxAllocationBytes);
    });
}

const std::int32_t* displayMatrix(const AVStream& stream) {
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 29, 100)
    const AVPacketSideData* data = av_packet_side_data_get(
        stream.codecpar->coded_side_data, stream.codecpar->nb_coded_side_data, AV_PKT_DATA_DISPLAYMATRIX);
    return data && data->size >= 9 * sizeof(std::int32_t) ? reinterpret_cast<const std::int32_t*>(data->data)
                                                          : nullptr;
#else
    std::size_t size = 0;
    const std::uint8_t* data = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    return data && size >= 9 * sizeof(std::int32_t) ? reinterpret_cast<const std::int32_t*>(data) : nullptr;
#endif
}

// The film's picture stream: not a cover picture, one we can decode, the default one first.
int pictureStream(const AVFormatContext& format, const AVCodec** decoder) {
    int best = -1;
    bool bestIsDefault = false;
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVStream& stream = *format.streams[i];
        const AVCodecParameters& parameters = *stream.codecpar;
        if (parameters.codec_type != AVMEDIA_TYPE_VIDEO ||
            (stream.disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            continue;
        }
        const AVCodec* codec = avcodec_find_decoder(parameters.codec_id);
        const bool isDefault = stream.disposition & AV_DISPOSITION_DEFAULT;
        if (codec && (best < 0 || (isDefault && !bestIsDefault))) {
            best = static_cast<int>(i);
            bestIsDefault = isDefault;
            *decoder = codec;
        }
    }
    return best;
}

bool hasVideoStream(const AVFormatContext& format) {
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        if (format.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            return true;
        }
    }
    return false;
}

// The film at `path` opened with its picture stream found, or nothing and why not. Only
// regular files are opened: a FIFO or a device named like a film would block the reader or
// never end.
std::unique_ptr<AVFormatContext, FormatCloser> openFilm(const std::string& path, const AVCodec** decoder,
                                                        int* index, std::string* error) {
    std::error_code statError;
    if (!std::filesystem::is_regular_file(path, statError)) {
        *error = std::filesystem::exists(path, statError) ? "not a regular file: " + path
                                                          : "cannot open " + path + ": no such file";
        return nullptr;
    }
    setUpLibrary();
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "format_whitelist", filmFormats, 0);
    AVFormatContext* opened = nullptr;
    // The explicit protocol keeps a colon in a file name from reading as one.
    int rc = avformat_open_input(&opened, ("file:" + path).c_str(), nullptr, &options);
    av_dict_free(&options);
    if (rc < 0) {
        *error = "cannot open " + path + ": " + errorText(rc);
        return nullptr;
    }
    std::unique_ptr<AVFormatContext, FormatCloser> format(opened);

    // Films' headers describe their streams; probing packets is only needed when they do not.
    *index = pictureStream(*format, decoder);
    if (*index < 0) {
        rc = avformat_find_stream_info(format.get(), nullptr);
        if (rc < 0) {
            *error = "cannot read " + path + ": " + errorText(rc);
            return nullptr;
        }
        *index = pictureStream(*format, decoder);
    }
    if (*index < 0) {
        *error = hasVideoStream(*format) ? "no decoder for the picture stream of " + path
                                         : "no picture stream in " + path;
        return nullptr;
    }
    return format;
}

// The YUV to RGB matrix of the frame; untagged pictures follow the usual rule of HD (709)
// against SD (601) sizes.
int colorspaceOf(const AVFrame& frame) {
    switch (frame.colorspace) {
    case AVCOL_SPC_BT709:
        return SWS_CS_ITU709;
    case AVCOL_SPC_FCC:
        return SWS_CS_FCC;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
        return SWS_CS_ITU601;
    case AVCOL_SPC_SMPTE240M:
        return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return SWS_CS_BT2020;
    default:
        return frame.height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

bool isFullRange(const AVFrame& frame) {
    switch (frame.format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
        return true;
    default:
        return frame.color_range == AVCOL_RANGE_JPEG;
    }
}

// The "J" formats are the plain ones with full range, which is passed on separately.
AVPixelFormat withoutFullRangeAlias(int format) {
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
        return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
        return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
        return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
        return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P:
        return AV_PIX_FMT_YUV411P;
    default:
        return static_cast<AVPixelFormat>(format);
    }
}

Image turned(const Image& source, DisplayOrientation orientation) {
    const int turns = orientation.quarterTurns;
    if (turns == 0 && !orientation.mirrored) {
        return source;
    }
    const int w = source.width;
    const int h = source.height;
    Image out;
    out.width = turns % 2 ? h : w;
    out.height = turns % 2 ? w : h;
    out.rgba.resize(source.rgba.size());
    const auto* from = reinterpret_cast<const std::uint32_t*>(source.rgba.data());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            // Where the pixel (x, y) lands after the clockwise turns.
            int tx = x;
            int ty = y;
            switch (turns) {
            case 1:
                tx = h - 1 - y;
                ty = x;
                break;
            case 2:
                tx = w - 1 - x;
                ty = h - 1 - y;
                break;
            case 3:
                tx = y;
                ty = w - 1 - x;
                break;
            default:
                break;
            }
            if (orientation.mirrored) {
                tx = out.width - 1 - tx;
            }
            std::memcpy(out.rgba.data() + (static_cast<std::size_t>(ty) * out.width + tx) * 4,
                        from + static_cast<std::size_t>(y) * w + x, 4);
        }
    }
    return out;
}

// The decoded frame as upright RGBA fitting inside the bounds.
FrameResult convert(const AVFrame& frame, AVRational sampleAspect, DisplayOrientation orientation,
                    int maxWidth, int maxHeight) {
    if (frame.width <= 0 || frame.height <= 0) {
        return failure("the frame has no picture");
    }
    const AVPixelFormat format = withoutFullRangeAlias(frame.format);
    if (!sws_isSupportedInput(format)) {
        const char* name = av_get_pix_fmt_name(format);
        return failure(std::string("unsupported pixel format ") + (name ? name : "unknown"));
    }
    // Non-square pixels are shown stretched, so the picture is too.
    double displayWidth = frame.width;
    if (sampleAspect.num > 0 && sampleAspect.den > 0) {
        displayWidth *= av_q2d(sampleAspect);
    }
    const bool sideways = orientation.quarterTurns % 2 != 0;
    const PixelSize shown = sideways ? fitInside(frame.height, displayWidth, maxWidth, maxHeight)
                                     : fitInside(displayWidth, frame.height, maxWidth, maxHeight);
    const int width = sideways ? shown.height : shown.width;
    const int height = sideways ? shown.width : shown.height;

    std::unique_ptr<SwsContext, ScalerFreer> scaler(
        sws_getContext(frame.width, frame.height, format, width, height, AV_PIX_FMT_RGBA,
                       SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
    if (!scaler) {
        return failure("cannot convert the frame");
    }
    // Brightness and contrast unchanged (0, 1 << 16), saturation unchanged (1 << 16).
    sws_setColorspaceDetails(scaler.get(), sws_getCoefficients(colorspaceOf(frame)),
                             isFullRange(frame) ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16,
                             1 << 16);

    Image image;
    image.width = width;
    image.height = height;
    image.rgba.resize(std::size_t{4} * width * height);
    std::uint8_t* planes[4] = {image.rgba.data(), nullptr, nullptr, nullptr};
    int strides[4] = {4 * width, 0, 0, 0};
    if (sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) != height) {
        return failure("cannot convert the frame");
    }
    return {turned(image, orientation), {}};
}

} // namespace

DisplayOrientation orientationFromDisplayMatrix(const std::int32_t* matrix) {
    if (!matrix) {
        return {};
    }
    std::int32_t m[9];
    std::copy(matrix, matrix + 9, m);
    // A mirroring matrix turns the picture over; with that undone, what is left is a rotation.
    const bool mirrored = static_cast<std::int64_t>(m[0]) * m[4] - static_cast<std::int64_t>(m[1]) * m[3] < 0;
    if (mirrored) {
        av_display_matrix_flip(m, 1, 0);
    }
    const double counterclockwise = av_display_rotation_get(m);
    if (std::isnan(counterclockwise)) {
        return {0, mirrored};
    }
    const long quarterTurns = std::lround(-counterclockwise / 90.0);
    return {static_cast<int>(((quarterTurns % 4) + 4) % 4), mirrored};
}

FrameResult extractFilmFrame(const std::string& path, double seconds, double toleranceBefore,
                             double toleranceAfter, int maxWidth, int maxHeight) {
    if (maxWidth <= 0 || maxHeight <= 0 || !std::isfinite(seconds) || !(toleranceBefore >= 0) ||
        !(toleranceAfter >= 0)) {
        return failure("invalid frame request");
    }
    const double first = seconds - toleranceBefore;
    const double last = seconds + toleranceAfter;
    const std::string window = "between " + secondsText(first) + " s and " + secondsText(last) + " s";

    std::string error;
    const AVCodec* decoder = nullptr;
    int index = -1;
    auto format = openFilm(path, &decoder, &index, &error);
    if (!format) {
        return failure(std::move(error));
    }
    int rc = 0;
    AVStream& stream = *format->streams[index];
    if (static_cast<std::int64_t>(stream.codecpar->width) * stream.codecpar->height > maxFramePixels) {
        return failure("frames too large: " + std::to_string(stream.codecpar->width) + " x " +
                       std::to_string(stream.codecpar->height));
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        format->streams[i]->discard = static_cast<int>(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }

    std::unique_ptr<AVCodecContext, CodecFreer> codec(avcodec_alloc_context3(decoder));
    if (!codec) {
        return failure("out of memory");
    }
    if ((rc = avcodec_parameters_to_context(codec.get(), stream.codecpar)) < 0) {
        return failure("cannot decode " + path + ": " + errorText(rc));
    }
    codec->pkt_timebase = stream.time_base;
    // The queue already runs several films side by side; more threads per film only add the
    // frame delay of threaded decoding.
    codec->thread_count = 1;
    codec->max_pixels = maxFramePixels;
    if ((rc = avcodec_open2(codec.get(), decoder, nullptr)) < 0) {
        return failure("cannot decode " + path + ": " + errorText(rc));
    }

    const double timeBase = av_q2d(stream.time_base);
    if (!(timeBase > 0)) {
        return failure("no timing in " + path);
    }
    const std::int64_t start = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
    auto secondsOf = [&](std::int64_t timestamp) -> std::optional<double> {
        if (timestamp == AV_NOPTS_VALUE) {
            return std::nullopt;
        }
        // In floating point: a hostile file's timestamps could overflow an integer difference.
        return (static_cast<double>(timestamp) - static_cast<double>(start)) * timeBase;
    };
    // Times of whole frames are compared with a little room for the rounding of time bases.
    constexpr double slack = 1e-6;

    // Backward: the keyframe at or before the mark. A film that cannot seek is read from its
    // start, where it already stands.
    const double target = std::clamp(seconds, 0.0, 1e9) / timeBase + static_cast<double>(start);
    if (target < 9e18) {
        av_seek_frame(format.get(), index, static_cast<std::int64_t>(target), AVSEEK_FLAG_BACKWARD);
    }

    std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
    if (!packet || !frame) {
        return failure("out of memory");
    }
    const DisplayOrientation orientation = orientationFromDisplayMatrix(displayMatrix(stream));
    int packets = 0;
    int decodeErrors = 0;
    std::string lastError;
    bool flushed = false;
    std::optional<double> lastFrameTime;

    auto noFrame = [&] {
        std::string text = "no frame " + window;
        if (lastFrameTime && *lastFrameTime < first) {
            text += " (the film ends at " + secondsText(std::floor(*lastFrameTime * 1000) / 1000) + " s)";
        } else if (!lastFrameTime && !lastError.empty()) {
            text += " (" + lastError + ")";
        }
        return failure(text);
    };

    for (;;) {
        rc = avcodec_receive_frame(codec.get(), frame.get());
        if (rc == 0) {
            const std::optional<double> time = secondsOf(frame->best_effort_timestamp);
            if (time) {
                lastFrameTime = time;
                if (*time > last + slack) {
                    return noFrame();
                }
                if (*time >= first - slack) {
                    AVRational aspect = frame->sample_aspect_ratio;
                    if (aspect.num <= 0 || aspect.den <= 0) {
                        aspect = av_guess_sample_aspect_ratio(format.get(), &stream, frame.get());
                    }
                    return convert(*frame, aspect, orientation, maxWidth, maxHeight);
                }
            }
            av_frame_unref(frame.get());
            continue;
        }
        if (rc == AVERROR_EOF) {
            return noFrame();
        }
        if (rc != AVERROR(EAGAIN)) {
            lastError = errorText(rc);
            if (++decodeErrors > maxDecodeErrors) {
                return failure("cannot decode " + path + ": " + lastError);
            }
            continue;
        }
        if (flushed) {
            // A decoder that neither gives a frame nor ends after a flush has nothing more.
            return noFrame();
        }

        rc = av_read_frame(format.get(), packet.get());
        if (rc < 0 || ++packets > maxPackets) {
            if (rc < 0 && rc != AVERROR_EOF) {
                lastError = errorText(rc);
            }
            av_packet_unref(packet.get());
            avcodec_send_packet(codec.get(), nullptr);
            flushed = true;
            continue;
        }
        if (packet->stream_index != index) {
            av_packet_unref(packet.get());
            continue;
        }
        const std::optional<double> shown = secondsOf(packet->pts);
        const std::optional<double> decoded = secondsOf(packet->dts);
        if (decoded && *decoded > last + reorderSlackSeconds) {
            av_packet_unref(packet.get());
            avcodec_send_packet(codec.get(), nullptr);
            flushed = true;
            continue;
        }
        // Frames shown before the window are only decoded for the frames that refer to them;
        // those nothing refers to are skipped.
        codec->skip_frame = shown && *shown < first - slack ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
        rc = avcodec_send_packet(codec.get(), packet.get());
        av_packet_unref(packet.get());
        if (rc < 0 && rc != AVERROR(EAGAIN)) {
            lastError = errorText(rc);
            if (++decodeErrors > maxDecodeErrors) {
                return failure("cannot decode " + path + ": " + lastError);
            }
        }
    }
}

std::string filmFileError(const std::string& path) {
    std::string error;
    const AVCodec* decoder = nullptr;
    int index = -1;
    auto format = openFilm(path, &decoder, &index, &error);
    if (!format) {
        return error;
    }
    // A film whose index comes first opens as well when its frames were cut off (a server that
    // sent less than the whole file as if it were all of it): its index then points past the end.
    const std::int64_t size = avio_size(format->pb);
    std::int64_t end = 0;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        AVStream* stream = format->streams[i];
        for (int entry = 0, count = avformat_index_get_entries_count(stream); entry < count; ++entry) {
            const AVIndexEntry* sample = avformat_index_get_entry(stream, entry);
            end = std::max(end, sample->pos + sample->size);
        }
    }
    if (size >= 0 && end > size) {
        return "cut short: " + path + " holds " + std::to_string(size) + " of its " + std::to_string(end) +
               " bytes";
    }
    return {};
}

} // namespace drovane::desktop
