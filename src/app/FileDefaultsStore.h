#pragma once

#include "platform/DefaultsStore.h"
#include "support/AtomicFile.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace drovane {

class Log;

// A defaults domain kept as one XML property list, "<folder>/<domain>.plist". The file is
// read once when the domain is opened. Changes are seen by readers at once and written on a
// thread of the store's own, atomically (temporary file, sync, rename): the caller never waits
// for the disk, and changes that come while a write is under way go out together in the next.
// The last change is on disk once the store is gone (at the latest when the process exits).
// A file that cannot be read as a dictionary is renamed aside with a ".corrupt" suffix (one
// log line) and the domain starts empty, so the user's file is never silently overwritten.
// Opening removes what writes cut off by a crash left beside the file.
class FileDefaultsStore final : public DefaultsStore, public std::enable_shared_from_this<FileDefaultsStore> {
public:
    // The domain's store; every open of the same folder and domain in this process shares one
    // instance, so a write is seen at once by all readers. Nothing for a name that cannot be a
    // file name.
    // Lines about unreadable or unwritable files go to `log`.
    static std::shared_ptr<FileDefaultsStore> open(const std::string& folder, const std::string& domain,
                                                   std::shared_ptr<Log> log, RenameFunction rename = {});

    std::optional<Value> value(const std::string& key) const override;
    void set(const std::string& key, Value value) override;
    void remove(const std::string& key) override;
    std::shared_ptr<DefaultsStore> suite(const std::string& domain) override;

    const std::string& path() const { return m_path; }

    // Whether any store has changes not on disk yet. Safe in a signal handler.
    static bool writesPending();

    // Use open(); public for make_shared.
    FileDefaultsStore(std::string folder, std::string domain, std::shared_ptr<Log> log,
                      RenameFunction rename);
    // Writes what is not on disk yet, then stops the writer.
    ~FileDefaultsStore() override;

private:
    void load();
    // Asks the writer for a write of the current values. m_mutex held.
    void changed();
    void writeLoop();
    void write(const Value::Dictionary& values);

    const std::string m_folder;
    const std::string m_path;
    const std::shared_ptr<Log> m_log;
    const RenameFunction m_rename;
    mutable std::mutex m_mutex;
    Value::Dictionary m_values;
    // Counts of changes made and written; the writer runs while they differ.
    std::uint64_t m_changes = 0;
    std::uint64_t m_written = 0;
    bool m_stopping = false;
    std::condition_variable m_wake;
    // Started by the first change: a domain only read never gets one.
    std::thread m_writer;
};

} // namespace drovane
