#pragma once

#include <gst/gst.h>

#include <atomic>
#include <string>

namespace kelvo::video::test {

// The video frames of a movie file that actually reach a sink through
// QuickTime demuxing, counted as they pass; -1 when the file cannot be
// read at all. Gives up after timeoutSeconds.
inline int countDemuxedVideoFrames(const std::string &path, int timeoutSeconds)
{
    const std::string description = "filesrc location=\"" + path +
                                    "\" ! qtdemux name=demux demux.video_0 ! queue ! fakesink name=frames sync=false";
    GstElement *pipeline = gst_parse_launch(description.c_str(), nullptr);
    if (!pipeline)
        return -1;
    std::atomic<int> frames{0};
    GstElement *sink = gst_bin_get_by_name(GST_BIN(pipeline), "frames");
    GstPad *pad = gst_element_get_static_pad(sink, "sink");
    gst_pad_add_probe(
        pad, GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad *, GstPadProbeInfo *, gpointer data) {
            ++*static_cast<std::atomic<int> *>(data);
            return GST_PAD_PROBE_OK;
        },
        &frames, nullptr);
    gst_object_unref(pad);
    gst_object_unref(sink);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus *bus = gst_element_get_bus(pipeline);
    if (GstMessage *end = gst_bus_timed_pop_filtered(bus, GstClockTime(timeoutSeconds) * GST_SECOND,
                                                     GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)))
        gst_message_unref(end);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return frames;
}

} // namespace kelvo::video::test
