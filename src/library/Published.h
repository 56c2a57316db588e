#pragma once

#include "platform/ObserverList.h"

#include <functional>
#include <utility>

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
        return m_observers.add(std::move(observer));
    }

    // Stores `value` and tells every observer once, when it differs from the current value.
    // Returns whether it did.
    bool assign(T value) {
        if (value == m_value) {
            return false;
        }
        m_value = std::move(value);
        m_observers.notify();
        return true;
    }

    std::size_t observerCount() const { return m_observers.size(); }

private:
    T m_value;
    mutable ObserverList<> m_observers;
};

} // namespace drovane
