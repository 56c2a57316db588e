#pragma once

#include "library/LibraryItem.h"
#include "platform/Image.h"
#include "platform/Menu.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace drovane {

class LibraryStore;
class ThumbnailCache;
struct MainWindowActions;

// One film tile of the library grid: its inputs from the store, its click rule, its badge, its
// favourite button, its context menu and where its picture comes from.
namespace TileModel {

struct State {
    LibraryItem item;
    bool isCurrent = false;
    bool isFavorite = false;
    std::optional<double> progress; // while downloading
    bool waiting = false;
    // Why the film's last download failed; only while it is neither on disk nor tried again.
    std::optional<std::string> failure;

    bool busy() const { return progress || waiting; }
    friend bool operator==(const State&, const State&) = default;
};

enum class Tap { CancelDownload, Select, Download };
enum class HeartColor { Red, White, Secondary };

State state(const LibraryStore& store, const LibraryItem& item);
Tap tap(const State& tile);
// Runs the tap rule through the actions.
void performTap(const State& tile, const MainWindowActions& actions);
// The badge's icon; nothing when the tile shows no badge. A failed download keeps a warning
// mark until its next attempt.
std::optional<std::string> badgeSymbol(const State& tile, bool hover);
// What the tile says on hover or focus about its film's failed download; empty otherwise.
std::string failureText(const State& tile);
// What a screen reader says of the tile beside its title: "on disk", "downloading, N percent",
// "waiting" or "not downloaded", then "playing" and "favourite" where they hold.
std::string accessibleState(const State& tile);
// The ring's drawn fraction while downloading: a download just begun still shows an arc.
std::optional<double> ringFraction(const State& tile);
std::string heartSymbol(const State& tile);
std::string heartTooltip(const State& tile);
HeartColor heartColor(const State& tile, bool hasPicture);
double heartShadowOpacity(const State& tile, bool hasPicture);
// Whether `item` is a downloaded film of the video folder, not one shipped with the system.
bool isDeletable(const LibraryItem& item, const std::string& videosDir);
Menu menu(const State& tile, const MainWindowActions& actions, const std::function<void()>& toggleFavorite,
          const std::string& videosDir);

// Fetches the tile's picture: a memory hit is handed over at once, then the cache is asked
// (the site's preview and the manifest's for catalogue films, a frame of the file otherwise).
// `deliver` may run more than once; nothing happens for a film with neither.
void loadThumb(ThumbnailCache& cache, const LibraryItem& item,
               const std::function<void(std::shared_ptr<const Image>)>& deliver);

} // namespace TileModel

} // namespace drovane
