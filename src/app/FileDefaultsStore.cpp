#include "app/FileDefaultsStore.h"

#include "platform/Log.h"
#include "support/Files.h"
#include "support/PropertyList.h"
#include "support/XmlPropertyList.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <pthread.h>

namespace drovane {

namespace {

// Stores whose last change is not on disk yet.
std::atomic<int> g_storesWithUnwrittenChanges{0};
static_assert(std::atomic<int>::is_always_lock_free);

bool isValidDomain(const std::string& domain) {
    return !domain.empty() && domain.find('/') == std::string::npos && domain.front() != '.' &&
           domain.find('\0') == std::string::npos && domain.size() < 200;
}

} // namespace

std::shared_ptr<FileDefaultsStore> FileDefaultsStore::open(const std::string& folder,
                                                           const std::string& domain,
                                                           std::shared_ptr<Log> log, RenameFunction rename) {
    if (!isValidDomain(domain)) {
        return nullptr;
    }
    static std::mutex registryMutex;
    static std::map<std::string, std::weak_ptr<FileDefaultsStore>> registry;

    const std::string key = folder + "/" + domain;
    std::lock_guard lock(registryMutex);
    if (auto existing = registry[key].lock()) {
        return existing;
    }
    auto store = std::make_shared<FileDefaultsStore>(folder, domain, std::move(log), std::move(rename));
    store->load();
    registry[key] = store;
    return store;
}

FileDefaultsStore::FileDefaultsStore(std::string folder, std::string domain, std::shared_ptr<Log> log,
                                     RenameFunction rename)
    : m_folder(std::move(folder)), m_path(m_folder + "/" + domain + ".plist"), m_log(std::move(log)),
      m_rename(std::move(rename)) {}

FileDefaultsStore::~FileDefaultsStore() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_writer.joinable()) {
        m_writer.join();
    }
}

void FileDefaultsStore::load() {
    // One process keeps a domain (the program runs once per user), so a temporary file of its
    // is what a killed write left.
    removeUnfinishedWrites(m_path);
    std::error_code ec;
    if (!std::filesystem::exists(m_path, ec)) {
        return;
    }
    auto bytes = readWholeFile(m_path);
    std::optional<Value> root = bytes ? readPropertyList(*bytes) : std::nullopt;
    if (root && root->asDictionary()) {
        m_values = *root->asDictionary();
        return;
    }
    const std::string aside = m_path + ".corrupt";
    if (std::rename(m_path.c_str(), aside.c_str()) == 0) {
        m_log->line("Drovane: defaults file " + m_path + " could not be read, moved aside to " + aside);
    } else {
        m_log->line("Drovane: defaults file " + m_path +
                    " could not be read or moved aside: " + std::strerror(errno));
    }
}

std::optional<Value> FileDefaultsStore::value(const std::string& key) const {
    std::lock_guard lock(m_mutex);
    auto it = m_values.find(key);
    if (it == m_values.end()) {
        return std::nullopt;
    }
    return it->second;
}

void FileDefaultsStore::set(const std::string& key, Value value) {
    std::lock_guard lock(m_mutex);
    m_values.insert_or_assign(key, std::move(value));
    changed();
}

void FileDefaultsStore::remove(const std::string& key) {
    std::lock_guard lock(m_mutex);
    if (m_values.erase(key) > 0) {
        changed();
    }
}

std::shared_ptr<DefaultsStore> FileDefaultsStore::suite(const std::string& domain) {
    return open(m_folder, domain, m_log);
}

bool FileDefaultsStore::writesPending() {
    return g_storesWithUnwrittenChanges.load() > 0;
}

void FileDefaultsStore::changed() {
    if (m_changes == m_written) {
        ++g_storesWithUnwrittenChanges;
    }
    ++m_changes;
    if (!m_writer.joinable()) {
        m_writer = std::thread([this] { writeLoop(); });
    }
    m_wake.notify_one();
}

void FileDefaultsStore::writeLoop() {
    // A termination signal's handler waits for this thread's write, so it must run elsewhere.
    sigset_t all;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, nullptr);

    std::unique_lock lock(m_mutex);
    while (true) {
        m_wake.wait(lock, [this] { return m_stopping || m_changes != m_written; });
        if (m_changes == m_written) {
            return; // stopping with nothing left to write
        }
        const std::uint64_t changes = m_changes;
        const Value::Dictionary values = m_values;
        lock.unlock();
        write(values);
        lock.lock();
        m_written = changes;
        if (m_changes == m_written) {
            --g_storesWithUnwrittenChanges;
        }
    }
}

void FileDefaultsStore::write(const Value::Dictionary& values) {
    std::error_code ec;
    std::filesystem::create_directories(m_folder, ec);
    if (auto error = writeFileAtomically(m_path, writeXmlPropertyList(Value(values)), m_rename)) {
        m_log->line("Drovane: cannot write defaults file " + m_path + ": " + *error);
    }
}

} // namespace drovane
