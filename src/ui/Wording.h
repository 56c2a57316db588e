#pragma once

namespace drovane {

// The few texts of the library window that state facts about the machine, as this platform
// words them. Every other text stands where it is used.
struct Wording {
    const char* emptyLabel;
    const char* noCatalogDescription;
    const char* fetchCatalogButton;
    const char* revealItem;
};

// The wording of the platform this program runs on.
inline const Wording& wording() {
    static constexpr Wording linux{
        "No Aerials on This Computer",
        "Drovane can fetch the aerials catalog from its web site \u2014 then films can be downloaded here.",
        "Fetch the Catalog", "Show in File Manager"};
    return linux;
}

} // namespace drovane
