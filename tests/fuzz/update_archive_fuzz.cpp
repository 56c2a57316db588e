// A release archive as the updater unpacks it into its staging folder, over generated zips and
// their mutations: never crashes, a failure says why, and whether it unpacks or fails
// part-way, the staging folder holds nothing but plain files and folders inside
// "Drovane.app", no more bytes than the limit allows; unpacked whole, with the bundle's modes.

#include "FuzzCheck.h"
#include "desktop/update/ZipUnpacker.h"
#include "fakes/TempDir.h"
#include "update/ArchiveEntries.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace drovane;
namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fakes::TempDir folder;
    static int run = 0;
    const std::string archive = folder / "Drovane.zip";
    // A fresh folder each time: an archive may leave folders it took the permissions from.
    std::error_code ignored;
    fs::remove_all(folder / ("staging-" + std::to_string(run)), ignored);
    const fs::path staging = folder / ("staging-" + std::to_string(++run));
    fs::create_directory(staging);
    writeInput(archive, data, size);

    const auto error = desktop::unpackReleaseArchive(archive, staging.string());
    std::uintmax_t bytes = 0;
    for (const auto& entry :
         fs::recursive_directory_iterator(staging, fs::directory_options::skip_permission_denied, ignored)) {
        const fs::path inside = entry.path().lexically_relative(staging);
        require(*inside.begin() == ArchiveLimits::topLevelName);
        const auto type = entry.symlink_status().type();
        require(type == fs::file_type::regular || type == fs::file_type::directory);
        if (type == fs::file_type::regular)
            bytes += entry.file_size();
        // Unpacked whole, nothing is writable but by its owner and only the program runs.
        const bool program = inside == fs::path(ArchiveLimits::topLevelName) / ArchiveLimits::programInBundle;
        require(error ||
                entry.symlink_status().permissions() ==
                    (type == fs::file_type::directory || program ? fs::perms(0755) : fs::perms(0644)));
    }
    require(bytes <= ArchiveLimits::maxUnpackedBytes);
    require(!error || !error->empty());
    return 0;
}
