#include "desktop/net/CurlHttp.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <limits>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace drovane::desktop {

namespace {

constexpr const char* cancelledText = "cancelled";
// How long the network thread sleeps when nothing is due; commands and transfers wake it.
constexpr int idleWaitMilliseconds = 60'000;

std::once_flag g_curlInit;

struct Transfer {
    enum class Kind { Download, Data };
    // Touched only on the network thread.
    enum class State { Created, Running, Done };

    Kind kind = Kind::Data;
    Url url;
    std::string temporaryDirectory;
    double timeoutSeconds = 0;
    std::function<void(double)> onProgress;
    std::function<void(const HttpDownloadResult&)> onDownload;
    std::function<void(const HttpDataResult&)> onData;

    State state = State::Created;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    int fd = -1;
    std::string temporaryPath;
    std::vector<std::uint8_t> body;
    std::size_t maxBody = 0;
    // A download's bound, and what of it has arrived.
    std::uint64_t maxFile = Http::unlimited;
    std::uint64_t written = 0;
    // Why the transfer's own write failed; wins over curl's generic write error.
    std::string writeError;
    long lastPermille = -1;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    explicit Transfer(Url address) : url(std::move(address)) {}
};

struct Command {
    enum class Kind { Start, Cancel };
    Kind kind;
    std::shared_ptr<Transfer> transfer;
};

std::string errnoText() {
    return std::strerror(errno);
}

long httpStatus(CURL* easy) {
    long code = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

std::size_t writeToFile(char* data, std::size_t size, std::size_t count, void* context) {
    auto& transfer = *static_cast<Transfer*>(context);
    const std::size_t total = size * count;
    // A server that announced nothing, or less than it sends, is stopped here.
    if (total > transfer.maxFile - transfer.written) {
        transfer.writeError = "the response is larger than " + std::to_string(transfer.maxFile) + " bytes";
        return 0;
    }
    transfer.written += total;
    std::size_t written = 0;
    while (written < total) {
        const ssize_t n = ::write(transfer.fd, data + written, total - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            transfer.writeError = "cannot write " + transfer.temporaryPath + ": " + errnoText();
            return 0;
        }
        written += static_cast<std::size_t>(n);
    }
    return total;
}

std::size_t writeToMemory(char* data, std::size_t size, std::size_t count, void* context) {
    auto& transfer = *static_cast<Transfer*>(context);
    const std::size_t total = size * count;
    if (transfer.body.size() + total > transfer.maxBody) {
        transfer.writeError = "the response is larger than " + std::to_string(transfer.maxBody) + " bytes";
        return 0;
    }
    transfer.body.insert(transfer.body.end(), data, data + total);
    return total;
}

int reportProgress(void* context, curl_off_t downloadTotal, curl_off_t downloadNow, curl_off_t, curl_off_t) {
    auto& transfer = *static_cast<Transfer*>(context);
    if (downloadTotal <= 0 || !transfer.onProgress) {
        return 0;
    }
    // The body of a redirect or an error page is not the file's progress.
    const long status = httpStatus(transfer.easy);
    if (status < 200 || status >= 300) {
        return 0;
    }
    const double fraction =
        std::clamp(static_cast<double>(downloadNow) / static_cast<double>(downloadTotal), 0.0, 1.0);
    // Callers look at whole percentages at most; a change of a thousandth is as fine as needed
    // and keeps curl's many calls per second from reaching them.
    const long permille = static_cast<long>(fraction * 1000);
    if (permille != transfer.lastPermille) {
        transfer.lastPermille = permille;
        transfer.onProgress(fraction);
    }
    return 0;
}

} // namespace

class CurlHttp::Engine : public std::enable_shared_from_this<CurlHttp::Engine> {
public:
    explicit Engine(CurlHttpOptions options) : m_options(std::move(options)) {
        std::call_once(g_curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
        m_multi = curl_multi_init();
        assert(m_multi && "libcurl could not make a multi handle");
    }
    ~Engine() { curl_multi_cleanup(m_multi); }

    void startThread() {
        m_thread = std::thread([self = shared_from_this()] { self->run(); });
    }

    // Cancels everything and ends the thread; commands sent afterwards are dropped.
    void shutdown() {
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping) {
                return;
            }
            m_stopping = true;
        }
        curl_multi_wakeup(m_multi);
        if (m_thread.get_id() == std::this_thread::get_id()) {
            // Destroyed from one of its own completions: the loop ends once that returns.
            m_thread.detach();
        } else if (m_thread.joinable()) {
            m_thread.join();
        }
    }

    void submit(Command command) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping) {
                return;
            }
            m_commands.push_back(std::move(command));
        }
        curl_multi_wakeup(m_multi);
    }

    const CurlHttpOptions& options() const { return m_options; }

private:
    void run() {
        for (;;) {
            std::vector<Command> commands;
            bool stopping = false;
            {
                std::lock_guard lock(m_mutex);
                commands.swap(m_commands);
                stopping = m_stopping;
            }
            for (Command& command : commands) {
                apply(command, stopping);
            }
            if (stopping) {
                break;
            }
            int running = 0;
            curl_multi_perform(m_multi, &running);
            int left = 0;
            while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
                if (message->msg == CURLMSG_DONE) {
                    finished(message->easy_handle, message->data.result);
                }
            }
            curl_multi_poll(m_multi, nullptr, 0, idleWaitMilliseconds, nullptr);
        }
        auto running = m_running;
        for (auto& [easy, transfer] : running) {
            complete(*transfer, cancelledText, std::nullopt);
        }
    }

    void apply(Command& command, bool stopping) {
        Transfer& transfer = *command.transfer;
        if (transfer.state == Transfer::State::Done) {
            return;
        }
        if (command.kind == Command::Kind::Start) {
            if (transfer.state != Transfer::State::Created) {
                return; // resumed twice
            }
            if (stopping) {
                complete(transfer, cancelledText, std::nullopt);
            } else {
                begin(command.transfer);
            }
            return;
        }
        std::optional<int> status;
        if (transfer.easy) {
            if (const long code = httpStatus(transfer.easy); code > 0) {
                status = static_cast<int>(code);
            }
        }
        complete(transfer, cancelledText, status);
    }

    void begin(const std::shared_ptr<Transfer>& shared) {
        Transfer& transfer = *shared;
        transfer.state = Transfer::State::Running;
        if (transfer.kind == Transfer::Kind::Download) {
            transfer.temporaryPath = transfer.temporaryDirectory + "/.drovane-XXXXXX";
            transfer.fd = ::mkostemp(transfer.temporaryPath.data(), O_CLOEXEC);
            if (transfer.fd < 0) {
                const std::string error =
                    "cannot create a temporary file in " + transfer.temporaryDirectory + ": " + errnoText();
                transfer.temporaryPath.clear();
                complete(transfer, error, std::nullopt);
                return;
            }
            // The file becomes the film as it is; films are readable by everyone like others.
            ::fchmod(transfer.fd, 0644);
        }
        transfer.easy = curl_easy_init();
        if (!transfer.easy) {
            complete(transfer, "cannot create a transfer", std::nullopt);
            return;
        }
        CURL* easy = transfer.easy;
        const auto millis = [](double seconds) { return static_cast<long>(std::max(0.0, seconds) * 1000); };
        curl_easy_setopt(easy, CURLOPT_URL, transfer.url.string().c_str());
        curl_easy_setopt(easy, CURLOPT_PRIVATE, &transfer);
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer.errorBuffer);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, m_options.maxRedirects);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(easy, CURLOPT_USERAGENT, m_options.userAgent.c_str());
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
        if (transfer.kind == Transfer::Kind::Download) {
            curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, millis(m_options.connectTimeoutSeconds));
            curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, m_options.lowSpeedBytesPerSecond);
            curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, m_options.lowSpeedSeconds);
            curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, writeToFile);
            curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
            curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, reportProgress);
            curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
            if (transfer.maxFile <= static_cast<std::uint64_t>(std::numeric_limits<curl_off_t>::max())) {
                // Refused at once when announced.
                curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(transfer.maxFile));
            }
        } else {
            const double connect = std::min(m_options.connectTimeoutSeconds, transfer.timeoutSeconds);
            curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, std::max(1L, millis(connect)));
            curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, std::max(1L, millis(transfer.timeoutSeconds)));
            curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, writeToMemory);
            curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
            transfer.maxBody = m_options.maxBodyBytes;
            // No cache of ours, and none on the way either.
            transfer.headers = curl_slist_append(transfer.headers, "Cache-Control: no-cache");
            transfer.headers = curl_slist_append(transfer.headers, "Pragma: no-cache");
            curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer.headers);
        }
        if (curl_multi_add_handle(m_multi, easy) != CURLM_OK) {
            complete(transfer, "cannot start the transfer", std::nullopt);
            return;
        }
        m_running[easy] = shared;
    }

    void finished(CURL* easy, CURLcode result) {
        auto it = m_running.find(easy);
        if (it == m_running.end()) {
            return;
        }
        std::shared_ptr<Transfer> transfer = it->second;
        const long code = httpStatus(easy);
        const std::optional<int> status =
            code > 0 ? std::optional<int>(static_cast<int>(code)) : std::nullopt;
        std::string error;
        if (!transfer->writeError.empty()) {
            error = transfer->writeError;
        } else if (result != CURLE_OK) {
            error = transfer->errorBuffer[0] != '\0' ? transfer->errorBuffer : curl_easy_strerror(result);
        }
        complete(*transfer, error, status);
    }

    // Ends a transfer and hands its outcome to the caller, once.
    void complete(Transfer& transfer, std::string error, std::optional<int> status) {
        transfer.state = Transfer::State::Done;
        if (transfer.easy) {
            curl_multi_remove_handle(m_multi, transfer.easy);
            m_running.erase(transfer.easy);
            curl_easy_cleanup(transfer.easy);
            transfer.easy = nullptr;
        }
        curl_slist_free_all(transfer.headers);
        transfer.headers = nullptr;

        if (transfer.kind == Transfer::Kind::Download) {
            if (transfer.fd >= 0) {
                // A film that lands must survive a crash right after: sync before it is moved.
                if (error.empty() && ::fsync(transfer.fd) != 0) {
                    error = "cannot write " + transfer.temporaryPath + ": " + errnoText();
                }
                ::close(transfer.fd);
                transfer.fd = -1;
            }
            HttpDownloadResult result{error, status, std::nullopt};
            if (error.empty() && !transfer.temporaryPath.empty()) {
                result.temporaryFile = transfer.temporaryPath;
            }
            if (auto onComplete = std::exchange(transfer.onDownload, nullptr)) {
                onComplete(result);
            }
            if (!transfer.temporaryPath.empty()) {
                ::unlink(transfer.temporaryPath.c_str()); // gone already when it was moved
            }
        } else {
            HttpDataResult result{error, status, std::nullopt};
            if (error.empty()) {
                result.body = std::move(transfer.body);
            }
            transfer.body.clear();
            if (auto onComplete = std::exchange(transfer.onData, nullptr)) {
                onComplete(result);
            }
        }
        transfer.onProgress = nullptr;
    }

    const CurlHttpOptions m_options;
    CURLM* m_multi = nullptr;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<Command> m_commands;
    bool m_stopping = false;
    // Network thread only.
    std::map<CURL*, std::shared_ptr<Transfer>> m_running;
};

namespace {

class CurlTask final : public HttpTask {
public:
    CurlTask(std::weak_ptr<CurlHttp::Engine> engine, std::shared_ptr<Transfer> transfer)
        : m_engine(std::move(engine)), m_transfer(std::move(transfer)) {}

    void resume() override { send(Command::Kind::Start); }
    void cancel() override { send(Command::Kind::Cancel); }

private:
    void send(Command::Kind kind) {
        if (auto engine = m_engine.lock()) {
            engine->submit(Command{kind, m_transfer});
        }
    }

    std::weak_ptr<CurlHttp::Engine> m_engine;
    std::shared_ptr<Transfer> m_transfer;
};

} // namespace

CurlHttpOptions curlHttpOptionsFor(const std::optional<std::string>& lowSpeedSeconds, std::string& logLine) {
    CurlHttpOptions options;
    logLine.clear();
    if (!lowSpeedSeconds || lowSpeedSeconds->empty()) {
        return options;
    }
    const std::string& text = *lowSpeedSeconds;
    long seconds = 0;
    const bool digits = text.size() <= 4 &&
                        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (digits) {
        seconds = std::stol(text);
    }
    if (seconds < 1 || seconds > 3600) {
        logLine = "Drovane: DROVANE_LOW_SPEED_SECONDS=" + text +
                  " is not a whole number of seconds from 1 to 3600, ignored";
        return options;
    }
    options.lowSpeedSeconds = seconds;
    logLine = "Drovane: DROVANE_LOW_SPEED_SECONDS=" + text + ": downloads that stall for " +
              std::to_string(seconds) + " s are abandoned";
    return options;
}

CurlHttp::CurlHttp(CurlHttpOptions options) : m_engine(std::make_shared<Engine>(std::move(options))) {
    m_engine->startThread();
}

CurlHttp::~CurlHttp() {
    m_engine->shutdown();
}

std::shared_ptr<HttpTask> CurlHttp::download(const Url& url, const std::string& temporaryDirectory,
                                             std::function<void(double fraction)> onProgress,
                                             std::function<void(const HttpDownloadResult&)> onComplete,
                                             std::uint64_t maxBytes) {
    auto transfer = std::make_shared<Transfer>(url);
    transfer->kind = Transfer::Kind::Download;
    transfer->temporaryDirectory = temporaryDirectory;
    transfer->maxFile = maxBytes;
    transfer->onProgress = std::move(onProgress);
    transfer->onDownload = std::move(onComplete);
    return std::make_shared<CurlTask>(m_engine, std::move(transfer));
}

std::shared_ptr<HttpTask> CurlHttp::get(const Url& url, double timeoutSeconds,
                                        std::function<void(const HttpDataResult&)> onComplete) {
    auto transfer = std::make_shared<Transfer>(url);
    transfer->kind = Transfer::Kind::Data;
    transfer->timeoutSeconds = timeoutSeconds;
    transfer->onData = std::move(onComplete);
    return std::make_shared<CurlTask>(m_engine, std::move(transfer));
}

} // namespace drovane::desktop
