#include "library/SidebarSelection.h"

namespace drovane {

SidebarSelection SidebarSelection::fromOptionText(const std::string& text) {
    if (text == "all")
        return all();
    if (text == "favorites")
        return favorites();
    if (text == "ondisk")
        return onDisk();
    return named(text);
}

} // namespace drovane
