#pragma once

#include <cstddef>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

namespace drovane {

// A bounded key-value cache that evicts the least recently used entries once it holds more
// than `countLimit` entries or more than `totalCostLimit` in summed cost (a limit of 0 means
// none). Eviction may happen at any insertion, so a reader must be ready to miss. Every
// method: any thread.
template <class Value> class MemoryCache {
public:
    MemoryCache(std::size_t countLimit = 0, std::size_t totalCostLimit = 0)
        : m_countLimit(countLimit), m_totalCostLimit(totalCostLimit) {}
    MemoryCache(const MemoryCache&) = delete;
    MemoryCache& operator=(const MemoryCache&) = delete;

    // The value stored under `key`, which becomes the most recently used; nothing on a miss.
    std::optional<Value> object(const std::string& key) {
        std::lock_guard lock(m_mutex);
        auto it = m_index.find(key);
        if (it == m_index.end()) {
            return std::nullopt;
        }
        m_order.splice(m_order.begin(), m_order, it->second);
        return it->second->value;
    }

    // Stores `value` under `key` (replacing what was there) as the most recently used entry,
    // then evicts until both limits hold again.
    void setObject(const std::string& key, Value value, std::size_t cost) {
        std::lock_guard lock(m_mutex);
        if (auto it = m_index.find(key); it != m_index.end()) {
            m_totalCost -= it->second->cost;
            m_order.erase(it->second);
            m_index.erase(it);
        }
        m_order.push_front(Entry{key, std::move(value), cost});
        m_index.emplace(key, m_order.begin());
        m_totalCost += cost;
        trim();
    }

    void setCountLimit(std::size_t limit) {
        std::lock_guard lock(m_mutex);
        m_countLimit = limit;
        trim();
    }
    void setTotalCostLimit(std::size_t limit) {
        std::lock_guard lock(m_mutex);
        m_totalCostLimit = limit;
        trim();
    }

    std::size_t countLimit() const {
        std::lock_guard lock(m_mutex);
        return m_countLimit;
    }
    std::size_t totalCostLimit() const {
        std::lock_guard lock(m_mutex);
        return m_totalCostLimit;
    }
    std::size_t count() const {
        std::lock_guard lock(m_mutex);
        return m_order.size();
    }
    std::size_t totalCost() const {
        std::lock_guard lock(m_mutex);
        return m_totalCost;
    }

private:
    struct Entry {
        std::string key;
        Value value;
        std::size_t cost;
    };

    void trim() {
        while (!m_order.empty() && ((m_countLimit != 0 && m_order.size() > m_countLimit) ||
                                    (m_totalCostLimit != 0 && m_totalCost > m_totalCostLimit))) {
            const Entry& oldest = m_order.back();
            m_totalCost -= oldest.cost;
            m_index.erase(oldest.key);
            m_order.pop_back();
        }
    }

    mutable std::mutex m_mutex;
    std::size_t m_countLimit;
    std::size_t m_totalCostLimit;
    std::size_t m_totalCost = 0;
    std::list<Entry> m_order; // most recently used first
    std::unordered_map<std::string, typename std::list<Entry>::iterator> m_index;
};

} // namespace drovane
