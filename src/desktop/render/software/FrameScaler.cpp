#include "desktop/render/software/FrameScaler.h"

#include <QVideoFrameFormat>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
#include <utility>

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace drovane::desktop {

namespace {

// Sources above this many pixels are scaled on every core: below it one thread keeps up with
// any frame rate, and more only add hand-over costs.
constexpr long kThreadedPixels = 1920L * 1088L;

struct SourceFormat {
    AVPixelFormat format = AV_PIX_FMT_NONE;
    // The second and third planes come in the opposite order (YV12).
    bool swappedChroma = false;
};

SourceFormat sourceFormat(QVideoFrameFormat::PixelFormat format) {
    switch (format) {
    case QVideoFrameFormat::Format_YUV420P:
        return {AV_PIX_FMT_YUV420P};
    case QVideoFrameFormat::Format_YV12:
        return {AV_PIX_FMT_YUV420P, true};
    case QVideoFrameFormat::Format_YUV422P:
        return {AV_PIX_FMT_YUV422P};
    case QVideoFrameFormat::Format_NV12:
        return {AV_PIX_FMT_NV12};
    case QVideoFrameFormat::Format_NV21:
        return {AV_PIX_FMT_NV21};
    case QVideoFrameFormat::Format_UYVY:
        return {AV_PIX_FMT_UYVY422};
    case QVideoFrameFormat::Format_YUYV:
        return {AV_PIX_FMT_YUYV422};
    case QVideoFrameFormat::Format_P010:
        return {AV_PIX_FMT_P010LE};
    case QVideoFrameFormat::Format_P016:
        return {AV_PIX_FMT_P016LE};
    case QVideoFrameFormat::Format_YUV420P10:
        return {AV_PIX_FMT_YUV420P10LE};
    case QVideoFrameFormat::Format_Y8:
        return {AV_PIX_FMT_GRAY8};
    case QVideoFrameFormat::Format_Y16:
        return {AV_PIX_FMT_GRAY16LE};
    // Qt names the packed RGB formats by their bytes in memory.
    case QVideoFrameFormat::Format_ARGB8888:
    case QVideoFrameFormat::Format_ARGB8888_Premultiplied:
        return {AV_PIX_FMT_ARGB};
    case QVideoFrameFormat::Format_XRGB8888:
        return {AV_PIX_FMT_0RGB};
    case QVideoFrameFormat::Format_BGRA8888:
    case QVideoFrameFormat::Format_BGRA8888_Premultiplied:
        return {AV_PIX_FMT_BGRA};
    case QVideoFrameFormat::Format_BGRX8888:
        return {AV_PIX_FMT_BGR0};
    case QVideoFrameFormat::Format_ABGR8888:
        return {AV_PIX_FMT_ABGR};
    case QVideoFrameFormat::Format_XBGR8888:
        return {AV_PIX_FMT_0BGR};
    case QVideoFrameFormat::Format_RGBA8888:
        return {AV_PIX_FMT_RGBA};
    case QVideoFrameFormat::Format_RGBX8888:
        return {AV_PIX_FMT_RGB0};
    default:
        return {};
    }
}

int colorSpaceOf(const QVideoFrameFormat& format) {
    switch (format.colorSpace()) {
    case QVideoFrameFormat::ColorSpace_BT601:
        return SWS_CS_ITU601;
    case QVideoFrameFormat::ColorSpace_BT709:
        return SWS_CS_ITU709;
    case QVideoFrameFormat::ColorSpace_BT2020:
        return SWS_CS_BT2020;
    default:
        // Untagged films: high definition is BT.709, as players commonly assume.
        return format.frameHeight() >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

} // namespace

SourceRect shownPart(int width, int height, int targetWidth, int targetHeight, VideoGravity gravity) {
    SourceRect all{0, 0, width, height};
    if (gravity == VideoGravity::Resize || width <= 0 || height <= 0 || targetWidth <= 0 ||
        targetHeight <= 0) {
        return all;
    }
    // Compare width / height with targetWidth / targetHeight without rounding.
    const long long source = static_cast<long long>(width) * targetHeight;
    const long long target = static_cast<long long>(targetWidth) * height;
    if (source > target) {
        const int shown =
            std::max(1, static_cast<int>(std::lround(double(height) * targetWidth / targetHeight)));
        const int x = ((width - shown) / 2) & ~1;
        return {x, 0, shown, height};
    }
    if (source < target) {
        const int shown =
            std::max(1, static_cast<int>(std::lround(double(width) * targetHeight / targetWidth)));
        const int y = ((height - shown) / 2) & ~1;
        return {0, y, width, shown};
    }
    return all;
}

int scaledStride(int width) {
    // Groups of 16 pixels cover every converter libswscale has.
    return ((std::max(0, width) + 15) & ~15) * 4;
}

bool FrameScaler::canScale(const QVideoFrame& frame) {
    return frame.isValid() && sourceFormat(frame.pixelFormat()).format != AV_PIX_FMT_NONE;
}

FrameScaler::~FrameScaler() {
    sws_freeContext(m_context);
}

bool FrameScaler::scale(const QVideoFrame& frame, VideoGravity gravity, const PixelTarget& target) {
    if (!frame.isValid() || !target.pixels || target.width <= 0 || target.height <= 0) {
        return false;
    }
    const SourceFormat source = sourceFormat(frame.pixelFormat());
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(source.format);
    if (!descriptor) {
        return false;
    }
    QVideoFrame mapped = frame;
    if (!mapped.map(QVideoFrame::ReadOnly)) {
        return false;
    }
    const QVideoFrameFormat format = mapped.surfaceFormat();
    const SourceRect part = shownPart(mapped.width(), mapped.height(), target.width, target.height, gravity);

    const Key key{source.format,
                  part.width,
                  part.height,
                  target.width,
                  target.height,
                  colorSpaceOf(format),
                  format.colorRange() == QVideoFrameFormat::ColorRange_Full ? 1 : 0};
    if (!m_context || !(key == m_key)) {
        sws_freeContext(m_context);
        m_context = sws_alloc_context();
        const bool wide = static_cast<long>(part.width) * part.height > kThreadedPixels;
        av_opt_set_int(m_context, "srcw", part.width, 0);
        av_opt_set_int(m_context, "srch", part.height, 0);
        av_opt_set_int(m_context, "src_format", source.format, 0);
        av_opt_set_int(m_context, "dstw", target.width, 0);
        av_opt_set_int(m_context, "dsth", target.height, 0);
        av_opt_set_int(m_context, "dst_format", AV_PIX_FMT_BGR0, 0);
        av_opt_set_int(m_context, "sws_flags", SWS_BILINEAR, 0);
        av_opt_set_int(m_context, "threads", wide ? std::max(1u, std::thread::hardware_concurrency()) : 1, 0);
        if (sws_init_context(m_context, nullptr, nullptr) < 0) {
            sws_freeContext(std::exchange(m_context, nullptr));
            mapped.unmap();
            return false;
        }
        const int* coefficients = sws_getCoefficients(key.colorSpace);
        sws_setColorspaceDetails(m_context, coefficients, key.range, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                                 0, 1 << 16, 1 << 16);
        m_key = key;
    }

    // The shown part, by moving each plane's start to its first shown sample.
    const std::uint8_t* planes[4] = {};
    int strides[4] = {};
    for (int plane = 0; plane < std::min(4, mapped.planeCount()); ++plane) {
        int step = 1;
        for (int c = 0; c < descriptor->nb_components; ++c) {
            if (descriptor->comp[c].plane == plane) {
                step = descriptor->comp[c].step;
                break;
            }
        }
        const bool chroma = (plane == 1 || plane == 2) && !(descriptor->flags & AV_PIX_FMT_FLAG_RGB);
        const int x = chroma ? part.x >> descriptor->log2_chroma_w : part.x;
        const int y = chroma ? part.y >> descriptor->log2_chroma_h : part.y;
        strides[plane] = mapped.bytesPerLine(plane);
        planes[plane] = mapped.bits(plane) + static_cast<std::ptrdiff_t>(y) * strides[plane] + x * step;
    }
    if (source.swappedChroma) {
        std::swap(planes[1], planes[2]);
        std::swap(strides[1], strides[2]);
    }
    const int roomyStride = scaledStride(target.width);
    const bool roomy = target.stride >= roomyStride;
    if (!roomy) {
        m_roomy.resize(static_cast<std::size_t>(roomyStride) * target.height);
    }
    std::uint8_t* destination[4] = {roomy ? target.pixels : m_roomy.data(), nullptr, nullptr, nullptr};
    const int destinationStrides[4] = {roomy ? target.stride : roomyStride, 0, 0, 0};
    const int lines = sws_scale(m_context, planes, strides, 0, part.height, destination, destinationStrides);
    mapped.unmap();
    if (lines > 0 && !roomy) {
        for (int y = 0; y < target.height; ++y) {
            std::memcpy(target.pixels + static_cast<std::ptrdiff_t>(y) * target.stride,
                        m_roomy.data() + static_cast<std::ptrdiff_t>(y) * roomyStride,
                        static_cast<std::size_t>(target.width) * 4);
        }
    }
    return lines > 0;
}

} // namespace drovane::desktop
