#include "desktop/update/ZipUnpacker.h"

#include "update/ArchiveEntries.h"

#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace drovane::desktop {

namespace {

namespace fs = std::filesystem;

struct ReaderFreer {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriterFreer {
    void operator()(archive* a) const { archive_write_free(a); }
};
using Reader = std::unique_ptr<archive, ReaderFreer>;

Reader openZip(const std::string& path) {
    Reader reader(archive_read_new());
    archive_read_support_format_zip(reader.get());
    if (archive_read_open_filename(reader.get(), path.c_str(), 64 * 1024) != ARCHIVE_OK) {
        return nullptr;
    }
    return reader;
}

ArchiveEntry::Type typeOf(archive_entry* entry) {
    if (archive_entry_hardlink(entry)) {
        return ArchiveEntry::Type::HardLink;
    }
    switch (archive_entry_filetype(entry)) {
    case AE_IFREG:
        return ArchiveEntry::Type::RegularFile;
    case AE_IFDIR:
        return ArchiveEntry::Type::Folder;
    case AE_IFLNK:
        return ArchiveEntry::Type::SymbolicLink;
    default:
        return ArchiveEntry::Type::Other;
    }
}

std::string errorOf(archive* a) {
    const char* text = archive_error_string(a);
    return text ? text : "unknown error";
}

// What an unpacked entry's mode is, whatever the archive says: no set-id bits, nothing
// writable but by its owner, and only the bundle's program executable.
mode_t modeFor(const std::string& nameInFolder, bool isFolder) {
    static const std::string program =
        std::string(ArchiveLimits::topLevelName) + "/" + ArchiveLimits::programInBundle;
    return isFolder || nameInFolder == program ? 0755 : 0644;
}

// Gives everything below `bundle` (inside `folder`) its mode exactly, past the umask and for
// the folders the writer made without an entry of their own.
std::optional<std::string> settleModes(const fs::path& folder, const fs::path& bundle) {
    std::error_code error;
    const auto settle = [&](const fs::path& path) -> std::optional<std::string> {
        const auto type = fs::symlink_status(path, error).type();
        if (type != fs::file_type::directory && type != fs::file_type::regular) {
            return "not a plain file: " + path.string();
        }
        const std::string name = path.lexically_relative(folder).string();
        if (::chmod(path.c_str(), modeFor(name, type == fs::file_type::directory)) != 0) {
            return "cannot set the mode of " + path.string() + ": " + std::strerror(errno);
        }
        return std::nullopt;
    };
    if (auto failed = settle(bundle)) {
        return failed;
    }
    for (fs::recursive_directory_iterator it(bundle, error), end; !error && it != end; it.increment(error)) {
        if (auto failed = settle(it->path())) {
            return failed;
        }
    }
    if (error) {
        return "cannot read " + bundle.string() + ": " + error.message();
    }
    return std::nullopt;
}

// The second pass: every entry written below `folder`, the bytes that arrive counted.
std::optional<std::string> writeEntries(const std::string& archivePath, const std::string& folder,
                                        std::uint64_t maxUnpackedBytes) {
    Reader reader = openZip(archivePath);
    std::unique_ptr<archive, WriterFreer> writer(archive_write_disk_new());
    if (!reader || !writer) {
        return "cannot read " + archivePath;
    }
    // The checks of the first pass already refuse all of this; the writer refuses it again.
    // Paths are made absolute below `folder` here, so only the names' own absoluteness was
    // checked there. The archive's modes are not taken: see settleModes().
    archive_write_disk_set_options(writer.get(),
                                   ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    std::uint64_t written = 0;
    archive_entry* entry = nullptr;
    int next = ARCHIVE_OK;
    while ((next = archive_read_next_header(reader.get(), &entry)) == ARCHIVE_OK) {
        const char* pathname = archive_entry_pathname(entry);
        const std::string name = pathname ? pathname : "";
        if (refusedArchive({{name, typeOf(entry), 0}}, maxUnpackedBytes)) {
            return "an entry refused while writing: " + name;
        }
        const std::string target = folder + "/" + name;
        archive_entry_set_pathname(entry, target.c_str());
        archive_entry_set_perm(entry, modeFor(name, typeOf(entry) == ArchiveEntry::Type::Folder));
        if (archive_write_header(writer.get(), entry) != ARCHIVE_OK) {
            return "cannot write " + target + ": " + errorOf(writer.get());
        }
        // What the header announced, when it did (no bound otherwise): the first pass checked
        // the sum of these.
        const std::uint64_t announced =
            archive_entry_size_is_set(entry)
                ? static_cast<std::uint64_t>(std::max<la_int64_t>(0, archive_entry_size(entry)))
                : std::numeric_limits<std::uint64_t>::max();
        std::uint64_t arrived = 0;
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        int rc = ARCHIVE_OK;
        while ((rc = archive_read_data_block(reader.get(), &block, &size, &offset)) == ARCHIVE_OK) {
            written += size;
            arrived += size;
            if (written > maxUnpackedBytes) {
                return moreThan(maxUnpackedBytes, "unpacked");
            }
            if (arrived > announced) {
                return "more data than announced: " + name;
            }
            if (archive_write_data_block(writer.get(), block, size, offset) != ARCHIVE_OK) {
                return "cannot write " + target + ": " + errorOf(writer.get());
            }
        }
        if (rc != ARCHIVE_EOF) {
            return "a damaged archive: " + errorOf(reader.get());
        }
        if (archive_write_finish_entry(writer.get()) != ARCHIVE_OK) {
            return "cannot write " + target + ": " + errorOf(writer.get());
        }
    }
    if (next != ARCHIVE_EOF) {
        return "a damaged archive: " + errorOf(reader.get());
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK) {
        return "cannot finish unpacking: " + errorOf(writer.get());
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> unpackReleaseArchive(const std::string& archivePath, const std::string& folder,
                                                std::uint64_t maxUnpackedBytes) {
    std::vector<ArchiveEntry> entries;
    {
        Reader reader = openZip(archivePath);
        if (!reader) {
            return "not a zip archive: " + archivePath;
        }
        archive_entry* entry = nullptr;
        int rc = ARCHIVE_OK;
        while ((rc = archive_read_next_header(reader.get(), &entry)) == ARCHIVE_OK) {
            const char* path = archive_entry_pathname(entry);
            entries.push_back(
                {path ? path : "", typeOf(entry),
                 static_cast<std::uint64_t>(std::max<la_int64_t>(0, archive_entry_size(entry)))});
            if (entries.size() > ArchiveLimits::maxEntries) {
                break;
            }
        }
        if (rc != ARCHIVE_EOF && rc != ARCHIVE_OK) {
            return "a damaged archive: " + errorOf(reader.get());
        }
    }
    if (auto refused = refusedArchive(entries, maxUnpackedBytes)) {
        return refused;
    }

    // Every entry lies below the bundle's folder, so removing that folder removes all that was
    // written; a bundle already there is refused rather than mixed with the new one.
    const fs::path bundle = fs::path(folder) / ArchiveLimits::topLevelName;
    std::error_code error;
    if (fs::symlink_status(bundle, error).type() != fs::file_type::not_found) {
        return "the folder already holds " + bundle.string();
    }
    auto failed = writeEntries(archivePath, folder, maxUnpackedBytes);
    if (!failed) {
        failed = settleModes(folder, bundle);
    }
    if (failed) {
        fs::remove_all(bundle, error);
    }
    return failed;
}

} // namespace drovane::desktop
