#include "support/AtomicFile.h"

#include "fakes/TempDir.h"
#include "support/Files.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace drovane {
namespace {

namespace fs = std::filesystem;

TEST(MoveFileWithoutReplacing, MovesOntoAFreeNameAndNeverOverAnExistingFile) {
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
}

TEST(MoveFileWithoutReplacing, AMissingSourceOrFolderIsAnError) {
    fakes::TempDir tree;
    EXPECT_TRUE(moveFileWithoutReplacing(tree / "none", tree / "x"));
    const std::string from = tree.write("a", "film");
    EXPECT_TRUE(moveFileWithoutReplacing(from, tree / "no/such/folder/A.mov"));
    EXPECT_EQ(readWholeFile(from), "film");
}

} // namespace
} // namespace drovane
