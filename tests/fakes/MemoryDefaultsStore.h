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
    MemoryDefaultsStore();

    std::optional<Value> value(const std::string& key) const override;
    void set(const std::string& key, Value value) override;
    void remove(const std::string& key) override;
    std::shared_ptr<DefaultsStore> suite(const std::string& domain) override;

    // Makes suite(domain) give nothing, as for a domain that cannot be opened.
    void refuseSuite(const std::string& domain);
    // Every key and value, for assertions.
    Value::Dictionary snapshot() const;
    // How many times set() or remove() changed this domain.
    int writeCount() const;

private:
    struct Registry {
        std::mutex mutex;
        std::map<std::string, std::shared_ptr<MemoryDefaultsStore>> suites;
        std::set<std::string> refused;
    };
    explicit MemoryDefaultsStore(std::weak_ptr<Registry> registry);

    // The first store owns the registry; suites reach it weakly, since it holds them.
    std::shared_ptr<Registry> m_ownedRegistry;
    std::weak_ptr<Registry> m_registry;
    mutable std::mutex m_mutex;
    Value::Dictionary m_values;
    int m_writes = 0;
};

} // namespace drovane::fakes
