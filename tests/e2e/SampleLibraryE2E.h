#pragma once

// The built program on the sample library, each test with a home and an X server of its own.

#include "desktop/LoopbackServer.h"
#include "e2e/DisplayTools.h"
#include "fakes/TempDir.h"
#include "support/PropertyList.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace drovane::e2e {

// The sample library, made once for the suite with its films served from a loopback server:
// the previews at once, the one missing "Tuscany" film slowly, so that its download is seen.
class SampleLibraryE2ETest : public testing::Test {
protected:
    static inline const std::string aerials = "home/Library/Application Support/com.apple.wallpaper/aerials";

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
        // The catalogue as the product's site serves it, for a home without one.
        s_manifest = readFile(*s_sample / (aerials + "/manifest/entries.json"));
        s_server->serve("/aerials/entries.json", s_manifest, 200, "application/json");
        const auto catalogue = nlohmann::json::parse(s_manifest);
        for (const auto& asset : catalogue["assets"]) {
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
        s_server->start();
    }
    static void TearDownTestSuite() {
        s_server.reset();
        s_sample.reset();
    }

    SampleLibraryE2ETest() { fs::copy(*s_sample / "home", home / "home", fs::copy_options::recursive); }

    // The program in this test's home and on its display.
    ChildProcess program(std::vector<std::string> arguments,
                         const std::map<std::string, std::string>& extra = {},
                         const std::string& workingDirectory = {}) const {
        arguments.insert(arguments.begin(), DROVANE_BINARY);
        auto env = homeEnvironment(home / "home", home / "run");
        env.insert({{"DROVANE_SYSTEM_ROOT", *s_sample / "root"},
                    {"DROVANE_SITE_URL", s_server->url("")},
                    {"DISPLAY", x.display()}});
        for (const auto& [name, value] : extra) {
            env[name] = value;
        }
        return ChildProcess(arguments, env, workingDirectory);
    }
    // The library window among the program's: alerts are titled "Drovane" too, but are far smaller.
    std::vector<std::string> libraryWindows() const {
        std::vector<std::string> found = x.windows("Drovane");
        std::erase_if(found, [&](const std::string& id) { return x.geometry(id)["WIDTH"] < 1000; });
        return found;
    }
    // The library window of a program just started, once it shows.
    std::string libraryWindow() const {
        EXPECT_TRUE(eventually([&] { return libraryWindows().size() == 1; })) << "the library window shows";
        return libraryWindows().empty() ? std::string() : libraryWindows().front();
    }
    // The "selectedVideo" of the settings file, once the program has written it.
    std::string storedChoice() const {
        const auto root = readPropertyList(readFile(home / "home/.config/drovane/app.drovane.plist"));
        const auto* values = root ? root->asDictionary() : nullptr;
        return values && values->contains("selectedVideo")
                   ? values->at("selectedVideo").asString().value_or("")
                   : "";
    }
    std::string videos() const { return home / (aerials + "/videos"); }
    std::string manifest() const { return home / (aerials + "/manifest/entries.json"); }

    static inline std::unique_ptr<desktop::LoopbackServer> s_server;
    static inline std::unique_ptr<fakes::TempDir> s_sample;
    static inline std::string s_tuscany;
    static inline std::string s_film;
    static inline std::string s_manifest;
    fakes::TempDir home;
    TestDisplay x{"1920x1080x24"};
};

} // namespace drovane::e2e
