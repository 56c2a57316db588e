#include "fakes/MemoryDefaultsStore.h"

namespace drovane::fakes {

MemoryDefaultsStore::MemoryDefaultsStore()
    : m_ownedRegistry(std::make_shared<Registry>()), m_registry(m_ownedRegistry) {}
MemoryDefaultsStore::MemoryDefaultsStore(std::weak_ptr<Registry> registry)
    : m_registry(std::move(registry)) {}

std::optional<Value> MemoryDefaultsStore::value(const std::string& key) const {
    std::lock_guard lock(m_mutex);
    auto it = m_values.find(key);
    return it == m_values.end() ? std::nullopt : std::optional<Value>(it->second);
}

void MemoryDefaultsStore::set(const std::string& key, Value value) {
    std::lock_guard lock(m_mutex);
    m_values.insert_or_assign(key, std::move(value));
    ++m_writes;
}

void MemoryDefaultsStore::remove(const std::string& key) {
    std::lock_guard lock(m_mutex);
    m_values.erase(key);
    ++m_writes;
}

std::shared_ptr<DefaultsStore> MemoryDefaultsStore::suite(const std::string& domain) {
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

void MemoryDefaultsStore::refuseSuite(const std::string& domain) {
    if (auto registry = m_registry.lock()) {
        std::lock_guard lock(registry->mutex);
        registry->refused.insert(domain);
    }
}

Value::Dictionary MemoryDefaultsStore::snapshot() const {
    std::lock_guard lock(m_mutex);
    return m_values;
}

int MemoryDefaultsStore::writeCount() const {
    std::lock_guard lock(m_mutex);
    return m_writes;
}

} // namespace drovane::fakes
