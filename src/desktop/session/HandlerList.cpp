#include "desktop/session/HandlerList.h"

#include <vector>

namespace drovane::desktop {

Subscription HandlerList::add(std::function<void()> handler) {
    const unsigned id = m_nextId++;
    m_entries->emplace(id, std::move(handler));
    std::weak_ptr<Entries> weakEntries = m_entries;
    return Subscription([weakEntries, id] {
        if (auto entries = weakEntries.lock()) {
            entries->erase(id);
        }
    });
}

void HandlerList::notify() const {
    // Ids, not copies: a handler removed by an earlier one is not called.
    std::vector<unsigned> ids;
    ids.reserve(m_entries->size());
    for (const auto& [id, handler] : *m_entries) {
        ids.push_back(id);
    }
    auto entries = m_entries;
    for (unsigned id : ids) {
        auto it = entries->find(id);
        if (it != entries->end()) {
            auto handler = it->second;
            handler();
        }
    }
}

} // namespace drovane::desktop
