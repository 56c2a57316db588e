#pragma once

#include "desktop/render/software/PictureOutput.h"

#include <QImage>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct pw_stream;

namespace drovane::desktop {

class PipeWireConnection;

// The last picture a PipeWireStreamOutput sent, for reading on another thread.
class SentPicture {
public:
    // A copy; null before the first picture.
    QImage image() const;

private:
    friend class PipeWireStreamOutput;
    mutable std::mutex m_mutex;
    std::vector<std::uint8_t> m_pixels;
    int m_width = 0, m_height = 0, m_stride = 0;
};

// Pictures sent as a PipeWire video stream (BGRx, the size of the pictures drawn, at whatever
// pace they come) whose node drives itself: a picture goes out when it is presented, so an
// unchanged picture costs nothing. The compositor draws into memory of this output's own, which
// present() copies into a free buffer of the stream: the stream's buffers can go away with a
// new format at any time, and the last picture can be sent again to a consumer that arrives
// later. Made and used on one thread; the events come on the connection's thread.
class PipeWireStreamOutput final : public PictureOutput {
public:
    struct Node {
        // node.name, node.description, and the screen's frame as "x,y,width,height".
        std::string name, description, screen;
    };
    struct Events {
        // The daemon gave the stream its node id, or took it back (nothing): the stream failed
        // or the daemon went away.
        std::function<void(std::optional<std::uint32_t> nodeId)> onNodeId;
        // A consumer started, or stopped, taking pictures.
        std::function<void(bool streaming)> onStreaming;
    };

    // Nothing (and a log line) when the stream cannot be made.
    static std::unique_ptr<PipeWireStreamOutput> open(std::shared_ptr<PipeWireConnection> connection,
                                                      const Node& node, int width, int height, Events events,
                                                      std::shared_ptr<SentPicture> sent);
    ~PipeWireStreamOutput() override;
    PipeWireStreamOutput(const PipeWireStreamOutput&) = delete;
    PipeWireStreamOutput& operator=(const PipeWireStreamOutput&) = delete;

    // Of a new size, the stream offers that size to its consumer from now on.
    PixelTarget buffer(int width, int height) override;
    // False, the picture kept for presentAgain(), while no consumer takes pictures of its size or
    // every buffer is still in the consumer's hands.
    bool present() override;
    // Sends the picture last presented again.
    bool presentAgain() override;

private:
    struct Listener;
    PipeWireStreamOutput(std::shared_ptr<PipeWireConnection> connection, Events events,
                         std::shared_ptr<SentPicture> sent);
    // Offers pictures of this size; under the connection's lock.
    void offerSize(int width, int height);
    // Copies m_sent's picture into a free buffer and queues it; under the connection's lock.
    bool send();

    std::shared_ptr<PipeWireConnection> m_connection;
    Events m_events;
    std::shared_ptr<SentPicture> m_sent;
    std::unique_ptr<Listener> m_listener;
    pw_stream* m_stream = nullptr;
    // The picture being drawn; the one last presented is m_sent's.
    std::vector<std::uint8_t> m_drawing;
    int m_width = 0, m_height = 0;
    int m_offeredWidth = 0, m_offeredHeight = 0;
    bool m_drawn = false;
};

} // namespace drovane::desktop
