#pragma once

#include "platform/Subscription.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace drovane {

// The observers of one kind of event, each held by the Subscription that add() returns.
// notify() calls those subscribed when it starts, in subscription order; an observer may
// subscribe or unsubscribe others (or itself) meanwhile, and one removed before its turn is not
// called. A Subscription that outlives its list is harmless. Not thread-safe: one thread.
template <typename... Args> class ObserverList {
public:
    using Observer = std::function<void(Args...)>;

    ObserverList() = default;
    ObserverList(const ObserverList&) = delete;
    ObserverList& operator=(const ObserverList&) = delete;

    Subscription add(Observer observer) {
        const std::uint64_t id = m_nextId++;
        m_entries->emplace(id, std::move(observer));
        std::weak_ptr<Entries> weakEntries = m_entries;
        return Subscription([weakEntries, id] {
            if (auto entries = weakEntries.lock()) {
                entries->erase(id);
            }
        });
    }

    void notify(Args... args) const {
        std::vector<std::uint64_t> ids;
        ids.reserve(m_entries->size());
        for (const auto& entry : *m_entries) {
            ids.push_back(entry.first);
        }
        // Kept alive: an observer may destroy the object that owns this list.
        const auto entries = m_entries;
        for (const std::uint64_t id : ids) {
            if (auto it = entries->find(id); it != entries->end()) {
                Observer observer = it->second;
                observer(args...);
            }
        }
    }

    std::size_t size() const { return m_entries->size(); }
    bool empty() const { return m_entries->empty(); }

private:
    using Entries = std::map<std::uint64_t, Observer>;
    std::shared_ptr<Entries> m_entries = std::make_shared<Entries>();
    std::uint64_t m_nextId = 0;
};

} // namespace drovane
