#include "desktop/media/QtFfmpegImages.h"

#include "desktop/media/FfmpegFrames.h"
#include "desktop/media/FitInside.h"
#include "desktop/media/PngChunks.h"

#include <QBuffer>
#include <QByteArray>
#include <QColorSpace>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace drovane::desktop {

namespace {

Image toImage(const QImage& picture) {
    const QImage rgba = picture.convertToFormat(QImage::Format_RGBA8888);
    Image image;
    image.width = rgba.width();
    image.height = rgba.height();
    const std::size_t rowBytes = std::size_t{4} * image.width;
    image.rgba.resize(rowBytes * image.height);
    for (int y = 0; y < image.height; ++y) {
        std::memcpy(image.rgba.data() + rowBytes * y, rgba.constScanLine(y), rowBytes);
    }
    return image;
}

std::optional<Image> decode(QIODevice& device, int maxPixelSize) {
    if (maxPixelSize <= 0) {
        return std::nullopt;
    }
    QImageReader reader(&device);
    // The cache's own files (".img") say nothing about their format; only the bytes do.
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);

    // The size as stored, before the orientation turns it: the reader scales before it turns,
    // and a quarter turn leaves the longer side as long.
    const QSize stored = reader.size();
    if (stored.isValid() && !stored.isEmpty()) {
        // Only JPEG decodes at a reduced size (down to an eighth on a side, in the DCT); every
        // other reader that offers a scaled size decodes in full and scales afterwards.
        const long long reduction = reader.format() == "jpeg" ? 64 : 1;
        if (static_cast<long long>(stored.width()) * stored.height() / reduction >
            QtFfmpegImages::maxDecodedPixels) {
            return std::nullopt;
        }
        if (std::max(stored.width(), stored.height()) > maxPixelSize) {
            const PixelSize fitted = fitInside(stored.width(), stored.height(), maxPixelSize, maxPixelSize);
            reader.setScaledSize(QSize(fitted.width, fitted.height));
        }
    }
    QImage picture = reader.read();
    if (picture.isNull()) {
        return std::nullopt;
    }
    // A reader that could not tell the size beforehand decoded it whole.
    if (std::max(picture.width(), picture.height()) > maxPixelSize) {
        picture = picture.scaled(maxPixelSize, maxPixelSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    const QColorSpace space = picture.colorSpace();
    if (space.isValid() && space != QColorSpace(QColorSpace::SRgb)) {
        picture.convertToColorSpace(QColorSpace(QColorSpace::SRgb));
    }
    return toImage(picture);
}

} // namespace

std::optional<Image> QtFfmpegImages::decodeFile(const std::string& path, int maxPixelSize) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    // Mapped, the whole file is looked over without being read; an empty file maps nothing.
    const qint64 size = file.size();
    uchar* mapped = size > 0 ? file.map(0, size) : nullptr;
    if (mapped == nullptr) {
        return std::nullopt;
    }
    const bool fits = pngChunksFitIn(mapped, static_cast<std::size_t>(size));
    file.unmap(mapped);
    return fits ? decode(file, maxPixelSize) : std::nullopt;
}

std::optional<Image> QtFfmpegImages::decodeData(const std::vector<std::uint8_t>& bytes, int maxPixelSize) {
    if (bytes.empty() || !pngChunksFitIn(bytes.data(), bytes.size())) {
        return std::nullopt;
    }
    // Read in place: the bytes outlive the buffer.
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return decode(buffer, maxPixelSize);
}

std::optional<std::vector<std::uint8_t>> QtFfmpegImages::encodeJpeg(const Image& image, double quality) {
    if (image.isEmpty() || image.rgba.size() != image.cost() || !std::isfinite(quality)) {
        return std::nullopt;
    }
    const QImage picture(image.rgba.data(), image.width, image.height, 4 * image.width,
                         QImage::Format_RGBA8888);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100)));
    if (!writer.write(picture)) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

FrameResult QtFfmpegImages::extractFrame(const std::string& filmPath, double seconds, double toleranceBefore,
                                         double toleranceAfter, int maxWidth, int maxHeight) {
    return extractFilmFrame(filmPath, seconds, toleranceBefore, toleranceAfter, maxWidth, maxHeight);
}

std::string QtFfmpegImages::filmError(const std::string& path) {
    return filmFileError(path);
}

} // namespace drovane::desktop
