#include "update/UpdateInstall.h"

#include "platform/Platform.h"
#include "support/AtomicFile.h"
#include "support/Files.h"
#include "support/PropertyList.h"
#include "support/Settings.h"
#include "update/ArchiveEntries.h"
#include "update/SwapScript.h"
#include "update/VersionOrder.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <sys/stat.h>
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

// Only an absolute HTTP or HTTPS address with a host is an archive's address.
std::optional<Url> archiveAddress(const std::optional<std::string>& zip) {
    auto url = zip ? Url::parse(*zip) : std::nullopt;
    if (!url || url->host().empty()) {
        return std::nullopt;
    }
    std::string scheme = url->scheme();
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return scheme == "http" || scheme == "https" ? url : std::nullopt;
}

} // namespace

std::shared_ptr<UpdateInstall> UpdateInstall::create(const Platform& platform) {
    return std::make_shared<UpdateInstall>(Passkey{}, platform);
}

UpdateInstall::UpdateInstall(Passkey, const Platform& platform)
    : m_platform(std::make_shared<const Platform>(platform)) {}

void UpdateInstall::install(const Release& release, std::weak_ptr<const Window> over) {
    const Platform& p = *m_platform;
    const auto zip = archiveAddress(release.zip);
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
    auto onComplete = [weak, over, installed = *installed, version = release.version,
                       queue = p.mainQueue](const HttpDownloadResult& result) {
        Staged staged;
        if (!result.error.empty()) {
            staged.failure = "the download failed: " + result.error;
        } else if (result.statusCode != 200) {
            staged.failure = "the server answered " + (result.statusCode ? std::to_string(*result.statusCode)
                                                                         : std::string("without HTTP"));
        } else if (!result.temporaryFile) {
            staged.failure = "nothing arrived";
        } else if (auto installer = weak.lock()) {
            staged = installer->stage(*result.temporaryFile);
        }
        if (!staged.bundle && result.temporaryFile) {
            std::error_code ignored;
            fs::remove(*result.temporaryFile, ignored); // an error page or half a release
        }
        queue->post([weak, over, installed, version, staged] {
            auto self = weak.lock();
            if (!self) {
                return;
            }
            if (self->m_progress) {
                self->m_progress->close();
                self->m_progress.reset();
            }
            const auto refused = staged.bundle ? self->refusal(*staged.bundle) : staged.failure;
            if (!refused) {
                self->swap(*staged.bundle, installed);
                return;
            }
            if (staged.bundle) {
                // A refused release is never run: its download and unpacked copy go.
                std::error_code ignored;
                fs::remove_all(fs::path(*staged.bundle).parent_path(), ignored);
            }
            if (const auto& log = self->m_platform->log) {
                log->line("Drovane: update to " + version + " failed: " + *refused);
            }
            self->report(notInOnePiece, over);
        });
    };
    auto task = p.http->download(*zip, p.host->temporaryDirectory(), std::move(onProgress),
                                 std::move(onComplete), ArchiveLimits::maxArchiveBytes);
    // The progress shows over the prompt's window, or else the first visible one; with none,
    // the install runs unseen until it ends.
    std::shared_ptr<const Window> host = over.lock();
    for (const auto& window : !host && windows ? windows() : std::vector<std::shared_ptr<const Window>>()) {
        if (window && window->isVisible()) {
            host = window;
            break;
        }
    }
    if (host) {
        // The sheet keeps the transfer to cancel: nothing else holds it while it runs.
        m_progress = p.alerts->show({"Downloading Drovane " + release.version + "\u2026",
                                     "It will reopen when it is done.",
                                     {"Cancel"},
                                     "",
                                     true},
                                    host.get(), [task](AlertResponse) { task->cancel(); });
    }
    task->resume();
}

UpdateInstall::Staged UpdateInstall::stage(const std::string& temporaryFile) const {
    const std::string temporary = m_platform->host->temporaryDirectory();
    const std::string staging = joinPath(temporary, stagingPrefix + freshUuid());
    std::error_code error;
    fs::create_directories(temporary, error);
    // The user's alone: nothing else may change the bundle between its check and the swap.
    if (::mkdir(staging.c_str(), 0700) != 0) {
        const std::string why = "cannot make " + staging + ": " + std::strerror(errno);
        fs::remove(temporaryFile, error);
        return {std::nullopt, why};
    }
    // A failed attempt leaves nothing behind: every retry would otherwise add a release's size.
    const auto failed = [&](std::string why) {
        fs::remove(temporaryFile, error);
        fs::remove_all(staging, error);
        return Staged{std::nullopt, std::move(why)};
    };
    const std::string archive = staging + "/Drovane.zip";
    if (auto notMoved = moveFileWithoutReplacing(temporaryFile, archive)) {
        return failed(*notMoved);
    }
    if (!m_platform->releaseArchives) {
        return failed("nothing here unpacks archives");
    }
    if (auto refused = m_platform->releaseArchives->unpack(archive, staging)) {
        return failed("the archive was refused: " + *refused);
    }
    const std::string bundle = staging + "/" + ArchiveLimits::topLevelName;
    if (!fs::is_directory(bundle, error)) {
        return failed("the archive holds no " + std::string(ArchiveLimits::topLevelName));
    }
    return {bundle, ""};
}

std::optional<std::string> UpdateInstall::refusal(const std::string& stagedBundle) const {
    if (auto refused = m_platform->releaseArchives->verify(stagedBundle)) {
        return "the bundle was refused: " + *refused;
    }
    const auto bytes = readWholeFile(stagedBundle + "/Contents/Info.plist");
    const auto info = bytes ? readPropertyList(*bytes) : std::nullopt;
    const auto* dictionary = info ? info->asDictionary() : nullptr;
    if (!dictionary) {
        return "its Info.plist cannot be read";
    }
    std::optional<std::string> version;
    for (const char* key : {"DVVersion", "CFBundleShortVersionString"}) {
        if (auto it = dictionary->find(key); !version && it != dictionary->end()) {
            version = it->second.asString();
        }
    }
    if (!version) {
        return "its Info.plist names no version";
    }
    if (!isNewer(*version, Settings::version())) {
        return "its version " + *version + " is not newer than " + Settings::version();
    }
    return std::nullopt;
}

void UpdateInstall::swap(const std::string& stagedBundle, const std::string& installedBundle) {
    const Platform& p = *m_platform;
    const std::string script =
        swapScript(p.host->processId(), installedBundle, stagedBundle,
                   fs::path(stagedBundle).parent_path().string(), ArchiveLimits::programInBundle);
    if (!p.processes || !p.processes->startDetachedShellScript(script, {})) {
        if (p.log) {
            p.log->line("Drovane: the update's swap script cannot be started");
        }
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
