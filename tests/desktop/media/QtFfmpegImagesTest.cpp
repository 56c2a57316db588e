#include "desktop/media/QtFfmpegImages.h"

#include "desktop/MediaFixtures.h"
#include "fakes/TempDir.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QtEndian>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

extern "C" {
#include <libavutil/crc.h>
}

namespace drovane::desktop {
namespace {

using namespace fixtures;

std::string encoded(const QImage& picture, const char* format, int quality = 90) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    EXPECT_TRUE(writer.write(picture)) << format << ": " << writer.errorString().toStdString();
    return bytes.toStdString();
}

std::vector<std::uint8_t> asBytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// Qt's ceiling on what one decode may allocate, lowered for a test and put back after.
class AllocationLimit {
public:
    explicit AllocationLimit(int megabytes) : m_old(QImageReader::allocationLimit()) {
        QImageReader::setAllocationLimit(megabytes);
    }
    ~AllocationLimit() { QImageReader::setAllocationLimit(m_old); }

private:
    int m_old;
};

class QtFfmpegImagesTest : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::string& bytes) { return dir.write(name, bytes); }

    QtFfmpegImages images;
    fakes::TempDir dir;
};

// From bytes or from a file of any name (the cache keeps previews as "<id>-preview.img"), scaled
// down to fit 560 and never enlarged.
TEST_F(QtFfmpegImagesTest, PicturesDecodeWithin560FromBytesOrAFileOfAnyName) {
    const struct {
        const char* name;
        std::string bytes;
        int width, height;
    } cases[] = {
        {"large.jpg", encoded(busyPicture(6000, 4000), "jpeg"), 560, 373},
        {"P-preview.img", encoded(busyPicture(1200, 600), "webp"), 560, 280},
        {"small.webp", encoded(busyPicture(300, 200), "webp"), 300, 200},
        {"misnamed.png", encoded(busyPicture(100, 50), "jpeg"), 100, 50},
    };
    // A whole decode of the large JPEG would need 96 MB; Qt refuses any decode above this.
    AllocationLimit limit(8);
    ASSERT_TRUE(QImageReader(QString::fromStdString(write("whole.jpg", cases[0].bytes))).read().isNull())
        << "the limit does not bind a full-size decode";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto picture = images.decodeFile(write(c.name, c.bytes), 560);
        ASSERT_TRUE(picture);
        EXPECT_TRUE(images.decodeData(asBytes(c.bytes), 560) == picture);
        EXPECT_EQ(sizeOf(*picture), std::pair(c.width, c.height));
        EXPECT_EQ(picture->rgba.size(), picture->cost());
        EXPECT_GT(distinctColours(*picture), 100u);
        // Still the same picture: the gradient runs from black at the top left to red on the right.
        EXPECT_LT(meanColour(*picture, 0, 0, 0.05, 0.05).r, 30);
        EXPECT_GT(meanColour(*picture, 0.95, 0, 1, 0.05).r, 220);
    }
}

TEST_F(QtFfmpegImagesTest, TheExifOrientationTurnsThePictureUpright) {
    // EXIF orientation 6 is a quarter turn clockwise, 3 a half turn, 8 three quarters.
    for (auto [orientation, turns] : {std::pair{1, 0}, {6, 1}, {3, 2}, {8, 3}}) {
        const std::string jpeg = withExifOrientation(
            encoded(halvesPicture(400, 200, sideThatTurnsToTop(turns)), "jpeg"), orientation);
        const auto picture = images.decodeData(asBytes(jpeg), 560);
        ASSERT_TRUE(picture) << orientation;
        EXPECT_EQ(sizeOf(*picture), turns % 2 ? std::pair(200, 400) : std::pair(400, 200)) << orientation;
        EXPECT_TRUE(isRed(meanColour(*picture, 0, 0, 1, 0.4))) << orientation << ": red is not on top";
        EXPECT_TRUE(isBlue(meanColour(*picture, 0, 0.6, 1, 1))) << orientation << ": blue is not below";
    }
    // Scaled while decoding and turned afterwards: the longer side still ends at 560.
    const std::string large = withExifOrientation(encoded(halvesPicture(4000, 3000, Side::Left), "jpeg"), 6);
    const auto turned = images.decodeFile(write("turned.jpg", large), 560);
    ASSERT_TRUE(turned);
    EXPECT_EQ(sizeOf(*turned), std::pair(420, 560));
    EXPECT_TRUE(isRed(meanColour(*turned, 0, 0, 1, 0.4)));
}

TEST_F(QtFfmpegImagesTest, JpegEncodingKeepsThePictureAndRefusesWhatIsNoPicture) {
    const Image frame = fromQImage(busyPicture(560, 315));
    const auto at82 = images.encodeJpeg(frame, 0.82);
    ASSERT_TRUE(at82);
    EXPECT_TRUE(at82->size() > 2 && (*at82)[0] == 0xFF && (*at82)[1] == 0xD8) << "a JPEG starts with SOI";
    const auto back = images.decodeData(*at82, 560);
    ASSERT_TRUE(back);
    EXPECT_EQ(sizeOf(*back), std::pair(560, 315));
    for (auto [x, y] : {std::pair{0.1, 0.1}, {0.5, 0.5}, {0.9, 0.8}}) {
        EXPECT_LE(colourDistance(meanColour(*back, x, y, x + 0.1, y + 0.1),
                                 meanColour(frame, x, y, x + 0.1, y + 0.1)),
                  8)
            << x << "," << y;
    }
    EXPECT_FALSE(images.encodeJpeg(Image{}, 0.82));
    EXPECT_FALSE(images.encodeJpeg(Image{10, 10, std::vector<std::uint8_t>(12)}, 0.82)); // pixels missing
}

TEST_F(QtFfmpegImagesTest, WhatIsNoPictureGivesNothing) {
    const std::string png = encoded(busyPicture(64, 64), "png");
    const std::string jpeg = encoded(busyPicture(640, 480), "jpeg");
    // A PNG header announcing 60000 x 60000 pixels: 14 GB if anyone believed it.
    std::string hostile = png;
    const unsigned char huge[] = {0x00, 0x00, 0xEA, 0x60, 0x00, 0x00, 0xEA, 0x60};
    hostile.replace(16, 8, reinterpret_cast<const char*>(huge), 8);
    // Its checksum made right again: a wrong one alone would have it refused.
    const std::uint32_t crc = qToBigEndian(~av_crc(av_crc_get_table(AV_CRC_32_IEEE_LE), 0xFFFFFFFFu,
                                                   reinterpret_cast<const std::uint8_t*>(&hostile[12]), 17));
    hostile.replace(29, 4, reinterpret_cast<const char*>(&crc), 4);

    const std::pair<const char*, std::string> cases[] = {
        // clang-format off
        {"empty", ""},
        {"html", "<html><body>Not found</body></html>"},
        {"noise", std::string(4096, '\x5a')},
        {"png signature only", png.substr(0, 8)},
        {"jpeg header only", jpeg.substr(0, 20)},
        {"hostile png", hostile},
        // clang-format on
    };
    for (const auto& [name, bytes] : cases) {
        EXPECT_FALSE(images.decodeData(asBytes(bytes), 560)) << name;
        EXPECT_FALSE(images.decodeFile(write("case.img", bytes), 560)) << name;
    }
    EXPECT_FALSE(images.decodeFile(dir / "missing.jpg", 560));
    EXPECT_FALSE(images.decodeFile(dir.path(), 560));
    EXPECT_FALSE(images.decodeData(asBytes(jpeg), 0));

    // A JPEG cut short in its data decodes as far as it goes, or not at all, within bounds.
    const auto cut = images.decodeData(asBytes(jpeg.substr(0, jpeg.size() / 2)), 560);
    EXPECT_TRUE(!cut || sizeOf(*cut) == std::pair(560, 420));
}

// The thumbnail cache's two queues decode pictures and take films' frames at once: as many
// threads as both run, each getting what one decode alone gives.
TEST_F(QtFfmpegImagesTest, ConcurrentDecodesAndFramesGiveTheSerialResults) {
    ASSERT_TRUE(patternFilm(dir / "e.mov", Codec::H264, 1280, 720, 3));
    ASSERT_TRUE(patternFilm(dir / "f.mov", Codec::Hevc10, 640, 360, 3));
    const std::vector<std::string> files{
        write("a.jpg", encoded(busyPicture(3000, 2000), "jpeg")),
        write("b.img", encoded(busyPicture(1200, 600), "webp")),
        write("c.png", encoded(busyPicture(900, 900), "png")),
        write("d.img", "not a picture"),
        dir / "e.mov",
        dir / "f.mov",
        dir / "missing.mov",
    };
    auto decode = [&](const std::string& file) {
        return file.ends_with(".mov") ? images.extractFrame(file, 2, 1, 1, 560, 560).image
                                      : images.decodeFile(file, 560);
    };
    std::vector<std::optional<Image>> serial;
    for (const std::string& file : files) {
        serial.push_back(decode(file));
    }
    EXPECT_TRUE(serial[0] && serial[1] && serial[2] && serial[4] && serial[5]);
    EXPECT_FALSE(serial[3] || serial[6]);

    std::vector<std::vector<std::optional<Image>>> results(10);
    std::vector<std::thread> workers;
    for (auto& result : results) {
        workers.emplace_back([&] {
            for (int round = 0; round < 3; ++round) {
                for (const std::string& file : files) {
                    result.push_back(decode(file));
                }
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    for (const auto& result : results) {
        ASSERT_EQ(result.size(), 3 * files.size());
        for (std::size_t i = 0; i < result.size(); ++i) {
            EXPECT_TRUE(result[i] == serial[i % files.size()]) << files[i % files.size()];
        }
    }
}

} // namespace
} // namespace drovane::desktop
