#include "support/Files.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace drovane {

std::optional<std::string> readWholeFile(const std::string& path, std::size_t maxBytes) {
    // Non-blocking, so that opening a FIFO returns at once; fstat then refuses it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return std::nullopt;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::size_t>(info.st_size) > maxBytes) {
        return std::nullopt;
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[64 * 1024];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0) {
            return bytes;
        }
        // The file may grow while it is read.
        if (bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
            return std::nullopt;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

std::string joinPath(std::string_view folder, std::string_view component) {
    while (!folder.empty() && folder.back() == '/') {
        folder.remove_suffix(1);
    }
    while (!component.empty() && component.front() == '/') {
        component.remove_prefix(1);
    }
    std::string out(folder);
    out += '/';
    out += component;
    return out;
}

std::vector<FolderEntry> listFolder(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<FolderEntry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        entries.push_back(FolderEntry{it->path().filename().string(), it->is_regular_file(typeError)});
    }
    return entries;
}

} // namespace drovane
