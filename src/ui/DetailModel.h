#pragma once

#include "library/LibraryItem.h"
#include "library/SidebarSelection.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace drovane {

class LibraryStore;
struct MainWindowActions;

// The library window's detail area: its header, which of its three states shows, the grid's
// sections and the empty catalogue's screen. Read from the store's published values.
namespace DetailModel {

inline constexpr const char* nothingHere = "Nothing here yet.";
// The empty state's second button appears from this many missing films on.
inline constexpr int batchSize = 20;

enum class Content { Loading, Grid, Empty };

struct GridSection {
    std::optional<std::string> title; // only when two or more sections show
    std::vector<LibraryItem> items;
};

struct Button {
    std::string title;
    bool prominent = false;
    std::function<void()> action;
    // Its work is under way: shown as such, and not clickable again.
    bool busy = false;
};

struct EmptyState {
    std::string label;
    std::string symbol;
    std::string description;
    std::vector<Button> buttons;
    // Why the last try of the buttons' work failed; the button tries again.
    std::string error;
};

std::string title(const SidebarSelection& selection);
// "12 films · 3 on disk".
std::string subtitle(const std::vector<LibraryItem>& films);
Content content(const LibraryStore& store);
// The films grouped by the store's groups, in the store's order.
std::vector<GridSection> sections(const LibraryStore& store, const std::vector<LibraryItem>& films);
EmptyState emptyState(const LibraryStore& store, const MainWindowActions& actions);

} // namespace DetailModel

} // namespace drovane
