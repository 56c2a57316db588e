#pragma once

// The built program on the sample library, each test with a home and an X server of its own.

#include "desktop/ChildProcess.h"
#include "desktop/DesktopTestSupport.h"
#include "desktop/LoopbackServer.h"
#include "e2e/DisplayTools.h"
#include "fakes/TempDir.h"

#include <QImage>
#include <QProcess>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

namespace drovane::e2e {

using namespace std::chrono_literals;
using desktop::testing::ChildProcess;
namespace fs = std::filesystem;

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The sample library, made once for the suite with its films served from a loopback server:
// the previews at once, the one missing "Tuscany" film slowly, so that its download is seen.
class SampleLibraryE2ETest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_server = std::make_unique<desktop::LoopbackServer>();
        s_sample = std::make_unique<fakes::TempDir>();
        const std::string command = "'" SAMPLE_LIBRARY_TOOL "' --out '" + s_sample->path() +
                                    "' --base-url '" + s_server->url("") + "' >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        for (const auto& preview : fs::directory_iterator(*s_sample / "server/previews")) {
            s_server->serve("/previews/" + preview.path().filename().string(), readFile(preview.path()), 200,
                            "image/jpeg");
        }
        const auto manifest = nlohmann::json::parse(
            readFile(*s_sample /
                     "home/Library/Application Support/com.apple.wallpaper/aerials/manifest/entries.json"));
        for (const auto& asset : manifest["assets"]) {
            if (asset.value("localizedNameKey", std::string()) == "AerialTuscany") {
                s_tuscany = asset["id"].get<std::string>();
            }
        }
        // The real film, in 16 KiB pieces a tenth of a second apart: a download of a second or two.
        s_film = readFile(*s_sample / ("server/videos/" + s_tuscany + ".mov"));
        s_server->server.Get(
            "/videos/" + s_tuscany + ".mov", [](const httplib::Request&, httplib::Response& res) {
                res.set_content_provider(s_film.size(), "video/quicktime",
                                         [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                             if (s_server->released()) {
                                                 return false;
                                             }
                                             const std::size_t n =
                                                 std::min<std::size_t>(16384, s_film.size() - offset);
                                             sink.write(s_film.data() + offset, n);
                                             std::this_thread::sleep_for(100ms);
                                             return true;
                                         });
            });
        // The catalogue as the product's site serves it, for a home without one.
        s_manifest = readFile(
            *s_sample / "home/Library/Application Support/com.apple.wallpaper/aerials/manifest/entries.json");
        s_server->serve("/aerials/entries.json", s_manifest, 200, "application/json");
        s_server->start();
    }
    static void TearDownTestSuite() {
        s_server.reset();
        s_sample.reset();
    }

    SampleLibraryE2ETest() { fs::copy(*s_sample / "home", home / "home", fs::copy_options::recursive); }

    // The program in this test's home and on its display. No session bus unless a test gives
    // one: a copy of another test must never be reached.
    ChildProcess program(std::vector<std::string> arguments, std::map<std::string, std::string> extra = {},
                         const std::string& workingDirectory = {}) const {
        arguments.insert(arguments.begin(), DROVANE_BINARY);
        std::map<std::string, std::string> env = {
            {"HOME", home / "home"},
            {"XDG_CONFIG_HOME", home / "home/.config"},
            {"XDG_CACHE_HOME", home / "home/.cache"},
            {"XDG_DATA_HOME", home / "home/.local/share"},
            {"XDG_RUNTIME_DIR", home / "run"},
            {"DROVANE_SYSTEM_ROOT", *s_sample / "root"},
            {"DROVANE_SITE_URL", s_server->url("")},
            {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home / "no-bus"},
            {"DISPLAY", x.display()}};
        for (auto& [name, value] : extra) {
            env[name] = value;
        }
        return ChildProcess(arguments, env, workingDirectory);
    }
    // The visible windows of the program whose title is exactly `title`.
    std::vector<std::string> windows(const std::string& title) const {
        const std::string found =
            run(x.display(), "xdotool",
                {"search", "--onlyvisible", "--name", QString::fromStdString("^" + title + "$")});
        std::vector<std::string> ids;
        std::istringstream lines(found);
        for (std::string id; std::getline(lines, id);) {
            ids.push_back(id);
        }
        return ids;
    }
    // The titles of the visible top-level windows, the frontmost first.
    std::vector<std::string> stacking() const {
        const std::string tree = run(x.display(), "xwininfo", {"-root", "-children"});
        std::vector<std::string> titles;
        std::istringstream lines(tree);
        for (std::string line; std::getline(lines, line);) {
            const auto open = line.find(" \"");
            const auto close = line.find("\": (");
            if (open != std::string::npos && close != std::string::npos && close > open) {
                titles.push_back(line.substr(open + 2, close - open - 2));
            }
        }
        return titles;
    }
    // The library window among them: alerts are titled "Drovane" too, but are far smaller.
    std::vector<std::string> libraryWindows() const {
        std::vector<std::string> found;
        for (const auto& id : windows("Drovane")) {
            const std::string geometry =
                run(x.display(), "xdotool", {"getwindowgeometry", "--shell", QString::fromStdString(id)});
            const auto width = geometry.find("WIDTH=");
            if (width != std::string::npos && std::stoi(geometry.substr(width + 6)) >= 1000) {
                found.push_back(id);
            }
        }
        return found;
    }
    // The "selectedVideo" of the settings file, once the program has written it.
    std::string storedChoice() const {
        const std::string xml = readFile(home / "home/.config/drovane/app.drovane.plist");
        const auto key = xml.find("<key>selectedVideo</key>");
        const auto start = xml.find("<string>", key);
        const auto end = xml.find("</string>", start);
        return key == std::string::npos || start == std::string::npos || end == std::string::npos
                   ? std::string()
                   : xml.substr(start + 8, end - start - 8);
    }
    // Runs the program with "--screenshot" and returns the picture it wrote.
    QImage screenshot(std::vector<std::string> arguments) {
        const std::string path = home / ("shot" + std::to_string(m_shots++) + ".png");
        arguments.insert(arguments.end(), {"--open-window", "--screenshot", path});
        auto drovane = program(arguments);
        EXPECT_TRUE(drovane.waitForLine("Drovane: snapshot written to " + path, 30s));
        return QImage(QString::fromStdString(path));
    }
    std::string videos() const {
        return home / "home/Library/Application Support/com.apple.wallpaper/aerials/videos";
    }
    std::string manifest() const {
        return home / "home/Library/Application Support/com.apple.wallpaper/aerials/manifest/entries.json";
    }

    static inline std::unique_ptr<desktop::LoopbackServer> s_server;
    static inline std::unique_ptr<fakes::TempDir> s_sample;
    static inline std::string s_tuscany;
    static inline std::string s_film;
    static inline std::string s_manifest;
    fakes::TempDir home;
    // A display of its own: tests that run side by side do not click into each other's windows.
    desktop::testing::PrivateXServer x{"1920x1080x24"};

private:
    int m_shots = 0;
};

} // namespace drovane::e2e
