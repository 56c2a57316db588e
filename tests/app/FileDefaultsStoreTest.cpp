#include "app/FileDefaultsStore.h"

#include "fakes/FakePlatform.h"
#include "support/AtomicFile.h"
#include "support/Files.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>

namespace drovane {
namespace {

class FileDefaultsStoreTest : public testing::Test {
protected:
    std::string folder() const { return fake.host->homeDirectory() + "/Library/Preferences"; }
    fakes::FakePlatform fake;
};

TEST_F(FileDefaultsStoreTest, EveryKindSurvivesAReopenFromDisk) {
    const Value::Dictionary values{
        {"b", true},
        {"i", std::int64_t{-42}},
        {"r", 1.0 / 3.0},
        {"s", "Über & <Wave>"},
        {"d", Date{812'345'678'123'457}},
        {"past", Date::distantPast()},
        {"data", Value::Data{0, 255, 10}},
        {"a", Value::Array{"A", "B"}},
        {"dict", Value::Dictionary{{"inner", 1.5}}},
    };
    {
        auto store = FileDefaultsStore::open(folder(), "app.drovane", fake.log);
        ASSERT_TRUE(store);
        for (const auto& [key, value] : values) {
            store->set(key, value);
        }
        store->set("gone", 1);
        store->remove("gone");
        EXPECT_EQ(store->path(), folder() + "/app.drovane.plist");
    } // the last reference goes: the next open reads the file
    auto reopened = FileDefaultsStore::open(folder(), "app.drovane", fake.log);
    for (const auto& [key, value] : values) {
        EXPECT_EQ(reopened->value(key), value) << key;
    }
    EXPECT_FALSE(reopened->value("gone"));
}

TEST_F(FileDefaultsStoreTest, OpensOfOneDomainShareTheirValues) {
    auto a = FileDefaultsStore::open(folder(), "app.drovane", fake.log);
    auto b = FileDefaultsStore::open(folder(), "app.drovane", fake.log);
    a->set("k", "v");
    EXPECT_EQ(b->string("k"), "v");
    auto suite = a->suite("drovane");
    ASSERT_TRUE(suite);
    EXPECT_FALSE(suite->value("k"));
    for (const char* bad : {"", "../escape", ".hidden", "a/b"}) {
        EXPECT_FALSE(a->suite(bad)) << bad;
    }
}

TEST_F(FileDefaultsStoreTest, AFailedRenameLeavesTheOldFileWhole) {
    const std::string path = folder() + "/app.drovane.plist";
    {
        auto store = FileDefaultsStore::open(folder(), "app.drovane", fake.log);
        store->set("selectedVideo", "/old.mov");
    }
    const auto before = readWholeFile(path);
    ASSERT_TRUE(before);
    {
        // The process "dies" between writing the temporary file and renaming it.
        auto store = FileDefaultsStore::open(folder(), "app.drovane", fake.log, [](const char*, const char*) {
            errno = EIO;
            return -1;
        });
        store->set("selectedVideo", "/new.mov");
    }
    EXPECT_EQ(readWholeFile(path), before);
    EXPECT_EQ(fake.log->countStartingWith("Drovane: cannot write defaults file " + path), 1u);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder()), {}), 1);
    EXPECT_EQ(FileDefaultsStore::open(folder(), "app.drovane", fake.log)->string("selectedVideo"),
              "/old.mov");
}

TEST_F(FileDefaultsStoreTest, ACorruptFileIsKeptAsideAndTheStoreStartsEmpty) {
    // Broken XML, and a well-formed list whose root is not a dictionary.
    for (const std::string text : {"<plist><dict><key>selectedVideo</key>", "<plist><array/></plist>"}) {
        SCOPED_TRACE(text);
        const std::string path = fake.host->tree().write("home/Library/Preferences/app.drovane.plist", text);
        fake.log->clear();
        auto store = FileDefaultsStore::open(folder(), "app.drovane", fake.log);
        EXPECT_FALSE(store->value("selectedVideo"));
        EXPECT_EQ(readWholeFile(path + ".corrupt"), text);
        EXPECT_FALSE(std::filesystem::exists(path));
        EXPECT_EQ(fake.log->lines(),
                  std::vector<std::string>{"Drovane: defaults file " + path +
                                           " could not be read, moved aside to " + path + ".corrupt"});

        store->set("autoUpdate", false);
        EXPECT_EQ(readWholeFile(path + ".corrupt"), text);
    }
}

} // namespace
} // namespace drovane
