#pragma once

#include "platform/Subscription.h"

#include <functional>
#include <map>
#include <memory>

namespace drovane::desktop {

// The handlers subscribed to one kind of event. A Subscription outliving the list is harmless.
class HandlerList {
public:
    HandlerList() = default;
    HandlerList(const HandlerList&) = delete;
    HandlerList& operator=(const HandlerList&) = delete;

    Subscription add(std::function<void()> handler);
    // Calls every handler subscribed now; a handler may subscribe or unsubscribe others.
    void notify() const;
    std::size_t size() const { return m_entries->size(); }

private:
    using Entries = std::map<unsigned, std::function<void()>>;
    std::shared_ptr<Entries> m_entries = std::make_shared<Entries>();
    unsigned m_nextId = 0;
};

} // namespace drovane::desktop
