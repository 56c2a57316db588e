#pragma once

// Films and pictures made at test time with the ffmpeg tool and Qt, and what tests look for in
// decoded pictures.

#include "desktop/ChildProcess.h"
#include "platform/Image.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace drovane::fixtures {

// Runs a program found on PATH; true when it exits with status 0. What it says on standard error
// is passed on, so that a fixture that could not be made says why.
inline bool run(const std::vector<std::string>& arguments) {
    desktop::testing::ChildProcess process(arguments);
    const auto status = process.waitForExit(std::chrono::minutes(10));
    for (const std::string& line : process.lines()) {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    return status == 0;
}

// ffmpeg with the options every fixture shares, then `arguments`, writing `output`.
inline bool ffmpeg(std::vector<std::string> arguments, const std::string& output) {
    std::vector<std::string> command{"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    command.push_back(output);
    return run(command);
}

enum class Codec { H264, Hevc10 };

// `arguments` followed by the encoder's options.
inline std::vector<std::string> encodedAs(Codec codec, std::vector<std::string> arguments) {
    // 10-bit HEVC tagged "hvc1", as the system's own aerial films come.
    const std::vector<std::string> encoder =
        codec == Codec::H264
            ? std::vector<std::string>{"-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p"}
            : std::vector<std::string>{
                  "-c:v",     "libx265",     "-preset", "ultrafast", "-x265-params", "log-level=error",
                  "-pix_fmt", "yuv420p10le", "-tag:v",  "hvc1"};
    arguments.insert(arguments.end(), encoder.begin(), encoder.end());
    return arguments;
}

// A busy test pattern of `seconds` seconds at 30 frames a second.
inline bool patternFilm(const std::string& output, Codec codec, int width, int height, double seconds = 4,
                        std::vector<std::string> extra = {}) {
    auto arguments = encodedAs(codec, {"-f", "lavfi", "-i",
                                       "testsrc2=s=" + std::to_string(width) + "x" + std::to_string(height) +
                                           ":r=30:d=" + std::to_string(seconds)});
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return ffmpeg(arguments, output);
}

// A film that is red for its first second, green for the next two and blue after that, so a
// frame's colour tells when it was shown. `keyframeInterval` frames between keyframes.
inline bool timedFilm(const std::string& output, double seconds, int keyframeInterval) {
    const std::string graph = "color=c=red:s=320x180:r=30:d=1[a];color=c=green:s=320x180:r=30:d=2[b];"
                              "color=c=blue:s=320x180:r=30:d=" +
                              std::to_string(std::max(seconds - 3, 1.0)) +
                              "[c];[a][b][c]concat=n=3:v=1:a=0,trim=duration=" + std::to_string(seconds);
    auto arguments = encodedAs(Codec::H264, {"-filter_complex", graph});
    const std::string interval = std::to_string(keyframeInterval);
    arguments.insert(arguments.end(), {"-g", interval, "-keyint_min", interval, "-sc_threshold", "0"});
    return ffmpeg(arguments, output);
}

// The file's bytes.
inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A JPEG with an EXIF block whose orientation tag holds `orientation` (1..8), placed right
// after the start-of-image marker.
inline std::string withExifOrientation(const std::string& jpeg, int orientation) {
    // APP1 and its length, the identifier, a big-endian TIFF header with the first IFD at 8, one
    // entry (Orientation, SHORT, count 1, the value) and no next IFD.
    using namespace std::string_literals;
    const std::string exif = "\xFF\xE1\x00\x22"
                             "Exif\0\0"s +
                             "MM\x00\x2A\0\0\0\x08"
                             "\x00\x01"s +
                             "\x01\x12\x00\x03\0\0\0\x01\x00"s + static_cast<char>(orientation) +
                             "\0\0\0\0\0\0"s;
    return jpeg.substr(0, 2) + exif + jpeg.substr(2);
}

// A busy picture: a colour gradient with stripes, so that every part of it differs.
inline QImage busyPicture(int width, int height) {
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < width; ++x) {
            line[x] = qRgb(255 * x / width, 255 * y / height, ((x / 37 + y / 53) % 2) * 200);
        }
    }
    return picture;
}

// A picture whose halves are red and blue: red on the left, top, right or bottom.
enum class Side { Left, Top, Right, Bottom };

inline QImage halvesPicture(int width, int height, Side red) {
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    const bool sideBySide = red == Side::Left || red == Side::Right;
    const QRect all(0, 0, width, height);
    const QRect first = sideBySide ? QRect(0, 0, width / 2, height) : QRect(0, 0, width, height / 2);
    const QRect second = sideBySide ? all.adjusted(width / 2, 0, 0, 0) : all.adjusted(0, height / 2, 0, 0);
    QPainter(&picture).fillRect(red == Side::Left || red == Side::Top ? first : second, Qt::red);
    return picture;
}

// Where red has to be stored for it to end on top after `quarterTurns` clockwise turns.
inline Side sideThatTurnsToTop(int quarterTurns) {
    static const Side sides[] = {Side::Top, Side::Left, Side::Bottom, Side::Right};
    return sides[((quarterTurns % 4) + 4) % 4];
}

struct Rgb {
    int r = 0, g = 0, b = 0;
};

// The mean colour of the part [x0, x1) x [y0, y1) given as fractions of the picture.
inline Rgb meanColour(const Image& image, double x0, double y0, double x1, double y1) {
    long long sum[3] = {0, 0, 0};
    long long count = 0;
    for (int y = static_cast<int>(y0 * image.height); y < static_cast<int>(y1 * image.height); ++y) {
        for (int x = static_cast<int>(x0 * image.width); x < static_cast<int>(x1 * image.width); ++x) {
            const std::uint8_t* p = &image.rgba[(static_cast<std::size_t>(y) * image.width + x) * 4];
            sum[0] += p[0];
            sum[1] += p[1];
            sum[2] += p[2];
            ++count;
        }
    }
    if (count == 0) {
        return {};
    }
    return {static_cast<int>(sum[0] / count), static_cast<int>(sum[1] / count),
            static_cast<int>(sum[2] / count)};
}

// The largest difference of any channel.
inline int colourDistance(Rgb a, Rgb b) {
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

inline std::pair<int, int> sizeOf(const Image& image) {
    return {image.width, image.height};
}

inline bool isRed(Rgb c) {
    return c.r > 180 && c.g < 70 && c.b < 70;
}
inline bool isBlue(Rgb c) {
    return c.b > 180 && c.r < 70 && c.g < 70;
}
inline bool isGreen(Rgb c) {
    return c.g > 90 && c.r < 60 && c.b < 60;
}

// How many different colours (to 4 bits a channel) the picture holds: a uniform or blank
// picture has one or two, a real frame many.
inline std::size_t distinctColours(const Image& image) {
    std::set<std::tuple<int, int, int>> colours;
    for (std::size_t i = 0; i + 3 < image.rgba.size(); i += 4) {
        colours.emplace(image.rgba[i] >> 4, image.rgba[i + 1] >> 4, image.rgba[i + 2] >> 4);
    }
    return colours.size();
}

inline Image fromQImage(const QImage& picture) {
    const QImage rgba = picture.convertToFormat(QImage::Format_RGBA8888);
    Image image{rgba.width(), rgba.height(), {}};
    for (int y = 0; y < rgba.height(); ++y) {
        const auto* line = rgba.constScanLine(y);
        image.rgba.insert(image.rgba.end(), line, line + 4 * rgba.width());
    }
    return image;
}

} // namespace drovane::fixtures
