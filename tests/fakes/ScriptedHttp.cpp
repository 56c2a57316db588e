#include "fakes/ScriptedHttp.h"

#include <cassert>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace drovane::fakes {

namespace {

// Writes `body` to a new file in `folder`; nothing when the file cannot be made.
std::optional<std::string> writeTemporaryFile(const std::string& folder,
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

} // namespace

std::shared_ptr<HttpTask> ScriptedHttp::download(const Url& url, const std::string& temporaryDirectory,
                                                 std::function<void(double)> onProgress,
                                                 std::function<void(const HttpDownloadResult&)> onComplete,
                                                 std::uint64_t maxBytes) {
    auto task = std::shared_ptr<Task>(new Task(url, true, m_live));
    task->m_temporaryDirectory = temporaryDirectory;
    task->m_maxBytes = maxBytes;
    task->m_onProgress = std::move(onProgress);
    task->m_onDownload = std::move(onComplete);
    return track(task);
}

std::shared_ptr<HttpTask> ScriptedHttp::get(const Url& url, double,
                                            std::function<void(const HttpDataResult&)> onComplete) {
    auto task = std::shared_ptr<Task>(new Task(url, false, m_live));
    task->m_onData = std::move(onComplete);
    return track(task);
}

std::shared_ptr<HttpTask> ScriptedHttp::track(std::shared_ptr<Task> task) {
    std::lock_guard lock(m_mutex);
    m_tasks.push_back(task);
    requested.push_back(task->url().string());
    return task;
}

std::vector<std::shared_ptr<ScriptedHttp::Task>> ScriptedHttp::tasks() const {
    std::lock_guard lock(m_mutex);
    return m_tasks;
}

std::vector<std::shared_ptr<ScriptedHttp::Task>> ScriptedHttp::pending() const {
    std::vector<std::shared_ptr<Task>> open;
    for (const auto& task : tasks()) {
        if (task->m_started && !task->m_finished) {
            open.push_back(task);
        }
    }
    return open;
}

std::shared_ptr<ScriptedHttp::Task> ScriptedHttp::last(const std::string& address) const {
    std::lock_guard lock(m_mutex);
    for (auto it = m_tasks.rbegin(); it != m_tasks.rend(); ++it) {
        if ((*it)->url().string() == address) {
            return *it;
        }
    }
    return nullptr;
}

void ScriptedHttp::progress(const std::shared_ptr<Task>& task, double fraction) {
    assert(task && task->isDownload() && task->started() && "progress belongs to a started download");
    if (task->m_onProgress && !task->m_finished) {
        task->m_onProgress(fraction);
    }
}

HttpDataResult ScriptedHttp::scripted(const Task& task) const {
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

void ScriptedHttp::answer(const std::shared_ptr<Task>& task) {
    answer(task, scripted(*task));
}

void ScriptedHttp::answer(const std::shared_ptr<Task>& task, const HttpDataResult& result) {
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

void ScriptedHttp::forgetAnswered() {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_tasks, [](const std::shared_ptr<Task>& task) { return task->m_finished.load(); });
    requested.clear();
}

std::size_t ScriptedHttp::answerAll() {
    std::size_t answered = 0;
    for (auto open = pending(); !open.empty(); open = pending()) {
        for (const auto& task : open) {
            answer(task);
            ++answered;
        }
    }
    return answered;
}

} // namespace drovane::fakes
