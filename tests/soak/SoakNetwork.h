#pragma once

#include "fakes/ScriptedHttp.h"

#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>

namespace drovane::soak {

class SoakWorld;

// The network thread of the day: every transfer gets a fate when it is first seen, and each
// turn moves the open transfers along a little: progress, an answer, or the completion that a
// cancelled transfer still owes.
class SoakNetwork {
public:
    enum class Fate { Delivered, NotFound, TransportError, ErrorPage, Stalled };

    explicit SoakNetwork(SoakWorld& world) : m_world(world) {}

    // One turn of the network thread.
    void turn(std::mt19937_64& random);
    // Answers every open transfer, cancelled or not, as a network that ends its day.
    void answerEverything();

    // Films whose bytes were handed over since the last take; they may now be on disk.
    std::set<std::string> takeDelivered() { return std::exchange(m_delivered, {}); }

private:
    struct Plan {
        Fate fate = Fate::Delivered;
        int turnsLeft = 0;
        double fraction = 0;
    };
    using Task = fakes::ScriptedHttp::Task;

    Plan plan(const Task& task, std::mt19937_64& random) const;
    void advance(const std::shared_ptr<Task>& task, Plan& plan, std::mt19937_64& random);
    void answer(const std::shared_ptr<Task>& task, const Plan& plan);

    SoakWorld& m_world;
    std::map<const Task*, Plan> m_plans;
    std::set<std::string> m_delivered;
};

} // namespace drovane::soak
