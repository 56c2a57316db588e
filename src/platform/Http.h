#pragma once

#include "platform/Url.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace drovane {

// One transfer. Main thread or any thread.
class HttpTask {
public:
    virtual ~HttpTask() = default;

    // Starts the transfer.
    virtual void resume() = 0;
    // Stops the transfer; its completion still runs once, with an error.
    virtual void cancel() = 0;
};

struct HttpDownloadResult {
    // Transport error text (cancellation, timeout, connection failure); empty on success.
    std::string error;
    // The HTTP status code; nothing when no HTTP response arrived.
    std::optional<int> statusCode;
    // The downloaded file; valid only while the completion runs. Nothing without a body.
    std::optional<std::string> temporaryFile;
};

struct HttpDataResult {
    std::string error;
    std::optional<int> statusCode;
    std::optional<std::vector<std::uint8_t>> body;
};

class Http {
public:
    virtual ~Http() = default;

    static constexpr std::uint64_t unlimited = UINT64_MAX;

    // A GET of `url` into a temporary file created in `temporaryDirectory` (so moving it into
    // that file system is a rename). `onProgress` receives the fraction completed (0..1) and
    // `onComplete` the outcome, both on the network thread. A body announced or arriving larger
    // than `maxBytes` fails the transfer with an error. The task starts on resume().
    virtual std::shared_ptr<HttpTask> download(const Url& url, const std::string& temporaryDirectory,
                                               std::function<void(double fraction)> onProgress,
                                               std::function<void(const HttpDownloadResult&)> onComplete,
                                               std::uint64_t maxBytes = unlimited) = 0;
    // A GET of `url` into memory, ignoring every cache, failing after `timeoutSeconds`.
    // `onComplete` runs on the network thread. The task starts on resume().
    virtual std::shared_ptr<HttpTask> get(const Url& url, double timeoutSeconds,
                                          std::function<void(const HttpDataResult&)> onComplete) = 0;
};

} // namespace drovane
