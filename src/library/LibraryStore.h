#pragma once

#include "library/DownloadState.h"
#include "library/LibraryItem.h"
#include "library/Published.h"
#include "library/SidebarSelection.h"
#include "platform/Url.h"

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace drovane {

class Library;
class MainQueue;
class TaskQueue;
struct EngineState;
struct Platform;

// The observable model behind the library window: the catalogue as sorted, grouped items, the
// counts per group, the favourites, and the live state of the engine and the download queue.
// Scans run off the main thread and are coalesced: at most one runs and one more is remembered.
// Every published value changes on the main thread, and only when it really changes.
// Main thread only, except scanCatalogue() and counts().
class LibraryStore : public std::enable_shared_from_this<LibraryStore> {
    struct Passkey {};

public:
    static constexpr const char* scanQueueLabel = "app.drovane.library-scan";
    static constexpr const char* favoritesKey = "favorites";
    static constexpr const char* systemGroup = "System";

    // The catalogue's fetch from the product's site, as the window shows it.
    struct CatalogFetch {
        bool running = false;
        // Why the last fetch failed; empty once one succeeds or another starts.
        std::string failure;
        friend bool operator==(const CatalogFetch&, const CatalogFetch&) = default;
    };
    // How long a notice shows unless dismissed or replaced.
    static constexpr double noticeSeconds = 10.0;

    // What one background scan found, by value.
    struct Scan {
        std::vector<LibraryItem> items; // in display order
        std::vector<GroupCount> groups;
        int onDiskCount = 0;
        int missingCount = 0;
        bool manifestExists = false;
    };

    // A store reading `model`, which it does not own: once the engine is gone the live state
    // and the favourites stay as they were. Loads the favourites and mirrors the live state; does
    // not scan. Uses the platform's main queue and task queues.
    static std::shared_ptr<LibraryStore> create(std::weak_ptr<EngineState> model, const Platform& platform,
                                                std::shared_ptr<const Library> library);
    LibraryStore(Passkey, std::weak_ptr<EngineState> model, const Platform& platform,
                 std::shared_ptr<const Library> library);
    LibraryStore(const LibraryStore&) = delete;
    LibraryStore& operator=(const LibraryStore&) = delete;

    // Every catalogue film, in display order: "System" first, then groups and titles
    // alphabetically regardless of case.
    const Published<std::vector<LibraryItem>>& items() const { return m_items; }
    // The file the engine plays.
    const Published<std::optional<Url>>& currentURL() const { return m_currentURL; }
    const Published<bool>& manualPaused() const { return m_manualPaused; }
    // The engine's desktopNotice.
    const Published<std::string>& desktopNotice() const { return m_desktopNotice; }
    const Published<DownloadState>& download() const { return m_download; }
    // Items without a local file.
    const Published<int>& missingCount() const { return m_missingCount; }
    const Published<bool>& hasManifest() const { return m_hasManifest; }
    // False until the first scan has been published.
    const Published<bool>& scanned() const { return m_scanned; }
    const Published<std::set<std::string>>& favorites() const { return m_favorites; }
    // The groups of items(), in display order.
    const Published<std::vector<GroupCount>>& groups() const { return m_groups; }
    // Items with a local file.
    const Published<int>& onDiskCount() const { return m_onDiskCount; }
    const Published<CatalogFetch>& catalogFetch() const { return m_catalogFetch; }
    // A short message for the window about something asked of it that came to nothing.
    const Published<std::optional<std::string>>& notice() const { return m_notice; }

    void setCatalogFetch(CatalogFetch state) { m_catalogFetch.assign(std::move(state)); }
    // Shows `text` for noticeSeconds, replacing any notice showing.
    void showNotice(std::string text);
    void dismissNotice();

    // Mirrors the live state now and asks for one coalesced rescan.
    void refresh();
    // Copies the engine's film and pause and the queue's running and queued films.
    void readLiveState();
    // The items a sidebar choice shows, in display order.
    std::vector<LibraryItem> items(const SidebarSelection& selection) const;
    // Adds `id` to the favourites or removes it, and stores them.
    void toggleFavorite(const std::string& id);

    // The work of one background scan: the catalogue and the video folder turned into sorted
    // items and their counts. Any thread.
    static Scan scanCatalogue(const Library& library);
    // The groups of `items` in order of first appearance, with their totals. Any thread.
    static std::vector<GroupCount> counts(const std::vector<LibraryItem>& items);

private:
    void scan();
    void publish(Scan result);

    Published<std::vector<LibraryItem>> m_items;
    Published<std::optional<Url>> m_currentURL;
    Published<bool> m_manualPaused{false};
    Published<std::string> m_desktopNotice;
    Published<DownloadState> m_download;
    Published<int> m_missingCount{0};
    Published<bool> m_hasManifest{false};
    Published<bool> m_scanned{false};
    Published<std::set<std::string>> m_favorites;
    Published<std::vector<GroupCount>> m_groups;
    Published<int> m_onDiskCount{0};
    Published<CatalogFetch> m_catalogFetch;
    Published<std::optional<std::string>> m_notice;
    // Tells a notice's timeout from that of a notice shown after it.
    unsigned m_noticeSerial = 0;

    const std::weak_ptr<EngineState> m_model;
    const std::shared_ptr<const Library> m_library;
    bool m_scanning = false;
    bool m_rescanQueued = false;
    bool m_refreshPending = false;
    const std::shared_ptr<MainQueue> m_mainQueue;
    const std::shared_ptr<TaskQueue> m_scanQueue;
};

} // namespace drovane
