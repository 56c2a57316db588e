#pragma once

#include "platform/Http.h"

#include <atomic>
#include <cassert>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace drovane::fakes {

// `text` as a body.
inline std::vector<std::uint8_t> bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// Transfers answered from a script when the test says so, on the test's thread (which stands in
// for the network thread). Downloads receive the scripted body in a real temporary file in the
// folder they name, removed again once their completion has returned, as the real backend does.
class ScriptedHttp final : public Http {
public:
    class Task final : public HttpTask {
    public:
        ~Task() override { --*m_live; }
        Task(const Task&) = delete;
        Task& operator=(const Task&) = delete;

        void resume() override { m_started = true; }
        // Marks the task; its completion runs, with an error, when the test answers it.
        void cancel() override {
            if (!m_finished)
                m_cancelled = true;
        }

        const Url& url() const { return m_url; }
        bool isDownload() const { return m_isDownload; }
        const std::string& temporaryDirectory() const { return m_temporaryDirectory; }
        bool started() const { return m_started; }
        bool cancelled() const { return m_cancelled; }
        // The largest body a download accepts; a longer scripted body fails it.
        std::uint64_t maxBytes() const { return m_maxBytes; }

    private:
        friend class ScriptedHttp;
        Task(Url url, bool isDownload, std::shared_ptr<std::atomic<int>> live)
            : m_url(std::move(url)), m_isDownload(isDownload), m_live(std::move(live)) {
            ++*m_live;
        }

        const Url m_url;
        const bool m_isDownload;
        std::string m_temporaryDirectory;
        std::uint64_t m_maxBytes = unlimited;
        std::function<void(double)> m_onProgress;
        std::function<void(const HttpDownloadResult&)> m_onDownload;
        std::function<void(const HttpDataResult&)> m_onData;
        const std::shared_ptr<std::atomic<int>> m_live;
        std::atomic<bool> m_started = false;
        std::atomic<bool> m_cancelled = false;
        std::atomic<bool> m_finished = false;
    };

    std::shared_ptr<HttpTask> download(const Url& url, const std::string& temporaryDirectory,
                                       std::function<void(double fraction)> onProgress,
                                       std::function<void(const HttpDownloadResult&)> onComplete,
                                       std::uint64_t maxBytes = unlimited) override {
        auto task = std::shared_ptr<Task>(new Task(url, true, m_live));
        task->m_temporaryDirectory = temporaryDirectory;
        task->m_maxBytes = maxBytes;
        task->m_onProgress = std::move(onProgress);
        task->m_onDownload = std::move(onComplete);
        return track(task);
    }
    std::shared_ptr<HttpTask> get(const Url& url, double,
                                  std::function<void(const HttpDataResult&)> onComplete) override {
        auto task = std::shared_ptr<Task>(new Task(url, false, m_live));
        task->m_onData = std::move(onComplete);
        return track(task);
    }

    // The answer for each address: GETs receive the body in memory, downloads in a temporary file.
    // An address without an answer fails with a transport error.
    std::map<std::string, HttpDataResult> script;
    // Every address asked for, in order.
    std::vector<std::string> requested;

    // Every transfer made so far, oldest first.
    std::vector<std::shared_ptr<Task>> tasks() const {
        std::lock_guard lock(m_mutex);
        return m_tasks;
    }
    // Started transfers not yet answered, oldest first.
    std::vector<std::shared_ptr<Task>> pending() const {
        std::vector<std::shared_ptr<Task>> open;
        for (const auto& task : tasks()) {
            if (task->m_started && !task->m_finished) {
                open.push_back(task);
            }
        }
        return open;
    }
    // The newest transfer of `address`; null when there is none.
    std::shared_ptr<Task> last(const std::string& address) const {
        std::lock_guard lock(m_mutex);
        for (auto it = m_tasks.rbegin(); it != m_tasks.rend(); ++it) {
            if ((*it)->url().string() == address) {
                return *it;
            }
        }
        return nullptr;
    }

    // Reports the fraction completed of a download, as the network thread would.
    void progress(const std::shared_ptr<Task>& task, double fraction) {
        assert(task && task->isDownload() && task->started() && "progress belongs to a started download");
        if (task->m_onProgress && !task->m_finished) {
            task->m_onProgress(fraction);
        }
    }
    // Completes a started transfer with its scripted answer (an error once it was cancelled).
    void answer(const std::shared_ptr<Task>& task) { answer(task, scripted(*task)); }
    // Completes a started transfer with `result`, whether or not it was cancelled.
    void answer(const std::shared_ptr<Task>& task, const HttpDataResult& result) {
        assert(task->m_started && !task->m_finished && "only a started, unanswered task completes");
        task->m_finished = true;
        // A finished transfer keeps none of its callbacks, as a real one does not.
        auto onData = std::exchange(task->m_onData, nullptr);
        auto onDownload = std::exchange(task->m_onDownload, nullptr);
        task->m_onProgress = nullptr;
        if (!task->m_isDownload) {
            if (onData) {
                onData(result);
            }
            return;
        }
        HttpDownloadResult outcome{result.error, result.statusCode, std::nullopt};
        if (result.body && result.body->size() > task->m_maxBytes) {
            outcome.error = "the response is larger than " + std::to_string(task->m_maxBytes) + " bytes";
        } else if (result.body) {
            outcome.temporaryFile = writeTemporaryFile(task->m_temporaryDirectory, *result.body);
            if (!outcome.temporaryFile && outcome.error.empty()) {
                outcome.error = "cannot create a temporary file in " + task->m_temporaryDirectory;
            }
        }
        if (onDownload) {
            onDownload(outcome);
        }
        // The file lives only while the completion runs.
        if (outcome.temporaryFile) {
            ::unlink(outcome.temporaryFile->c_str());
        }
    }
    // Answers every started transfer, including those started meanwhile; returns how many.
    std::size_t answerAll() {
        std::size_t answered = 0;
        for (auto open = pending(); !open.empty(); open = pending()) {
            for (const auto& task : open) {
                answer(task);
                ++answered;
            }
        }
        return answered;
    }

    // Lets go of the answered transfers and of the addresses asked for, as a long run must.
    void forgetAnswered() {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_tasks, [](const std::shared_ptr<Task>& task) { return task->m_finished.load(); });
        requested.clear();
    }
    // Transfers not yet destroyed, whoever holds them.
    int liveTaskCount() const { return *m_live; }

private:
    // Writes `body` to a new file in `folder`; nothing when the file cannot be made.
    static std::optional<std::string> writeTemporaryFile(const std::string& folder,
                                                         const std::vector<std::uint8_t>& body) {
        std::string path = folder + "/scripted-XXXXXX";
        const int fd = ::mkostemp(path.data(), O_CLOEXEC);
        if (fd < 0) {
            return std::nullopt;
        }
        const bool whole = ::write(fd, body.data(), body.size()) == static_cast<ssize_t>(body.size());
        ::close(fd);
        if (!whole) {
            ::unlink(path.c_str());
            return std::nullopt;
        }
        return path;
    }
    std::shared_ptr<HttpTask> track(std::shared_ptr<Task> task) {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(task);
        requested.push_back(task->url().string());
        return task;
    }
    HttpDataResult scripted(const Task& task) const {
        if (task.cancelled()) {
            return {"cancelled", std::nullopt, std::nullopt};
        }
        std::lock_guard lock(m_mutex);
        auto it = script.find(task.url().string());
        if (it == script.end()) {
            return {"could not connect to the server", std::nullopt, std::nullopt};
        }
        return it->second;
    }

    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<Task>> m_tasks;
    const std::shared_ptr<std::atomic<int>> m_live = std::make_shared<std::atomic<int>>(0);
};

} // namespace drovane::fakes
