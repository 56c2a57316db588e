#pragma once

#include "platform/Http.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace drovane::desktop {

struct CurlHttpOptions {
    // Giving up on a server that does not accept the connection.
    double connectTimeoutSeconds = 30;
    // A download that moves fewer than lowSpeedBytesPerSecond for lowSpeedSeconds is abandoned,
    // so a dead server cannot hold a download slot for ever.
    long lowSpeedBytesPerSecond = 1;
    long lowSpeedSeconds = 60;
    // A GET into memory whose body grows beyond this fails instead of exhausting memory.
    std::size_t maxBodyBytes = 64u << 20;
    long maxRedirects = 10;
    std::string userAgent = "Drovane";
};

// The options of a run of the program: the defaults, with the low-speed time taken from
// `lowSpeedSeconds` (the environment's DROVANE_LOW_SPEED_SECONDS) when it is a whole number of
// seconds from 1 to 3600, so that stalled servers can be tried by hand and in tests without a
// minute's wait. `logLine` says what came of a value that was set; empty when none was (or it is empty).
CurlHttpOptions curlHttpOptionsFor(const std::optional<std::string>& lowSpeedSeconds, std::string& logLine);

// HTTP over libcurl: one network thread drives every transfer through a multi handle.
// Redirects are followed (HTTP and HTTPS only), TLS peers and host names are verified.
// Completions and progress run on the network thread; a started or cancelled task completes
// exactly once. Downloads are written to a temporary file in the folder the caller names,
// synced to disk before the completion sees it, and removed after the completion returns.
class CurlHttp final : public Http {
public:
    explicit CurlHttp(CurlHttpOptions options = {});
    // Cancels every transfer (their completions run, with an error) and stops the thread.
    ~CurlHttp() override;
    CurlHttp(const CurlHttp&) = delete;
    CurlHttp& operator=(const CurlHttp&) = delete;

    std::shared_ptr<HttpTask> download(const Url& url, const std::string& temporaryDirectory,
                                       std::function<void(double fraction)> onProgress,
                                       std::function<void(const HttpDownloadResult&)> onComplete,
                                       std::uint64_t maxBytes = unlimited) override;
    std::shared_ptr<HttpTask> get(const Url& url, double timeoutSeconds,
                                  std::function<void(const HttpDataResult&)> onComplete) override;

    class Engine;

private:
    std::shared_ptr<Engine> m_engine;
};

} // namespace drovane::desktop
