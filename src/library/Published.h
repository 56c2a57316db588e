#pragma once

#include "platform/Subscription.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace drovane {

// An observable value: observers are told after each assignment that changed it, never for an
// assignment of an equal value. Main thread only, like everything that publishes.
template <typename T> class Published {
public:
    using Observer = std::function<void()>;

    explicit Published(T initial = T{}) : m_value(std::move(initial)) {}
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    const T& value() const { return m_value; }

    // Calls `observer` after every change until the subscription ends. An observer added while
    // observers are being told is first told of the next change.
    [[nodiscard]] Subscription subscribe(Observer observer) const {
        const std::uint64_t id = m_observers->next++;
        m_observers->list.emplace(id, std::make_shared<Observer>(std::move(observer)));
        return Subscription([weak = std::weak_ptr<Observers>(m_observers), id] {
            if (auto observers = weak.lock()) {
                observers->list.erase(id);
            }
        });
    }

    // Stores `value` and tells every observer once, when it differs from the current value.
    // Returns whether it did.
    bool assign(T value) {
        if (value == m_value) {
            return false;
        }
        m_value = std::move(value);
        std::vector<std::pair<std::uint64_t, std::shared_ptr<Observer>>> snapshot(m_observers->list.begin(),
                                                                                  m_observers->list.end());
        const std::weak_ptr<Observers> alive = m_observers;
        for (const auto& [id, observer] : snapshot) {
            // An observer may end another's subscription, or the value's owner, while told.
            auto observers = alive.lock();
            if (!observers || !observers->list.contains(id)) {
                continue;
            }
            (*observer)();
        }
        return true;
    }

    std::size_t observerCount() const { return m_observers->list.size(); }

private:
    struct Observers {
        std::uint64_t next = 1;
        std::map<std::uint64_t, std::shared_ptr<Observer>> list;
    };

    T m_value;
    const std::shared_ptr<Observers> m_observers = std::make_shared<Observers>();
};

} // namespace drovane
