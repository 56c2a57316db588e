#include "app/SettingsMigration.h"

#include "platform/DefaultsStore.h"
#include "platform/Platform.h"

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
    for (const char* key : liveKeys) {
        if (auto v = source->value(key)) {
            target.set(key, std::move(*v));
        }
    }
    logLine(std::string("Drovane: settings migrated from domain ") + sourceName);
}

} // namespace drovane::SettingsMigration
