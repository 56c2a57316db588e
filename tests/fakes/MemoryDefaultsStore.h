#pragma once

#include "platform/DefaultsStore.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace drovane::fakes {

// Defaults domains in memory. Suites opened from one store share a registry, so opening the
// same domain twice gives the same store.
class MemoryDefaultsStore final : public DefaultsStore {
public:
    MemoryDefaultsStore() : m_ownedRegistry(std::make_shared<Registry>()), m_registry(m_ownedRegistry) {}

    std::optional<Value> value(const std::string& key) const override {
        std::lock_guard lock(m_mutex);
        auto it = m_values.find(key);
        return it == m_values.end() ? std::nullopt : std::optional<Value>(it->second);
    }
    void set(const std::string& key, Value value) override {
        std::lock_guard lock(m_mutex);
        m_values.insert_or_assign(key, std::move(value));
        ++m_writes;
    }
    void remove(const std::string& key) override {
        std::lock_guard lock(m_mutex);
        m_values.erase(key);
        ++m_writes;
    }
    std::shared_ptr<DefaultsStore> suite(const std::string& domain) override {
        auto registry = m_registry.lock();
        if (!registry) {
            return nullptr;
        }
        std::lock_guard lock(registry->mutex);
        if (registry->refused.count(domain)) {
            return nullptr;
        }
        auto& slot = registry->suites[domain];
        if (!slot) {
            slot.reset(new MemoryDefaultsStore(m_registry));
        }
        return slot;
    }

    // Makes suite(domain) give nothing, as for a domain that cannot be opened.
    void refuseSuite(const std::string& domain) {
        if (auto registry = m_registry.lock()) {
            std::lock_guard lock(registry->mutex);
            registry->refused.insert(domain);
        }
    }
    // Every key and value, for assertions.
    Value::Dictionary snapshot() const {
        std::lock_guard lock(m_mutex);
        return m_values;
    }
    // How many times set() or remove() changed this domain.
    int writeCount() const {
        std::lock_guard lock(m_mutex);
        return m_writes;
    }

private:
    struct Registry {
        std::mutex mutex;
        std::map<std::string, std::shared_ptr<MemoryDefaultsStore>> suites;
        std::set<std::string> refused;
    };
    explicit MemoryDefaultsStore(std::weak_ptr<Registry> registry) : m_registry(std::move(registry)) {}

    // The first store owns the registry; suites reach it weakly, since it holds them.
    std::shared_ptr<Registry> m_ownedRegistry;
    std::weak_ptr<Registry> m_registry;
    mutable std::mutex m_mutex;
    Value::Dictionary m_values;
    int m_writes = 0;
};

} // namespace drovane::fakes
