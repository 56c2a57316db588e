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

TEST_F(SettingsMigrationTest, TheFirstLegacyDomainWithAChoiceIsCopiedWhenThereIsNoneYet) {
    using Dict = Value::Dictionary;
    const Dict chosen = {
        {"selectedVideo", "/films/A.mov"}, {"favorites", Value::Array{"A", "B"}}, {"firstLaunch", Date{100}}};
    Dict withStale = chosen;
    withStale["autoUpdate"] = false; // not a live key
    struct Case {
        const char* name;
        Dict current, drovane, lumenfold;
        std::vector<std::string> refused;
        Dict expected;
        std::string from; // the domain logged; empty: nothing
    };
    // clang-format off
    const Case cases[] = {
        {"the first domain, its live keys only", {}, withStale, {{"selectedVideo", "/films/L.mov"}}, {}, chosen, "drovane"},
        {"any existing choice stops everything, even a mistyped one", {{"selectedVideo", 3}}, chosen, {}, {}, {{"selectedVideo", 3}}, ""},
        {"a mistyped choice is none; keys are copied whatever their type", {}, {{"selectedVideo", 5}}, {{"selectedVideo", "/films/L.mov"}, {"firstLaunch", "not a date"}}, {}, {{"selectedVideo", "/films/L.mov"}, {"firstLaunch", "not a date"}}, "lumenfold"},
        {"an unopenable domain, then one without a choice", {}, chosen, {{"favorites", Value::Array{"A"}}}, {"drovane"}, {}, ""},
        {"no domain opens", {}, chosen, chosen, {"drovane", "lumenfold"}, {}, ""},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fakes::FakePlatform machine;
        for (const auto& [key, value] : c.current) {
            machine.defaults->set(key, value);
        }
        for (const auto& [domain, values] : {std::pair{"drovane", c.drovane}, {"lumenfold", c.lumenfold}}) {
            for (const auto& [key, value] : values) {
                machine.defaults->suite(domain)->set(key, value);
            }
        }
        for (const auto& domain : c.refused) {
            machine.defaults->refuseSuite(domain);
        }
        SettingsMigration::run(*machine.defaults);
        EXPECT_EQ(machine.defaults->snapshot(), c.expected);
        EXPECT_EQ(machine.log->lines(),
                  c.from.empty()
                      ? std::vector<std::string>{}
                      : std::vector<std::string>{"Drovane: settings migrated from domain " + c.from});
        if (c.refused.empty()) {
            EXPECT_EQ(machine.defaults->suite("drovane")->value("selectedVideo"),
                      c.drovane.at("selectedVideo"))
                << "the source is left as it was";
        }
    }
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
