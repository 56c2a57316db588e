#include "support/XdgFolders.h"

#include <gtest/gtest.h>
#include <map>
#include <tuple>

namespace drovane {
namespace {

TEST(XdgFolders, EachVariableCountsOnlyWhenSetToAnAbsolutePath) {
    const XdgFolders defaults{"/home/u/.config", "/home/u/.cache", "/home/u/.local/state",
                              "/home/u/.local/share", std::nullopt};
    const struct {
        std::map<std::string, std::string> environment;
        XdgFolders expected;
    } cases[] = {
        {{}, defaults},
        {{{"XDG_CONFIG_HOME", "/cfg"},
          {"XDG_CACHE_HOME", "/var/cache/u"},
          {"XDG_STATE_HOME", "/st"},
          {"XDG_DATA_HOME", "/data"},
          {"XDG_RUNTIME_DIR", "/run/user/1000"}},
         {"/cfg", "/var/cache/u", "/st", "/data", "/run/user/1000"}},
        // Empty and relative values are ignored, as if unset.
        {{{"XDG_CONFIG_HOME", ""}, {"XDG_CACHE_HOME", "cache"}, {"XDG_RUNTIME_DIR", "./run"}}, defaults},
        {{{"XDG_STATE_HOME", "~/state"}, {"XDG_RUNTIME_DIR", ""}}, defaults},
    };
    for (const auto& c : cases) {
        const auto folders =
            XdgFolders::resolve("/home/u", [&](const std::string& name) -> std::optional<std::string> {
                auto it = c.environment.find(name);
                return it == c.environment.end() ? std::nullopt : std::optional(it->second);
            });
        const auto fields = [](const XdgFolders& f) {
            return std::tie(f.config, f.cache, f.state, f.data, f.runtime);
        };
        EXPECT_EQ(fields(folders), fields(c.expected));
    }
}

} // namespace
} // namespace drovane
