// Takes the pictures of one PipeWire video stream as a desktop's wallpaper plugin does, for the
// wallpaper benchmark: links itself to the node and, for every picture, prints a line
// "frame WIDTH HEIGHT R G B" (the middle pixel's colour) on standard error. Links by itself, so
// no session manager is needed.
//
//   drovane_pipewire_frame_counter NODE_ID

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <string>

namespace {

struct Consumer {
    pw_main_loop* loop = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    pw_proxy* link = nullptr;
    spa_hook listener{};
    std::uint32_t producer = 0;
    int width = 0, height = 0;
};

void onState(void* data, pw_stream_state, pw_stream_state state, const char* error) {
    auto& c = *static_cast<Consumer*>(data);
    if (state == PW_STREAM_STATE_ERROR) {
        std::fprintf(stderr, "error %s\n", error ? error : "");
        pw_main_loop_quit(c.loop);
    }
    if (state == PW_STREAM_STATE_PAUSED && !c.link) {
        const std::string output = std::to_string(c.producer);
        const std::string input = std::to_string(pw_stream_get_node_id(c.stream));
        pw_properties* properties = pw_properties_new(PW_KEY_LINK_OUTPUT_NODE, output.c_str(),
                                                      PW_KEY_LINK_INPUT_NODE, input.c_str(), nullptr);
        c.link = static_cast<pw_proxy*>(pw_core_create_object(c.core, "link-factory", PW_TYPE_INTERFACE_Link,
                                                              PW_VERSION_LINK, &properties->dict, 0));
        pw_properties_free(properties);
        std::fprintf(stderr, "linked %s\n", output.c_str());
    }
}

void onParam(void* data, std::uint32_t id, const spa_pod* param) {
    auto& c = *static_cast<Consumer*>(data);
    spa_video_info_raw info{};
    if (id == SPA_PARAM_Format && param && spa_format_video_raw_parse(param, &info) >= 0) {
        c.width = static_cast<int>(info.size.width);
        c.height = static_cast<int>(info.size.height);
    }
}

void onProcess(void* data) {
    auto& c = *static_cast<Consumer*>(data);
    pw_buffer* buffer = pw_stream_dequeue_buffer(c.stream);
    if (!buffer) {
        return;
    }
    const spa_data& d = buffer->buffer->datas[0];
    const auto stride = static_cast<std::size_t>(d.chunk->stride);
    const std::size_t middle =
        stride * static_cast<std::size_t>(c.height / 2) + static_cast<std::size_t>(c.width / 2) * 4;
    if (d.data && d.chunk->size > 0 && middle + 4 <= d.chunk->size) {
        const auto* p = static_cast<const std::uint8_t*>(d.data) + d.chunk->offset + middle;
        // BGRx in memory.
        std::fprintf(stderr, "frame %d %d %d %d %d\n", c.width, c.height, p[2], p[1], p[0]);
    }
    pw_stream_queue_buffer(c.stream, buffer);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s NODE_ID\n", argv[0]);
        return 2;
    }
    std::setvbuf(stderr, nullptr, _IOLBF, 0);
    pw_init(&argc, &argv);
    Consumer c;
    c.producer = static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10));
    c.loop = pw_main_loop_new(nullptr);
    pw_context* context = pw_context_new(pw_main_loop_get_loop(c.loop), nullptr, 0);
    c.core = pw_context_connect(context, nullptr, 0);
    if (!c.core) {
        std::fprintf(stderr, "error no daemon\n");
        return 1;
    }
    c.stream = pw_stream_new(
        c.core, "drovane-frame-counter",
        pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture", nullptr));
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = onState;
    events.param_changed = onParam;
    events.process = onProcess;
    pw_stream_add_listener(c.stream, &c.listener, &events, &c);

    std::uint8_t storage[1024];
    spa_pod_builder builder{};
    spa_pod_builder_init(&builder, storage, sizeof storage);
    spa_rectangle size{1, 1}, minSize{1, 1}, maxSize{16384, 16384};
    spa_fraction rate{0, 1}, minRate{0, 1}, maxRate{1000, 1};
    const spa_pod* params[] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
        SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(3, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &minSize, &maxSize),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&rate, &minRate, &maxRate)))};
    pw_stream_connect(c.stream, PW_DIRECTION_INPUT, PW_ID_ANY, PW_STREAM_FLAG_MAP_BUFFERS, params, 1);

    std::signal(SIGTERM, [](int) { std::_Exit(0); });
    pw_main_loop_run(c.loop);
    return 0;
}
