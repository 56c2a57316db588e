#pragma once

#include <map>
#include <set>
#include <string>

namespace drovane {

// The download queue as the library shows it: the films being fetched, with their fraction
// completed (0 to 1), the films queued, and why the last download of a film failed, until the
// film is tried again.
struct DownloadState {
    std::map<std::string, double> active;
    std::set<std::string> waiting;
    std::map<std::string, std::string> failed;

    friend bool operator==(const DownloadState&, const DownloadState&) = default;
};

} // namespace drovane
