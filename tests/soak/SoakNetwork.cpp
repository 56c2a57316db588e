#include "soak/SoakNetwork.h"

#include "fakes/FakeImages.h"
#include "soak/SoakWorld.h"

#include <algorithm>

namespace drovane::soak {

namespace {

// The film a preview address names: its last path component without the extension.
std::string filmOfPreview(const std::string& address) {
    const auto slash = address.rfind('/');
    std::string name = slash == std::string::npos ? address : address.substr(slash + 1);
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

int uniform(std::mt19937_64& random, int from, int to) {
    return std::uniform_int_distribution<int>(from, to)(random);
}

} // namespace

SoakNetwork::Plan SoakNetwork::plan(const Task& task, std::mt19937_64& random) const {
    Plan p;
    const int roll = uniform(random, 0, 99);
    if (task.isDownload()) {
        // Most films arrive; some slowly, some never.
        p.fate = roll < 62   ? Fate::Delivered
                 : roll < 72 ? Fate::NotFound
                 : roll < 82 ? Fate::TransportError
                 : roll < 90 ? Fate::ErrorPage
                             : Fate::Stalled;
        p.turnsLeft = p.fate == Fate::Stalled ? uniform(random, 20, 200) : uniform(random, 0, 40);
    } else {
        p.fate = roll < 60   ? Fate::Delivered
                 : roll < 75 ? Fate::NotFound
                 : roll < 85 ? Fate::TransportError
                 : roll < 95 ? Fate::ErrorPage
                             : Fate::Stalled;
        p.turnsLeft = uniform(random, 0, p.fate == Fate::Stalled ? 30 : 3);
    }
    return p;
}

void SoakNetwork::turn(std::mt19937_64& random) {
    auto& http = *m_world.fake.http;
    for (const auto& task : http.pending()) {
        auto [it, inserted] = m_plans.try_emplace(task.get());
        if (inserted) {
            it->second = plan(*task, random);
        }
        // Each open transfer moves on at about every other turn.
        if (uniform(random, 0, 1) == 0) {
            advance(task, it->second, random);
        }
    }
    http.forgetAnswered();
}

void SoakNetwork::advance(const std::shared_ptr<Task>& task, Plan& plan, std::mt19937_64& random) {
    if (task->cancelled()) {
        // The layer below still completes a cancelled transfer, soon or a little later.
        if (plan.turnsLeft > 2) {
            plan.turnsLeft = uniform(random, 0, 2);
        }
        if (plan.turnsLeft-- <= 0) {
            m_world.fake.http->answer(task, {"cancelled", std::nullopt, std::nullopt});
            m_plans.erase(task.get());
        }
        return;
    }
    if (plan.turnsLeft-- > 0) {
        if (task->isDownload() && (plan.fate != Fate::Stalled || plan.fraction < 0.3)) {
            plan.fraction =
                std::min(1.0, plan.fraction + std::uniform_real_distribution<>(0.0, 0.12)(random));
            m_world.fake.http->progress(task, plan.fraction);
        }
        return;
    }
    answer(task, plan);
    m_plans.erase(task.get());
}

void SoakNetwork::answer(const std::shared_ptr<Task>& task, const Plan& plan) {
    const std::string address = task->url().string();
    const bool film = task->isDownload();
    HttpDataResult result;
    switch (plan.fate) {
    case Fate::Delivered:
        if (film) {
            const auto id = SoakWorld::filmOfAddress(address);
            result = {{}, 200, fakes::bytes(SoakWorld::filmBody(id.value_or("?")))};
            if (id) {
                m_delivered.insert(*id);
            }
        } else {
            const std::string id = filmOfPreview(address);
            result = {{}, 200, fakes::bytes(fakes::FakeImages::encode(96, 54, SoakWorld::previewFill(id)))};
        }
        break;
    case Fate::NotFound:
        result = {{}, 404, fakes::bytes("<html>Not Found</html>")};
        break;
    case Fate::TransportError:
        result = {"could not connect to the server", std::nullopt, std::nullopt};
        break;
    case Fate::ErrorPage:
        // A captive portal answers every address with its own page.
        result = {{}, 200, fakes::bytes("<html>Sign in to the network</html>")};
        break;
    case Fate::Stalled:
        result = {"transfer stalled below the low-speed limit", std::nullopt, std::nullopt};
        break;
    }
    m_world.fake.http->answer(task, result);
}

void SoakNetwork::answerEverything() {
    auto& http = *m_world.fake.http;
    for (auto open = http.pending(); !open.empty(); open = http.pending()) {
        for (const auto& task : open) {
            Plan p;
            if (auto it = m_plans.find(task.get()); it != m_plans.end()) {
                p = it->second;
                m_plans.erase(it);
            }
            if (task->cancelled()) {
                http.answer(task, {"cancelled", std::nullopt, std::nullopt});
            } else {
                answer(task, p);
            }
        }
    }
    http.forgetAnswered();
    m_plans.clear();
}

} // namespace drovane::soak
