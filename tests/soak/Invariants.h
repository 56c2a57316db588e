#pragma once

#include "platform/Date.h"

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace drovane::soak {

class LibraryView;
class SoakWorld;

// What must hold all day. Each check appends a line per violation to `problems`.
class Invariants {
public:
    // How long an object may live on after nothing that should hold it does (work posted to
    // the main queue may keep it a moment).
    static constexpr double grace = 5.0;

    Invariants(SoakWorld& world, LibraryView& view) : m_world(world), m_view(view) {}

    // Between any two pieces of main-thread work: one player and layer per window, and the
    // download queue's bounds and counters.
    void betweenWork(std::vector<std::string>& problems) const;
    // After every step: the above, and the windows' layer trees, what is alive, the playback
    // rule, the files, the tray menu, the log and the pictures. `delivered` are the films whose
    // bytes the network handed over since the last step.
    void afterStep(std::vector<std::string>& problems, const std::set<std::string>& delivered);
    // Once the background work and the due main-thread work have all run: the library window's
    // store and models agree with the engine, the queue and the disk.
    void whenSettled(std::vector<std::string>& problems) const;
    // Sets what the disk holds now as the reference of the next step.
    void rememberDisk();

private:
    void engine(std::vector<std::string>& problems);
    void playback(std::vector<std::string>& problems) const;
    void downloads(std::vector<std::string>& problems) const;
    void disk(std::vector<std::string>& problems, const std::set<std::string>& delivered);
    void trayMenu(std::vector<std::string>& problems) const;
    void log(std::vector<std::string>& problems);
    // What the program asked of the desktop: folders opened, files revealed, backgrounds set.
    void desktop(std::vector<std::string>& problems) const;

    // Objects alive though nothing that should hold them does, and since when.
    struct Unheld {
        std::weak_ptr<const void> object;
        Date since;
    };
    using Found = std::vector<std::pair<std::shared_ptr<const void>, std::string>>;
    // Reports each of `unheld` (an object and what it is) that has been so for longer than the
    // grace, and forgets the objects that are held again or gone.
    void holdCheck(std::vector<std::string>& problems, const Found& unheld);

    SoakWorld& m_world;
    LibraryView& m_view;
    std::vector<Unheld> m_unheld;
    std::set<std::string> m_disk;
    bool m_diskKnown = false;
    // The Trash refused a film since the wallpaper last played.
    bool m_deletionRefused = false;
};

} // namespace drovane::soak
