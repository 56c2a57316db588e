#pragma once

#include "library/SidebarSelection.h"
#include "platform/Menu.h"

#include <string>
#include <vector>

namespace drovane {

class LibraryStore;
struct MainWindowActions;

// The library window's sidebar: the fixed "Library" rows and one row per category, each with a
// count, an icon and a context menu. Read from the store's published values.
namespace SidebarModel {

struct Row {
    std::string title;
    std::string symbol; // an icon name of the symbol table
    int badge = 0;
    SidebarSelection selects;
    friend bool operator==(const Row&, const Row&) = default;
};

struct Section {
    std::string header;
    std::vector<Row> rows;
    friend bool operator==(const Section&, const Section&) = default;
};

// "Library", and "Categories" only while the store has groups.
std::vector<Section> sections(const LibraryStore& store);
// Favourites that are films of the catalogue.
int favCount(const LibraryStore& store);
// The icon of a category row.
std::string symbol(const std::string& group);
// "Download All (N)" for the row's missing films, "Delete All (N)" for those on disk.
Menu sectionMenu(const LibraryStore& store, const MainWindowActions& actions, const SidebarSelection& row);

} // namespace SidebarModel

} // namespace drovane
