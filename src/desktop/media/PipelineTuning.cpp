#include "desktop/media/PipelineTuning.h"

#include <cstring>
#include <gst/gst.h>
#include <mutex>

namespace drovane::desktop {

namespace {

constexpr guint kQueuedPictures = 1;
constexpr long kOneThreadPixels = 1920L * 1200;

const char* factoryName(GstElement* element) {
    GstElementFactory* factory = gst_element_get_factory(element);
    return factory ? GST_OBJECT_NAME(factory) : "";
}

// The decoder's threads are fixed when it opens, on the caps it learns first.
GstPadProbeReturn capsArriving(GstPad* pad, GstPadProbeInfo* info, gpointer) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
        GstCaps* caps = nullptr;
        gst_event_parse_caps(event, &caps);
        int width = 0, height = 0;
        if (caps && gst_caps_get_size(caps) > 0) {
            const GstStructure* format = gst_caps_get_structure(caps, 0);
            gst_structure_get_int(format, "width", &width);
            gst_structure_get_int(format, "height", &height);
        }
        if (GstElement* decoder = gst_pad_get_parent_element(pad)) {
            g_object_set(decoder, "max-threads", decoderThreadsFor(width, height), nullptr);
            gst_object_unref(decoder);
        }
    }
    return GST_PAD_PROBE_OK;
}

void elementMade(GstTracer*, GstClockTime, GstElement* element) {
    const char* factory = factoryName(element);
    if (std::strcmp(factory, "queue") == 0) {
        g_object_set(element, "max-size-buffers", kQueuedPictures, nullptr);
    } else if (g_str_has_prefix(factory, "avdec_")) {
        if (GstPad* sink = gst_element_get_static_pad(element, "sink")) {
            gst_pad_add_probe(sink, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, capsArriving, nullptr, nullptr);
            gst_object_unref(sink);
        }
    }
}

// A tracer is GStreamer's public hook into every element a pipeline makes, Qt's included.
struct Tuner {
    GstTracer parent;
};
struct TunerClass {
    GstTracerClass parent;
};

void tunerInit(GTypeInstance* instance, gpointer) {
    gst_tracing_register_hook(GST_TRACER(instance), "element-new", G_CALLBACK(elementMade));
}

GType tunerType() {
    static const GType type =
        g_type_register_static_simple(GST_TYPE_TRACER, "DrovanePipelineTuner", sizeof(TunerClass), nullptr,
                                      sizeof(Tuner), tunerInit, GTypeFlags(0));
    return type;
}

// Qt's media integration starts a device monitor for cameras, microphones and speakers, which
// loads every device provider (PulseAudio, PipeWire, Video4Linux, Vulkan, DeckLink) with its
// libraries and connects to the sound server. A wallpaper plays muted films from files and
// never asks for a device: without providers the monitor finds none and loads nothing.
void forgetDeviceProviders() {
    GstRegistry* registry = gst_registry_get();
    GList* providers = gst_registry_get_feature_list(registry, GST_TYPE_DEVICE_PROVIDER_FACTORY);
    for (GList* item = providers; item != nullptr; item = item->next) {
        gst_registry_remove_feature(registry, GST_PLUGIN_FEATURE(item->data));
    }
    gst_plugin_feature_list_free(providers);
}

} // namespace

int decoderThreadsFor(int width, int height) {
    return width > 0 && height > 0 && long(width) * height <= kOneThreadPixels ? 1 : 0;
}

void tunePlaybackPipelines() {
    static std::once_flag once;
    std::call_once(once, [] {
        gst_init(nullptr, nullptr);
        forgetDeviceProviders();
        // Lives as long as the process: the hooks hold it.
        g_object_new(tunerType(), nullptr);
    });
}

} // namespace drovane::desktop
