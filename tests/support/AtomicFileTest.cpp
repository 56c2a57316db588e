#include "support/AtomicFile.h"

#include "fakes/TempDir.h"
#include "support/Files.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace drovane {
namespace {

namespace fs = std::filesystem;

TEST(MoveFileWithoutReplacing, MovesOntoAFreeNameNeverOverAnExistingFileAndNeverFromNowhere) {
    fakes::TempDir tree;
    const std::string from = tree.write("partial/a", "new film");
    const std::string to = tree.write("videos/A.mov", "old film");

    auto refused = moveFileWithoutReplacing(from, to);
    ASSERT_TRUE(refused);
    EXPECT_NE(refused->find("exists"), std::string::npos) << *refused;
    EXPECT_EQ(readWholeFile(to), "old film");
    EXPECT_EQ(readWholeFile(from), "new film");

    const std::string free = tree / "videos/B.mov";
    EXPECT_EQ(moveFileWithoutReplacing(from, free), std::nullopt);
    EXPECT_EQ(readWholeFile(free), "new film");
    EXPECT_FALSE(fs::exists(from));

    // A missing source or folder is an error.
    EXPECT_TRUE(moveFileWithoutReplacing(from, tree / "x"));
    EXPECT_TRUE(moveFileWithoutReplacing(free, tree / "no/such/folder/A.mov"));
    EXPECT_EQ(readWholeFile(free), "new film");
}

} // namespace
} // namespace drovane
