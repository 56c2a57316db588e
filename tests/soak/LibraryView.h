#pragma once

#include "library/SidebarSelection.h"
#include "platform/Subscription.h"
#include "platform/Url.h"

#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace drovane {
class LibraryStore;
struct Image;
struct LibraryItem;
} // namespace drovane

namespace drovane::soak {

class SoakWorld;

// What the library window's views hold while the window shows, as the toolkit's views would:
// a subscription to every published value of the store, the tiles on screen with their
// pictures, and the picture requests those tiles made. Every request must be answered exactly
// once, with the picture of its own film or with none; a wrong picture or a second answer is
// recorded as a problem.
class LibraryView {
public:
    explicit LibraryView(SoakWorld& world) : m_world(world) {}

    // Opens when the window has come on screen, closes when it has gone.
    void follow();
    bool isOpen() const { return !m_subscriptions.empty(); }

    // The sidebar's choice and the films it shows now.
    SidebarSelection selection;
    std::vector<LibraryItem> shownItems() const;

    // Up to `count` tiles of the shown films come into view and ask for their pictures.
    void showTiles(std::mt19937_64& random, int count);
    // Some tiles scroll out of view and let go of their pictures.
    void hideTiles(std::mt19937_64& random);

    // Requests not answered yet.
    int openRequests() const;
    // Problems seen since the last take.
    std::vector<std::string> takeProblems();

private:
    struct Ticket {
        std::string key;
        int answers = 0;
    };
    struct Tile {
        std::shared_ptr<const Image> picture;
    };

    void open();
    void close();
    // Checks a picture delivered for `id`: a film's still or its preview.
    void checkPicture(const std::string& id, bool preview, const std::shared_ptr<const Image>& picture);
    void request(const LibraryItem& item);

    SoakWorld& m_world;
    std::vector<Subscription> m_subscriptions;
    std::map<std::string, std::shared_ptr<Tile>> m_tiles;
    std::vector<std::shared_ptr<Ticket>> m_tickets;
    std::shared_ptr<std::vector<std::string>> m_problems = std::make_shared<std::vector<std::string>>();
};

} // namespace drovane::soak
