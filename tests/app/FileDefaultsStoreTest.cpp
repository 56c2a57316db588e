#include "app/FileDefaultsStore.h"

#include "fakes/FakePlatform.h"
#include "support/Files.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace drovane {
namespace {

class FileDefaultsStoreTest : public testing::Test {
protected:
    std::string folder() const { return fake.host->settingsDirectory(); }
    fakes::FakePlatform fake;
};

TEST_F(FileDefaultsStoreTest, EveryKindSurvivesAReopenFromDisk) {
    // Every kind's form is the property list's (XmlPropertyListTest); here, that the file is its.
    const Value::Dictionary values{
        {"b", true}, {"d", Date{812'345'678'000'000}}, {"a", Value::Array{"A", "B"}}};
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

// Real kills at every moment of a write are the built program's own test; here, which files an
// open sweeps away and which it keeps.
TEST_F(FileDefaultsStoreTest, AFailedOrKilledWriteLeavesTheOldFileWholeAndTheNextOpenSweepsItsRest) {
    const std::string path = folder() + "/app.drovane.plist";
    FileDefaultsStore::open(folder(), "app.drovane", fake.log)->set("selectedVideo", "/old.mov");
    const auto before = readWholeFile(path);
    ASSERT_TRUE(before);
    // The process "dies" between writing the temporary file and renaming it.
    FileDefaultsStore::open(folder(), "app.drovane", fake.log, [](const char*, const char*) {
        errno = EIO;
        return -1;
    })->set("selectedVideo", "/new.mov");
    EXPECT_EQ(readWholeFile(path), before);
    EXPECT_EQ(fake.log->countStartingWith("Drovane: cannot write defaults file " + path), 1u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder()), {}), 1) << "no temporary left";

    // What a write killed before its rename leaves, and names such a write never leaves, which stay.
    fake.host->tree().write("home/.config/drovane/app.drovane.plist.Xy12Zw", "<plist>half");
    const std::set<std::string> others = {"app.drovane.plist.corrupt", "app.drovane.plist.Ab12C",
                                          "app.drovane.plist.Ab12Cde", "app.drovane.plist.Ab-2Cd",
                                          "drovane.plist.Ab12Cd",      "app.drovane.Ab12Cd"};
    for (const std::string& name : others) {
        fake.host->tree().write("home/.config/drovane/" + name, name);
    }
    std::filesystem::create_directory(folder() + "/app.drovane.plist.Dir123");
    fake.log->clear();
    EXPECT_EQ(FileDefaultsStore::open(folder(), "app.drovane", fake.log)->string("selectedVideo"),
              "/old.mov");
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder())) {
        names.insert(entry.path().filename());
    }
    std::set<std::string> expected(others);
    expected.insert({"app.drovane.plist", "app.drovane.plist.Dir123"});
    EXPECT_EQ(names, expected);
    EXPECT_TRUE(fake.log->lines().empty());
}

TEST_F(FileDefaultsStoreTest, ACorruptFileIsKeptAsideAndTheStoreStartsEmpty) {
    // Broken XML, and a well-formed list whose root is not a dictionary.
    for (const std::string text : {"<plist><dict><key>selectedVideo</key>", "<plist><array/></plist>"}) {
        SCOPED_TRACE(text);
        const std::string path = fake.host->tree().write("home/.config/drovane/app.drovane.plist", text);
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

TEST_F(FileDefaultsStoreTest, OtherReadersOfTheFormatReadOurFile) {
    {
        auto store = FileDefaultsStore::open(folder(), "app.drovane", fake.log);
        store->set("firstLaunch", Date{812'345'678'654'321}); // a fraction of a second too
        store->set("selectedVideo", "/films/Über & <Wave>.mov");
        store->set("favorites", Value::Array{"A", "B"});
        store->set("pauseOnLowPower", false);
    }
    const std::string path = folder() + "/app.drovane.plist";
    const std::string binary = fake.host->tree() / "converted.bplist";
    EXPECT_EQ(std::system(("plistutil -i '" + path + "' -f bin -o '" + binary + "'").c_str()), 0);
    EXPECT_EQ(std::system(("python3 -c 'import plistlib, sys; plistlib.load(open(sys.argv[1], \"rb\"))' '" +
                           path + "'")
                              .c_str()),
              0);
    auto converted = FileDefaultsStore::open(folder(), "app.drovane", fake.log);
    EXPECT_EQ(converted->value("firstLaunch"), Value(Date{812'345'678'000'000}))
        << "written in whole seconds";
}

TEST_F(FileDefaultsStoreTest, ABurstOfChangesEndsWithTheLastOnDiskInFewWrites) {
    std::atomic<int> writes = 0;
    {
        auto store =
            FileDefaultsStore::open(folder(), "app.drovane", fake.log, [&](const char* from, const char* to) {
                ++writes;
                return std::rename(from, to);
            });
        for (int i = 0; i < 200; ++i) {
            store->set("selectedVideo", "/films/" + std::to_string(i) + ".mov");
        }
    } // released at once, as at exit: the last value still goes out
    EXPECT_LT(writes.load(), 100) << "changes made while a write is under way go out together";
    EXPECT_EQ(FileDefaultsStore::open(folder(), "app.drovane", fake.log)->string("selectedVideo"),
              "/films/199.mov");
}

} // namespace
} // namespace drovane
