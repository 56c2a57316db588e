#pragma once

#include "platform/DesktopBackground.h"

#include <string>
#include <vector>

namespace drovane::fakes {

// A desktop that takes (or, when told, refuses or offers no way to set) every picture at once.
class FakeDesktopBackground final : public DesktopBackground {
public:
    explicit FakeDesktopBackground(std::string folder) : m_folder(std::move(folder)) {}

    std::string pictureFolder() const override { return m_folder; }
    bool canSetPicture() const override { return settable; }
    void setPicture(const std::string& path, std::function<void(bool)> done) override {
        pictures.push_back(path);
        done(accepts);
    }

    bool showsFilm() const override { return film; }

    bool accepts = true;
    bool film = false;
    bool settable = true;
    std::vector<std::string> pictures;

private:
    std::string m_folder;
};

} // namespace drovane::fakes
