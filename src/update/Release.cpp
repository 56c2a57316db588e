#include "update/Release.h"

#include <nlohmann/json.hpp>

namespace drovane {

std::optional<Release> Release::decode(const std::vector<std::uint8_t>& body) {
    const auto json = nlohmann::json::parse(body.begin(), body.end(), nullptr, /*allow_exceptions=*/false);
    if (!json.is_object()) {
        return std::nullopt;
    }
    const auto version = json.find("version");
    const auto url = json.find("url");
    const auto zip = json.find("zip");
    if (version == json.end() || !version->is_string() || url == json.end() || !url->is_string() ||
        (zip != json.end() && !zip->is_string() && !zip->is_null())) {
        return std::nullopt;
    }
    Release release{version->get<std::string>(), url->get<std::string>(), std::nullopt};
    if (zip != json.end() && zip->is_string()) {
        release.zip = zip->get<std::string>();
    }
    return release;
}

} // namespace drovane
