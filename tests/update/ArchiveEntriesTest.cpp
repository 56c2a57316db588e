#include "update/ArchiveEntries.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

using Type = ArchiveEntry::Type;

TEST(ArchiveEntries, OnlyTheBundleAsPlainFilesAndFoldersMayBeUnpacked) {
    const std::vector<ArchiveEntry> bundle = {
        {"Drovane.app/", Type::Folder, 0},
        {"Drovane.app/Contents/Info.plist", Type::RegularFile, 900},
        {"Drovane.app/Contents/MacOS/drovane", Type::RegularFile, 4 << 20}};
    EXPECT_EQ(refusedArchive(bundle), std::nullopt);

    struct Case {
        const char* name;
        ArchiveEntry extra;
        const char* reasonStart;
    };
    // clang-format off
    const Case cases[] = {
        {"absolute", {"/etc/passwd", Type::RegularFile, 1}, "an absolute path"},
        {"climbing out", {"Drovane.app/../../.bashrc", Type::RegularFile, 1}, "a path with an empty"},
        {"a dot", {"Drovane.app/./x", Type::RegularFile, 1}, "a path with an empty"},
        {"an empty component", {"Drovane.app//x", Type::RegularFile, 1}, "a path with an empty"},
        {"no name", {"", Type::RegularFile, 1}, "an entry without a name"},
        {"another top level", {"Evil.app/Contents/x", Type::RegularFile, 1}, "something besides Drovane.app"},
        {"a prefix of the name", {"Drovane.appx/x", Type::RegularFile, 1}, "something besides Drovane.app"},
        {"a symbolic link", {"Drovane.app/Contents/lib", Type::SymbolicLink, 0}, "a link"},
        {"a hard link", {"Drovane.app/Contents/hard", Type::HardLink, 0}, "a link"},
        {"a FIFO", {"Drovane.app/Contents/fifo", Type::Other, 0}, "a device, FIFO or socket"},
        {"a bomb", {"Drovane.app/big", Type::RegularFile, ArchiveLimits::maxUnpackedBytes},"more than 2 GiB announced"},
        {"an overflowing size", {"Drovane.app/big", Type::RegularFile, ~std::uint64_t{0}},"more than 2 GiB announced"},
    };
    // clang-format on
    for (const Case& c : cases) {
        auto entries = bundle;
        entries.push_back(c.extra);
        const auto why = refusedArchive(entries);
        ASSERT_TRUE(why) << c.name;
        EXPECT_TRUE(why->starts_with(c.reasonStart)) << c.name << ": " << *why;
    }

    std::vector<ArchiveEntry> many(ArchiveLimits::maxEntries, {"Drovane.app/f", Type::RegularFile, 0});
    EXPECT_EQ(refusedArchive(many), std::nullopt);
    many.push_back(many.back());
    EXPECT_EQ(refusedArchive(many), "more than 20000 entries");
    EXPECT_EQ(refusedArchive({}), "an empty archive");
}

} // namespace
} // namespace drovane
