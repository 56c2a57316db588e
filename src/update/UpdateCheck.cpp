#include "update/UpdateCheck.h"

#include "platform/Alerts.h"
#include "platform/Clock.h"
#include "platform/DefaultsStore.h"
#include "platform/Host.h"
#include "platform/Http.h"
#include "platform/MainQueue.h"
#include "platform/Platform.h"
#include "platform/Workspace.h"
#include "support/Settings.h"
#include "update/VersionOrder.h"

#include <cassert>

namespace drovane {

std::shared_ptr<UpdateCheck> UpdateCheck::create(const Platform& platform, Install install) {
    return std::make_shared<UpdateCheck>(Passkey{}, platform, std::move(install));
}

UpdateCheck::UpdateCheck(Passkey, const Platform& platform, Install install)
    : m_mainQueue(platform.mainQueue), m_clock(platform.clock), m_defaults(platform.defaults),
      m_http(platform.http), m_alerts(platform.alerts), m_workspace(platform.workspace),
      m_host(platform.host), m_install(std::move(install)) {
    assert(m_mainQueue && m_clock && m_defaults &&
           "the update check needs the main queue, clock and defaults");
}

void UpdateCheck::scheduleAutomaticCheck() {
    std::weak_ptr<UpdateCheck> weak = weak_from_this();
    m_mainQueue->postAfter(automaticDelaySeconds, [weak] {
        auto self = weak.lock();
        if (!self || !Settings::autoUpdate() || !self->m_host || !self->m_host->bundleIdentifier() ||
            !(self->m_clock->now().secondsSince(Settings::lastUpdateCheck()) > automaticIntervalSeconds)) {
            return;
        }
        self->run({}, false);
    });
}

void UpdateCheck::run(std::weak_ptr<const Window> over, bool manual) {
    if (m_busy) {
        return;
    }
    m_busy = true;
    std::weak_ptr<UpdateCheck> weak = weak_from_this();
    auto answered = [weak, over, manual, queue = m_mainQueue](const HttpDataResult& result) {
        // Only the decoding happens on the network thread; whatever body came is tried.
        std::optional<Release> release = result.body ? Release::decode(*result.body) : std::nullopt;
        const bool failed = !result.error.empty();
        queue->post([weak, over, manual, failed, release = std::move(release)] {
            if (auto self = weak.lock()) {
                self->m_busy = false;
                self->m_defaults->set(Settings::lastUpdateCheckKey, self->m_clock->now());
                self->present(release, failed, manual, over);
            }
        });
    };
    if (!m_http) {
        answered({"no network", std::nullopt, std::nullopt});
        return;
    }
    m_http->get(Settings::versionURL(), feedTimeoutSeconds, std::move(answered))->resume();
}

void UpdateCheck::present(const std::optional<Release>& release, bool failed, bool manual,
                          const std::weak_ptr<const Window>& over) {
    const std::string running = Settings::version();
    if (!release) {
        if (manual) {
            couldNot(failed ? "Could not reach the update server." : "Could not read the version.", over);
        }
        return;
    }
    if (!isNewer(release->version, running)) {
        if (manual && m_alerts) {
            m_alerts->show({"Drovane " + running + " is the current version.", "", {"OK"}, "", false},
                           over.lock().get(), [](AlertResponse) {});
        }
        return;
    }
    if (!manual && m_defaults->string(Settings::skippedVersionKey) == release->version) {
        return;
    }
    offer(*release, manual, over);
}

void UpdateCheck::offer(const Release& release, bool manual, const std::weak_ptr<const Window>& over) {
    if (!m_alerts) {
        return;
    }
    AlertContent prompt{"Drovane " + release.version + " is out.",
                        "You are running " + Settings::version() + ". Drovane can replace itself and reopen.",
                        {"Update Now", "Later"},
                        "",
                        false};
    if (!manual) {
        prompt.buttons.push_back("Skip This Version");
    }
    std::weak_ptr<UpdateCheck> weak = weak_from_this();
    m_alerts->show(prompt, over.lock().get(), [weak, release, over](AlertResponse response) {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        if (response.button == 0 && self->m_install) {
            self->m_install(release, over);
        } else if (response.button == 2) {
            self->m_defaults->set(Settings::skippedVersionKey, release.version);
        }
    });
}

void UpdateCheck::couldNot(const std::string& message, const std::weak_ptr<const Window>& over) {
    if (!m_alerts) {
        return;
    }
    std::weak_ptr<Workspace> workspace = m_workspace;
    m_alerts->show({message,
                    "Try again later, or open the site to see what is current.",
                    {"Open Website", "OK"},
                    "",
                    false},
                   over.lock().get(), [workspace](AlertResponse response) {
                       if (auto w = workspace.lock(); w && response.button == 0) {
                           w->openUrl(Settings::siteURL());
                       }
                   });
}

} // namespace drovane
