#include "support/AtomicFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace drovane {

namespace {

std::string errnoText() {
    return std::strerror(errno);
}

std::string parentOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// mkostemp's template: the file name, a dot and six letters or digits.
constexpr const char* temporarySuffix = ".XXXXXX";
constexpr std::size_t temporaryLetters = 6;

} // namespace

std::optional<std::string> writeFileAtomically(const std::string& path, std::string_view bytes,
                                               const RenameFunction& rename) {
    std::string temp = path + temporarySuffix;
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return errnoText();
    }
    ::fchmod(fd, 0644);
    std::size_t written = 0;
    while (written < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            std::string error = errnoText();
            ::close(fd);
            ::unlink(temp.c_str());
            return error;
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        std::string error = errnoText();
        ::unlink(temp.c_str());
        return error;
    }
    const int renamed = rename ? rename(temp.c_str(), path.c_str()) : ::rename(temp.c_str(), path.c_str());
    if (renamed != 0) {
        std::string error = errnoText();
        ::unlink(temp.c_str());
        return error;
    }
    // Make the rename itself durable.
    int dirFd = ::open(parentOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return std::nullopt;
}

void removeUnfinishedWrites(const std::string& path) {
    namespace fs = std::filesystem;
    const std::string prefix = fs::path(path).filename().string() + ".";
    const auto isTemporary = [&](const std::string& name) {
        return name.size() == prefix.size() + temporaryLetters && name.starts_with(prefix) &&
               std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                           [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
    };
    std::error_code ec;
    for (fs::directory_iterator it(parentOf(path), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code ignored;
        if (isTemporary(it->path().filename().string()) &&
            it->symlink_status(ignored).type() == fs::file_type::regular) {
            fs::remove(it->path(), ignored);
        }
    }
}

std::optional<std::string> moveFileWithoutReplacing(const std::string& from, const std::string& to) {
    bool moved = false;
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        moved = true;
    } else if (errno != EINVAL && errno != ENOSYS) {
        return errnoText();
    }
#endif
    if (!moved) {
        // A file system without the exclusive rename: a hard link fails just as surely on an
        // existing name.
        if (::link(from.c_str(), to.c_str()) != 0) {
            return errnoText();
        }
        ::unlink(from.c_str());
    }
    int dirFd = ::open(parentOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return std::nullopt;
}

} // namespace drovane
