#pragma once

#include <memory>
#include <vector>

namespace drovane::fakes {

// The objects of `made` still alive, in order; forgets those that are gone, since a weak
// reference keeps the memory of an object made with make_shared.
template <typename T> std::vector<std::shared_ptr<T>> liveObjects(std::vector<std::weak_ptr<T>>& made) {
    std::vector<std::shared_ptr<T>> live;
    std::vector<std::weak_ptr<T>> kept;
    for (const auto& weak : made) {
        if (auto strong = weak.lock()) {
            live.push_back(std::move(strong));
            kept.push_back(weak);
        }
    }
    made = std::move(kept);
    return live;
}

} // namespace drovane::fakes
