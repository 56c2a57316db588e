#include "desktop/media/FfmpegFrames.h"

#include "desktop/MediaFixtures.h"
#include "fakes/TempDir.h"

#include <QImage>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

extern "C" {
#include <libavutil/display.h>
}

namespace drovane::desktop {
namespace {

namespace fs = std::filesystem;
using namespace fixtures;

// What the thumbnail cache asks for: 2 s, one second either side, inside 560 x 560.
FrameResult thumbnailFrame(const std::string& path) {
    return extractFilmFrame(path, 2, 1, 1, 560, 560);
}

class FfmpegFramesTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return dir / name; }

    fakes::TempDir dir;
};

TEST(FfmpegFrames, DisplayMatricesReadAsClockwiseQuarterTurns) {
    const struct {
        double clockwise; // as FFmpeg's own helper makes a matrix
        bool flip;
        DisplayOrientation expected;
    } cases[] = {
        {0, false, {0, false}},    {90, false, {1, false}},   {-90, false, {3, false}},
        {180, false, {2, false}},  {-180, false, {2, false}}, {270, false, {3, false}},
        {89.6, false, {1, false}}, {44, false, {0, false}},   {46, false, {1, false}},
        {0, true, {0, true}},      {90, true, {1, true}},     {-90, true, {3, true}},
    };
    for (const auto& c : cases) {
        std::int32_t matrix[9];
        av_display_rotation_set(matrix, c.clockwise);
        if (c.flip) {
            av_display_matrix_flip(matrix, 1, 0);
        }
        EXPECT_EQ(orientationFromDisplayMatrix(matrix), c.expected) << c.clockwise << " " << c.flip;
    }
    EXPECT_EQ(orientationFromDisplayMatrix(nullptr), DisplayOrientation{});
    const std::int32_t zeros[9] = {};
    EXPECT_EQ(orientationFromDisplayMatrix(zeros), DisplayOrientation{});
}

TEST_F(FfmpegFramesTest, FramesFitInside560KeepingTheirShape) {
    const struct {
        const char* name;
        Codec codec;
        int width, height;
        std::vector<std::string> extra;
        int expectedWidth, expectedHeight;
    } cases[] = {
        {"h264-720p.mov", Codec::H264, 1280, 720, {}, 560, 315},
        {"hevc10-1080p.mov", Codec::Hevc10, 1920, 1080, {}, 560, 315},
        {"h264-portrait.mov", Codec::H264, 720, 1280, {}, 315, 560},
        {"h264-small.mov", Codec::H264, 320, 180, {}, 320, 180}, // never enlarged
        // PAL widescreen pixels are 16:15 wide: 720 x 576 shows as 768 x 576.
        {"h264-anamorphic.mov", Codec::H264, 720, 576, {"-vf", "setsar=16/15"}, 560, 420},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(patternFilm(path(c.name), c.codec, c.width, c.height, 3, c.extra)) << c.name;
        const FrameResult frame = thumbnailFrame(path(c.name));
        ASSERT_TRUE(frame.image) << c.name << ": " << frame.error;
        EXPECT_TRUE(frame.error.empty()) << c.name;
        EXPECT_EQ(sizeOf(*frame.image), std::pair(c.expectedWidth, c.expectedHeight)) << c.name;
        EXPECT_EQ(frame.image->rgba.size(), frame.image->cost()) << c.name;
        EXPECT_GT(distinctColours(*frame.image), 40u) << c.name << " came out nearly uniform";
    }
}

TEST_F(FfmpegFramesTest, TheFrameIsTheFirstInsideTheWindow) {
    // Red until 1 s, green until 3 s, blue after.
    const struct {
        const char* name;
        double length;
        int keyframeInterval;
        double seconds, before, after;
        bool (*colour)(Rgb);
    } cases[] = {
        // The keyframe before 2 s is at 0 s: decoding runs on to the first frame at 1 s.
        // clang-format off
        {"one-keyframe.mov", 5, 1000, 2, 1, 1, isGreen},
        {"short.mov", 1.5, 1000, 2, 1, 1, isGreen},
        {"late-window.mov", 5, 1000, 4, 0.5, 0.5, isBlue},
        {"early-window.mov", 5, 1000, 0.5, 0.5, 0.2, isRed},
        // clang-format on
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(timedFilm(path(c.name), c.length, c.keyframeInterval)) << c.name;
        const FrameResult frame = extractFilmFrame(path(c.name), c.seconds, c.before, c.after, 560, 560);
        ASSERT_TRUE(frame.image) << c.name << ": " << frame.error;
        const Rgb colour = meanColour(*frame.image, 0, 0, 1, 1);
        EXPECT_TRUE(c.colour(colour)) << c.name << ": " << colour.r << "," << colour.g << "," << colour.b;
    }

    // The colours survive the trip from YUV: "green" is #008000.
    const FrameResult green = thumbnailFrame(path("one-keyframe.mov"));
    ASSERT_TRUE(green.image);
    EXPECT_LE(colourDistance(meanColour(*green.image, 0.1, 0.1, 0.9, 0.9), {0, 128, 0}), 10);
}

TEST_F(FfmpegFramesTest, RotatedFilmsComeOutUpright) {
    for (int rotate : {90, 180, 270}) {
        // FFmpeg reads the "rotate" tag of a QuickTime track as a counterclockwise display turn.
        const int clockwiseTurns = (4 - rotate / 90) % 4;
        const std::string still = path("still" + std::to_string(rotate) + ".png");
        const std::string plain = path("plain" + std::to_string(rotate) + ".mov");
        const std::string film = path("rotated" + std::to_string(rotate) + ".mov");
        ASSERT_TRUE(
            halvesPicture(640, 360, sideThatTurnsToTop(clockwiseTurns)).save(QString::fromStdString(still)));
        ASSERT_TRUE(ffmpeg(encodedAs(Codec::H264, {"-loop", "1", "-framerate", "30", "-i", still, "-t", "4"}),
                           plain));
        ASSERT_TRUE(
            ffmpeg({"-i", plain, "-c", "copy", "-metadata:s:v:0", "rotate=" + std::to_string(rotate)}, film));

        const FrameResult frame = thumbnailFrame(film);
        ASSERT_TRUE(frame.image) << rotate << ": " << frame.error;
        const bool portrait = rotate != 180;
        EXPECT_EQ(sizeOf(*frame.image), portrait ? std::pair(315, 560) : std::pair(560, 315)) << rotate;
        EXPECT_TRUE(isRed(meanColour(*frame.image, 0, 0, 1, 0.4))) << rotate << ": red is not on top";
        EXPECT_TRUE(isBlue(meanColour(*frame.image, 0, 0.6, 1, 1))) << rotate << ": blue is not below";
    }
}

TEST_F(FfmpegFramesTest, BrokenFilmsFailWithAReason) {
    ASSERT_TRUE(patternFilm(path("whole.mov"), Codec::H264, 640, 360, 5));
    ASSERT_TRUE(patternFilm(path("faststart.mov"), Codec::H264, 640, 360, 5, {"-movflags", "+faststart"}));
    ASSERT_TRUE(timedFilm(path("blink.mov"), 0.5, 1000));
    const std::string whole = readBytes(path("whole.mov"));
    const std::string faststart = readBytes(path("faststart.mov"));

    writeBytes(path("empty.mov"), "");
    writeBytes(path("page.mov"), "<!DOCTYPE html><html><body>Sign in to the network</body></html>\n");
    ASSERT_EQ(::mkfifo(path("fifo.mov").c_str(), 0600), 0);
    std::string noise(200'000, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i) {
        noise[i] = static_cast<char>((i * 2654435761u) >> 13);
    }
    writeBytes(path("noise.mov"), noise);
    // The index of the default layout comes last: cut in half, nothing says what the data is.
    writeBytes(path("truncated.mov"), whole.substr(0, whole.size() / 2));
    // With the index first, the frames themselves are cut off after a fraction of a second.
    writeBytes(path("truncated-faststart.mov"), faststart.substr(0, faststart.size() / 20));
    fs::create_directories(path("folder.mov"));
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "sine=d=3", "-c:a", "aac"}, path("sound.mov")));
    QImage(64, 64, QImage::Format_RGB32).save(QString::fromStdString(path("picture.png")), "png");
    fs::copy_file(path("picture.png"), path("picture.mov"));
    // A playlist would have FFmpeg read whatever files it names.
    writeBytes(path("playlist.mov"),
               "#EXTM3U\n#EXT-X-TARGETDURATION:5\n#EXTINF:5,\n" + path("whole.mov") + "\n#EXT-X-ENDLIST\n");
    writeBytes(path("concat.mov"), "ffconcat version 1.0\nfile '" + path("whole.mov") + "'\n");
    // Beyond 8K: 38 million pixels a frame.
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "color=c=gray:s=8800x4320:r=1:d=3", "-c:v", "libx264", "-preset",
                        "ultrafast", "-pix_fmt", "yuv420p"},
                       path("huge.mov")));

    // Whether the header is a film's decides whether a download is kept; the frame is the
    // thumbnail's concern.
    const struct {
        const char* name;
        const char* errorStart;
        bool isFilm;
    } cases[] = {
        // clang-format off
        {"missing.mov", "cannot open ", false},
        {"empty.mov", "cannot open ", false},
        {"page.mov", "cannot open ", false},
        {"noise.mov", "cannot open ", false},
        {"truncated.mov", "cannot open ", false},
        {"picture.mov", "cannot open ", false},
        {"playlist.mov", "cannot open ", false},
        {"concat.mov", "cannot open ", false},
        {"folder.mov", "not a regular file: ", false},
        {"fifo.mov", "not a regular file: ", false},
        {"sound.mov", "no picture stream in ", false},
        {"truncated-faststart.mov", "no frame between 1 s and 3 s", false},
        {"huge.mov", "frames too large: 8800 x 4320", true},
        // clang-format on
        // The last of fifteen frames at 30 per second is shown at 14/30 s.
        {"blink.mov", "no frame between 1 s and 3 s (the film ends at 0.466 s)", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const FrameResult frame = thumbnailFrame(path(c.name));
        EXPECT_FALSE(frame.image);
        EXPECT_TRUE(frame.error.starts_with(c.errorStart)) << frame.error;
        EXPECT_EQ(filmFileError(path(c.name)).empty(), c.isFilm) << filmFileError(path(c.name));
    }

    // A server that sends part of a film as if it were all of it: with the index first, the film
    // opens, but it must not be kept as a film.
    const struct {
        const char* name;
        std::string bytes;
        bool isFilm;
    } cuts[] = {
        {"a twentieth", faststart.substr(0, faststart.size() / 20), false},
        {"half", faststart.substr(0, faststart.size() / 2), false},
        {"all but its last byte", faststart.substr(0, faststart.size() - 1), false},
        {"whole", faststart, true},
        {"whole with bytes after it", faststart + std::string(1000, '\0'), true},
        {"whole, index last", whole, true},
    };
    for (const auto& c : cuts) {
        writeBytes(path("cut.mov"), c.bytes);
        const std::string error = filmFileError(path("cut.mov"));
        EXPECT_EQ(error.empty(), c.isFilm) << c.name << ": " << error;
        if (!c.isFilm) {
            EXPECT_TRUE(error.starts_with("cut short: " + path("cut.mov") + " holds " +
                                          std::to_string(c.bytes.size()) + " of its "))
                << c.name << ": " << error;
        }
    }
}

// Refused before the file is looked at: a missing one would say it cannot be opened.
TEST_F(FfmpegFramesTest, InvalidRequestsAreRefused) {
    for (auto [w, h, before] : {std::tuple{0, 560, 1.0}, {560, -1, 1.0}, {560, 560, -1.0}}) {
        const FrameResult frame = extractFilmFrame(path("f.mov"), 2, before, 1, w, h);
        EXPECT_FALSE(frame.image);
        EXPECT_EQ(frame.error, "invalid frame request");
    }
}

} // namespace
} // namespace drovane::desktop
