#include "desktop/media/PipelineTuning.h"

#include "desktop/MediaFixtures.h"
#include "fakes/TempDir.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

// The decoder's and the queues' settings once a film is prerolled through the element Qt's
// player decodes with, where the decoder is made and linked only after the film's caps are known.
struct Prerolled {
    bool ok = false;
    int decoderThreads = -1;
    guint queuedPictures = 0;
};

Prerolled preroll(const std::string& film) {
    tunePlaybackPipelines();
    Prerolled result;
    GError* error = nullptr;
    const std::string description = "uridecodebin uri=file://" + film + " ! queue ! fakesink";
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (!pipeline) {
        ADD_FAILURE() << (error ? error->message : "no pipeline");
        g_clear_error(&error);
        return result;
    }
    gst_element_set_state(pipeline, GST_STATE_PAUSED);
    result.ok =
        gst_element_get_state(pipeline, nullptr, nullptr, 20 * GST_SECOND) == GST_STATE_CHANGE_SUCCESS;
    GstIterator* elements = gst_bin_iterate_recurse(GST_BIN(pipeline));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(elements, &item) == GST_ITERATOR_OK) {
        auto* element = GST_ELEMENT(g_value_get_object(&item));
        const std::string factory = GST_OBJECT_NAME(gst_element_get_factory(element));
        if (factory.starts_with("avdec_")) {
            g_object_get(element, "max-threads", &result.decoderThreads, nullptr);
        } else if (factory == "queue") {
            g_object_get(element, "max-size-buffers", &result.queuedPictures, nullptr);
        }
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(elements);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return result;
}

TEST(PipelineTuning, DecodesFilmsUpTo1920x1200OnOneThreadAndQueuesOnePicture) {
    const struct {
        int width, height;
        int threads;
    } rows[] = {{1920, 1080, 1}, {1920, 1200, 1}, {2560, 1440, 0}};
    fakes::TempDir dir;
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height));
        const std::string film = dir / ("film-" + std::to_string(row.width) + ".mov");
        ASSERT_TRUE(fixtures::patternFilm(film, fixtures::Codec::H264, row.width, row.height, 0.2));
        const Prerolled prerolled = preroll(film);
        EXPECT_TRUE(prerolled.ok);
        EXPECT_EQ(prerolled.decoderThreads, row.threads);
        EXPECT_EQ(prerolled.queuedPictures, 1u);
    }
    // A size the caps do not give leaves the choice to the decoder.
    EXPECT_EQ(decoderThreadsFor(0, 0), 0);
}

// Qt's device monitor would load the sound server's and the cameras' plugins: none is offered.
TEST(PipelineTuning, NoDeviceProviderIsOffered) {
    tunePlaybackPipelines();
    GstRegistry* registry = gst_registry_get();
    GstPlugin* cameras = gst_registry_find_plugin(registry, "video4linux2");
    ASSERT_NE(cameras, nullptr) << "the plugin stays, for its elements";
    gst_object_unref(cameras);
    GList* providers = gst_registry_get_feature_list(registry, GST_TYPE_DEVICE_PROVIDER_FACTORY);
    EXPECT_EQ(g_list_length(providers), 0u);
    gst_plugin_feature_list_free(providers);
}

} // namespace
} // namespace drovane::desktop
