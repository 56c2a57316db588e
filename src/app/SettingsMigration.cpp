#include "app/SettingsMigration.h"

#include "platform/DefaultsStore.h"
#include "platform/Platform.h"

#include <string_view>

namespace drovane::SettingsMigration {

void run(DefaultsStore& target) {
    if (target.value("selectedVideo")) {
        return;
    }
    std::shared_ptr<DefaultsStore> source;
    const char* sourceName = nullptr;
    for (const char* domain : legacyDomains) {
        auto suite = target.suite(domain);
        if (suite && suite->string("selectedVideo")) {
            source = std::move(suite);
            sourceName = domain;
            break;
        }
    }
    if (!source) {
        return;
    }
    // The choice goes last: it marks the migration done, so one cut off by a crash between two
    // writes of the store runs again whole at the next launch instead of leaving the rest behind.
    const auto copy = [&](const char* key) {
        if (auto v = source->value(key)) {
            target.set(key, std::move(*v));
        }
    };
    for (const char* key : liveKeys) {
        if (std::string_view(key) != "selectedVideo") {
            copy(key);
        }
    }
    copy("selectedVideo");
    logLine(std::string("Drovane: settings migrated from domain ") + sourceName);
}

} // namespace drovane::SettingsMigration
