#include "app/SettingsMigration.h"

#include "fakes/FakePlatform.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

class SettingsMigrationTest : public testing::Test {
protected:
    std::shared_ptr<DefaultsStore> legacy(const char* domain) { return fake.defaults->suite(domain); }
    fakes::FakePlatform fake;
};

TEST_F(SettingsMigrationTest, OnlyTheFirstLegacyDomainWithAChoiceIsCopied) {
    legacy("drovane")->set("selectedVideo", "/films/A.mov");
    legacy("drovane")->set("favorites", Value::Array{"A", "B"});
    legacy("drovane")->set("firstLaunch", Date{100});
    legacy("drovane")->set("autoUpdate", false); // not a live key
    legacy("lumenfold")->set("selectedVideo", "/films/L.mov");

    SettingsMigration::run(*fake.defaults);

    EXPECT_EQ(fake.defaults->snapshot(), (Value::Dictionary{{"selectedVideo", "/films/A.mov"},
                                                            {"favorites", Value::Array{"A", "B"}},
                                                            {"firstLaunch", Date{100}}}));
    EXPECT_EQ(fake.log->lines(), std::vector<std::string>{"Drovane: settings migrated from domain drovane"});
    // The source is left as it was.
    EXPECT_EQ(legacy("drovane")->string("selectedVideo"), "/films/A.mov");
}

TEST_F(SettingsMigrationTest, AnExistingChoiceStopsEverything) {
    fake.defaults->set("selectedVideo", Value(3)); // any value, even a mistyped one
    legacy("drovane")->set("selectedVideo", "/films/A.mov");
    legacy("drovane")->set("favorites", Value::Array{"A"});
    SettingsMigration::run(*fake.defaults);
    EXPECT_EQ(fake.defaults->snapshot(), (Value::Dictionary{{"selectedVideo", 3}}));
    EXPECT_TRUE(fake.log->lines().empty());
}

TEST_F(SettingsMigrationTest, SecondDomainIsUsedAndOnlyPresentKeysCopiedWithTheirTypes) {
    legacy("drovane")->set("selectedVideo", 5); // not a string: no choice
    legacy("lumenfold")->set("selectedVideo", "/films/L.mov");
    legacy("lumenfold")->set("firstLaunch", "not a date"); // copied whatever its type
    SettingsMigration::run(*fake.defaults);
    EXPECT_EQ(fake.defaults->snapshot(),
              (Value::Dictionary{{"selectedVideo", "/films/L.mov"}, {"firstLaunch", "not a date"}}));
    EXPECT_EQ(fake.log->lines(),
              std::vector<std::string>{"Drovane: settings migrated from domain lumenfold"});
}

TEST_F(SettingsMigrationTest, DomainsThatCannotOpenOrHoldNoChoiceCopyNothing) {
    fake.defaults->refuseSuite("drovane");
    legacy("lumenfold")->set("favorites", Value::Array{"A"});
    SettingsMigration::run(*fake.defaults);
    EXPECT_TRUE(fake.defaults->snapshot().empty());
    fake.defaults->refuseSuite("lumenfold");
    SettingsMigration::run(*fake.defaults);
    EXPECT_TRUE(fake.defaults->snapshot().empty());
    EXPECT_TRUE(fake.log->lines().empty());
}

TEST_F(SettingsMigrationTest, RunsAgainOnceTheChoiceIsGone) {
    legacy("drovane")->set("selectedVideo", "/films/A.mov");
    SettingsMigration::run(*fake.defaults);
    fake.defaults->remove("selectedVideo");
    SettingsMigration::run(*fake.defaults);
    EXPECT_EQ(fake.defaults->string("selectedVideo"), "/films/A.mov");
    EXPECT_EQ(fake.log->countStartingWith("Drovane: settings migrated"), 2u);
}

// The current domain as a process sees it that dies once `writesThatLand` changes have
// reached the disk: the next launch starts from `disk`.
class DyingStore final : public DefaultsStore {
public:
    DyingStore(std::shared_ptr<DefaultsStore> suites, int writesThatLand, Value::Dictionary start = {})
        : disk(start), m_values(std::move(start)), m_suites(std::move(suites)), m_landing(writesThatLand) {}

    std::optional<Value> value(const std::string& key) const override {
        auto it = m_values.find(key);
        return it == m_values.end() ? std::nullopt : std::optional(it->second);
    }
    void set(const std::string& key, Value value) override {
        m_values.insert_or_assign(key, std::move(value));
        if (m_landing-- > 0) {
            disk = m_values;
        }
    }
    void remove(const std::string& key) override { m_values.erase(key); }
    std::shared_ptr<DefaultsStore> suite(const std::string& domain) override {
        return m_suites->suite(domain);
    }

    Value::Dictionary disk;

private:
    Value::Dictionary m_values;
    std::shared_ptr<DefaultsStore> m_suites;
    int m_landing;
};

TEST_F(SettingsMigrationTest, AMigrationCutOffBetweenItsWritesIsCompletedAtTheNextLaunch) {
    legacy("drovane")->set("selectedVideo", "/films/A.mov");
    legacy("drovane")->set("favorites", Value::Array{"A", "B"});
    legacy("drovane")->set("firstLaunch", Date{100});
    const Value::Dictionary whole = {
        {"selectedVideo", "/films/A.mov"}, {"favorites", Value::Array{"A", "B"}}, {"firstLaunch", Date{100}}};
    for (int landed = 0; landed <= 3; ++landed) {
        DyingStore cutOff(fake.defaults, landed);
        SettingsMigration::run(cutOff);
        DyingStore next(fake.defaults, 3, cutOff.disk);
        SettingsMigration::run(next);
        EXPECT_EQ(next.disk, whole) << landed << " of the first launch's writes landed";
    }
}

} // namespace
} // namespace drovane
