#pragma once

#include <map>
#include <set>
#include <string>

namespace drovane {

// The download queue as the library shows it: the films being fetched, with their fraction
// completed (0 to 1), and the films queued.
struct DownloadState {
    std::map<std::string, double> active;
    std::set<std::string> waiting;

    friend bool operator==(const DownloadState&, const DownloadState&) = default;
};

} // namespace drovane
