#include "update/UpdateInstall.h"

#include "platform/Platform.h"
#include "support/AtomicFile.h"
#include "support/Files.h"
#include "support/PropertyList.h"
#include "support/Settings.h"
#include "update/SwapScript.h"
#include "update/VersionOrder.h"

#include <filesystem>
#include <random>
#include <unistd.h>

namespace drovane {

namespace {

namespace fs = std::filesystem;

constexpr const char* notInOnePiece = "The update did not arrive in one piece.";

// A version 4 UUID in its 36-character text form.
std::string freshUuid() {
    std::random_device random;
    std::uint8_t bytes[16];
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0f) | 0x40);
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3f) | 0x80);
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += '-';
        }
        text += hex[bytes[i] >> 4];
        text += hex[bytes[i] & 0x0f];
    }
    return text;
}

} // namespace

std::shared_ptr<UpdateInstall> UpdateInstall::create(const Platform& platform) {
    return std::make_shared<UpdateInstall>(Passkey{}, platform);
}

UpdateInstall::UpdateInstall(Passkey, const Platform& platform)
    : m_platform(std::make_shared<const Platform>(platform)) {}

void UpdateInstall::install(const Release& release, std::weak_ptr<const Window> over) {
    const Platform& p = *m_platform;
    const auto zip = release.zip ? Url::parse(*release.zip) : std::nullopt;
    const auto bundle = p.host->bundleUrl();
    const auto installed = bundle ? bundle->filePath() : std::nullopt;
    if (!zip || !installed || !p.http) {
        // Without an archive, or run from outside a bundle, a new version is had by hand.
        p.workspace->openUrl(Settings::downloadURL());
        return;
    }
    const std::string folder = fs::path(*installed).parent_path().string();
    if (::access(folder.c_str(), W_OK) != 0) {
        p.alerts->show({"Drovane cannot replace itself here.",
                        folder + " is not writable. Download the new version and drag it over by hand.",
                        {"Open Download Page", "Cancel"},
                        "",
                        false},
                       over.lock().get(), [workspace = p.workspace](AlertResponse response) {
                           if (response.button == 0) {
                               workspace->openUrl(Settings::downloadURL());
                           }
                       });
        return;
    }

    std::weak_ptr<UpdateInstall> weak = weak_from_this();
    auto onProgress = [weak, queue = p.mainQueue](double fraction) {
        queue->post([weak, fraction] {
            if (auto self = weak.lock(); self && self->m_progress) {
                self->m_progress->setProgress(fraction);
            }
        });
    };
    // Staged on the network thread while the temporary file exists.
    auto onComplete = [weak, over, installed = *installed,
                       queue = p.mainQueue](const HttpDownloadResult& result) {
        std::optional<std::string> staged;
        auto installer = weak.lock();
        if (installer && result.error.empty() && result.statusCode == 200 && result.temporaryFile) {
            staged = installer->stage(*result.temporaryFile);
        }
        queue->post([weak, over, installed, staged] {
            auto self = weak.lock();
            if (!self) {
                return;
            }
            if (self->m_progress) {
                self->m_progress->close();
                self->m_progress.reset();
            }
            if (staged && self->verify(*staged)) {
                self->swap(*staged, installed);
            } else {
                self->report(notInOnePiece, over);
            }
        });
    };
    auto task =
        p.http->download(*zip, p.host->temporaryDirectory(), std::move(onProgress), std::move(onComplete));
    // The progress shows only over a window; an automatic check's install runs unseen until it
    // ends.
    if (auto window = over.lock()) {
        std::weak_ptr<HttpTask> weakTask = task;
        m_progress = p.alerts->show({"Downloading Drovane " + release.version + "\u2026",
                                     "It will reopen when it is done.",
                                     {"Cancel"},
                                     "",
                                     true},
                                    window.get(), [weakTask](AlertResponse) {
                                        if (auto t = weakTask.lock()) {
                                            t->cancel();
                                        }
                                    });
    }
    task->resume();
}

std::optional<std::string> UpdateInstall::stage(const std::string& temporaryFile) const {
    const std::string staging = joinPath(m_platform->host->temporaryDirectory(), stagingPrefix + freshUuid());
    std::error_code error;
    if (!fs::create_directories(staging, error)) {
        return std::nullopt;
    }
    const std::string archive = staging + "/Drovane.zip";
    if (moveFileWithoutReplacing(temporaryFile, archive) || !m_platform->releaseArchives ||
        m_platform->releaseArchives->unpack(archive, staging)) {
        return std::nullopt;
    }
    const std::string bundle = staging + "/Drovane.app";
    return fs::is_directory(bundle, error) ? std::optional(bundle) : std::nullopt;
}

bool UpdateInstall::verify(const std::string& stagedBundle) const {
    if (m_platform->releaseArchives->verify(stagedBundle)) {
        return false;
    }
    const auto bytes = readWholeFile(stagedBundle + "/Contents/Info.plist");
    const auto info = bytes ? readPropertyList(*bytes) : std::nullopt;
    const auto* dictionary = info ? info->asDictionary() : nullptr;
    if (!dictionary) {
        return false;
    }
    std::optional<std::string> version;
    for (const char* key : {"DVVersion", "CFBundleShortVersionString"}) {
        if (auto it = dictionary->find(key); !version && it != dictionary->end()) {
            version = it->second.asString();
        }
    }
    return version && isNewer(*version, Settings::version());
}

void UpdateInstall::swap(const std::string& stagedBundle, const std::string& installedBundle) {
    const Platform& p = *m_platform;
    const std::string script =
        swapScript(p.host->processId(), installedBundle, stagedBundle,
                   fs::path(stagedBundle).parent_path().string(), "Contents/MacOS/drovane");
    if (!p.processes || !p.processes->startDetachedShellScript(script, {})) {
        report("The update could not be installed.", {});
        return;
    }
    p.workspace->terminate();
}

void UpdateInstall::report(const std::string& message, const std::weak_ptr<const Window>& over) {
    m_platform->alerts->show(
        {message, "Download it from the site instead.", {"Open Download Page", "Cancel"}, "", false},
        over.lock().get(), [workspace = m_platform->workspace](AlertResponse response) {
            if (response.button == 0) {
                workspace->openUrl(Settings::downloadURL());
            }
        });
}

} // namespace drovane
