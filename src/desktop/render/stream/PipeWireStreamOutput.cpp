#include "desktop/render/stream/PipeWireStreamOutput.h"

#include "desktop/render/stream/PipeWireConnection.h"
#include "platform/Log.h"

#include <cstring>
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

namespace drovane::desktop {

namespace {

// Pictures change with the film's frames, a cross-fade at most doubling them.
constexpr spa_fraction kMaxRate{60, 1};
constexpr spa_fraction kMinRate{1, 1};
// Enough for one picture with the consumer and one being filled, with one to spare.
constexpr int kBuffers = 3;

const spa_pod* formatParam(spa_pod_builder& builder, int width, int height) {
    spa_rectangle size{static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
    // Pictures come when the film has one: no fixed rate.
    spa_fraction rate{0, 1}, maxRate = kMaxRate, minRate = kMinRate;
    return static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
        SPA_FORMAT_VIDEO_format, SPA_POD_Id(SPA_VIDEO_FORMAT_BGRx), SPA_FORMAT_VIDEO_size,
        SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate),
        SPA_FORMAT_VIDEO_maxFramerate, SPA_POD_CHOICE_RANGE_Fraction(&maxRate, &minRate, &maxRate)));
}

} // namespace

QImage SentPicture::image() const {
    std::lock_guard lock(m_mutex);
    if (m_pixels.empty()) {
        return {};
    }
    return QImage(m_pixels.data(), m_width, m_height, m_stride, QImage::Format_RGB32).copy();
}

// What PipeWire's thread learns about the stream; read under the connection's lock.
struct PipeWireStreamOutput::Listener {
    PipeWireStreamOutput* output = nullptr;
    spa_hook hook{};
    pw_stream_events events{};
    int width = 0, height = 0;
    bool streaming = false;
    bool nodeIdTold = false;
};

PipeWireStreamOutput::PipeWireStreamOutput(std::shared_ptr<PipeWireConnection> connection, Events events,
                                           std::shared_ptr<SentPicture> sent)
    : m_connection(std::move(connection)), m_events(std::move(events)), m_sent(std::move(sent)),
      m_listener(std::make_unique<Listener>()) {}

std::unique_ptr<PipeWireStreamOutput>
PipeWireStreamOutput::open(std::shared_ptr<PipeWireConnection> connection, const Node& node, int width,
                           int height, Events events, std::shared_ptr<SentPicture> sent) {
    std::unique_ptr<PipeWireStreamOutput> output(
        new PipeWireStreamOutput(std::move(connection), std::move(events), std::move(sent)));
    PipeWireConnection::Lock lock(*output->m_connection);
    pw_properties* properties = pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_CLASS, "Video/Source",
        PW_KEY_MEDIA_ROLE, "Screen", PW_KEY_NODE_NAME, node.name.c_str(), PW_KEY_NODE_DESCRIPTION,
        node.description.c_str(), "drovane.screen", node.screen.c_str(), nullptr);
    output->m_stream = pw_stream_new(output->m_connection->core(), node.name.c_str(), properties);
    if (!output->m_stream) {
        output->m_connection->log().line("Drovane: cannot make the wallpaper stream " + node.name);
        return nullptr;
    }

    Listener& listener = *output->m_listener;
    listener.output = output.get();
    listener.events.version = PW_VERSION_STREAM_EVENTS;
    listener.events.state_changed = [](void* data, pw_stream_state, pw_stream_state state,
                                       const char* error) {
        auto& self = *static_cast<Listener*>(data);
        PipeWireStreamOutput& out = *self.output;
        if (!self.nodeIdTold && state == PW_STREAM_STATE_PAUSED) {
            const std::uint32_t id = pw_stream_get_node_id(out.m_stream);
            if (id != SPA_ID_INVALID) {
                self.nodeIdTold = true;
                if (out.m_events.onNodeId) {
                    out.m_events.onNodeId(id);
                }
            }
        }
        if (state == PW_STREAM_STATE_ERROR) {
            out.m_connection->log().line(std::string("Drovane: the wallpaper stream ") +
                                         pw_stream_get_name(out.m_stream) +
                                         " failed: " + (error ? error : ""));
        }
        if (self.nodeIdTold && (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED)) {
            self.nodeIdTold = false;
            if (out.m_events.onNodeId) {
                out.m_events.onNodeId(std::nullopt);
            }
        }
        const bool streaming = state == PW_STREAM_STATE_STREAMING;
        if (streaming != self.streaming) {
            self.streaming = streaming;
            if (out.m_events.onStreaming) {
                out.m_events.onStreaming(streaming);
            }
        }
    };
    listener.events.param_changed = [](void* data, std::uint32_t id, const spa_pod* param) {
        auto& self = *static_cast<Listener*>(data);
        if (id != SPA_PARAM_Format) {
            return;
        }
        spa_video_info_raw info{};
        if (!param || spa_format_video_raw_parse(param, &info) < 0) {
            self.width = self.height = 0;
            return;
        }
        self.width = static_cast<int>(info.size.width);
        self.height = static_cast<int>(info.size.height);
        const int stride = scaledStride(self.width);
        std::uint8_t storage[1024];
        spa_pod_builder builder{};
        spa_pod_builder_init(&builder, storage, sizeof storage);
        const auto* buffers = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_CHOICE_RANGE_Int(kBuffers, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
            SPA_PARAM_BUFFERS_size, SPA_POD_Int(stride * self.height), SPA_PARAM_BUFFERS_stride,
            SPA_POD_Int(stride), SPA_PARAM_BUFFERS_dataType, SPA_POD_CHOICE_FLAGS_Int(1 << SPA_DATA_MemFd)));
        const spa_pod* params[] = {buffers};
        pw_stream_update_params(self.output->m_stream, params, 1);
    };
    pw_stream_add_listener(output->m_stream, &listener.hook, &listener.events, &listener);

    output->m_offeredWidth = width;
    output->m_offeredHeight = height;
    std::uint8_t storage[1024];
    spa_pod_builder builder{};
    spa_pod_builder_init(&builder, storage, sizeof storage);
    const spa_pod* params[] = {formatParam(builder, width, height)};
    const int result = pw_stream_connect(
        output->m_stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), params, 1);
    if (result < 0) {
        output->m_connection->log().line("Drovane: cannot publish the wallpaper stream " + node.name + ": " +
                                         std::strerror(-result));
        return nullptr;
    }
    return output;
}

PipeWireStreamOutput::~PipeWireStreamOutput() {
    PipeWireConnection::Lock lock(*m_connection);
    if (m_stream) {
        spa_hook_remove(&m_listener->hook);
        pw_stream_destroy(m_stream);
    }
}

void PipeWireStreamOutput::offerSize(int width, int height) {
    std::uint8_t storage[1024];
    spa_pod_builder builder{};
    spa_pod_builder_init(&builder, storage, sizeof storage);
    const spa_pod* params[] = {formatParam(builder, width, height)};
    pw_stream_update_params(m_stream, params, 1);
    m_offeredWidth = width;
    m_offeredHeight = height;
}

PixelTarget PipeWireStreamOutput::buffer(int width, int height) {
    if (width != m_offeredWidth || height != m_offeredHeight) {
        PipeWireConnection::Lock lock(*m_connection);
        offerSize(width, height);
    }
    const int stride = scaledStride(width);
    m_drawing.resize(static_cast<std::size_t>(stride) * height);
    m_width = width;
    m_height = height;
    m_drawn = true;
    return PixelTarget{m_drawing.data(), width, height, stride};
}

bool PipeWireStreamOutput::present() {
    if (!m_drawn) {
        return false;
    }
    m_drawn = false;
    {
        std::lock_guard lock(m_sent->m_mutex);
        // The picture drawn becomes the one sent; the older one is drawn over next.
        m_sent->m_pixels.swap(m_drawing);
        m_sent->m_width = m_width;
        m_sent->m_height = m_height;
        m_sent->m_stride = scaledStride(m_width);
    }
    PipeWireConnection::Lock lock(*m_connection);
    return send();
}

bool PipeWireStreamOutput::presentAgain() {
    PipeWireConnection::Lock lock(*m_connection);
    return send();
}

bool PipeWireStreamOutput::send() {
    // Only this thread writes the sent picture, so reading it needs no lock here.
    const SentPicture& sent = *m_sent;
    if (!m_listener->streaming || sent.m_pixels.empty() || sent.m_width != m_listener->width ||
        sent.m_height != m_listener->height) {
        return false;
    }
    pw_buffer* buffer = pw_stream_dequeue_buffer(m_stream);
    if (!buffer) {
        return false;
    }
    spa_data& data = buffer->buffer->datas[0];
    const std::size_t bytes = sent.m_pixels.size();
    if (!data.data || data.maxsize < bytes) {
        data.chunk->size = 0;
        pw_stream_queue_buffer(m_stream, buffer);
        return false;
    }
    std::memcpy(data.data, sent.m_pixels.data(), bytes);
    data.chunk->offset = 0;
    data.chunk->size = static_cast<std::uint32_t>(bytes);
    data.chunk->stride = sent.m_stride;
    data.chunk->flags = SPA_CHUNK_FLAG_NONE;
    pw_stream_queue_buffer(m_stream, buffer);
    if (pw_stream_is_driving(m_stream)) {
        pw_stream_trigger_process(m_stream);
    }
    return true;
}

} // namespace drovane::desktop
