#pragma once

#include "platform/Http.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
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
                                       std::uint64_t maxBytes = unlimited) override;
    std::shared_ptr<HttpTask> get(const Url& url, double timeoutSeconds,
                                  std::function<void(const HttpDataResult&)> onComplete) override;

    // The answer for each address: GETs receive the body in memory, downloads in a temporary file.
    // An address without an answer fails with a transport error.
    std::map<std::string, HttpDataResult> script;
    // Every address asked for, in order.
    std::vector<std::string> requested;

    // Every transfer made so far, oldest first.
    std::vector<std::shared_ptr<Task>> tasks() const;
    // Started transfers not yet answered, oldest first.
    std::vector<std::shared_ptr<Task>> pending() const;
    // The newest transfer of `address`; null when there is none.
    std::shared_ptr<Task> last(const std::string& address) const;

    // Reports the fraction completed of a download, as the network thread would.
    void progress(const std::shared_ptr<Task>& task, double fraction);
    // Completes a started transfer with its scripted answer (an error once it was cancelled).
    void answer(const std::shared_ptr<Task>& task);
    // Completes a started transfer with `result`, whether or not it was cancelled.
    void answer(const std::shared_ptr<Task>& task, const HttpDataResult& result);
    // Answers every started transfer, including those started meanwhile; returns how many.
    std::size_t answerAll();

    // Lets go of the answered transfers and of the addresses asked for, as a long run must.
    void forgetAnswered();
    // Transfers not yet destroyed, whoever holds them.
    int liveTaskCount() const { return *m_live; }

private:
    std::shared_ptr<HttpTask> track(std::shared_ptr<Task> task);
    HttpDataResult scripted(const Task& task) const;

    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<Task>> m_tasks;
    const std::shared_ptr<std::atomic<int>> m_live = std::make_shared<std::atomic<int>>(0);
};

} // namespace drovane::fakes
