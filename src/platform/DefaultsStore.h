#pragma once

#include "platform/Value.h"

#include <memory>
#include <optional>
#include <string>

namespace drovane {

// One domain of the user's defaults: typed values by key. Safe to use from any thread; a
// write is seen at once by every reader of the same domain in this process.
class DefaultsStore {
public:
    virtual ~DefaultsStore() = default;

    // The value under `key`; nothing when absent.
    virtual std::optional<Value> value(const std::string& key) const = 0;
    // Stores `value` under `key`, replacing what was there, and persists it.
    virtual void set(const std::string& key, Value value) = 0;
    // Removes `key`; removing an absent key does nothing.
    virtual void remove(const std::string& key) = 0;

    // Another domain of the same user ("drovane", "lumenfold"), opened as a named suite.
    // Nothing when the name cannot name a domain.
    virtual std::shared_ptr<DefaultsStore> suite(const std::string& domain) = 0;

    std::optional<std::string> string(const std::string& key) const {
        auto v = value(key);
        return v ? v->asString() : std::nullopt;
    }
};

} // namespace drovane
