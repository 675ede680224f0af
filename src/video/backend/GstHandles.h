#pragma once

#include <gst/gst.h>

#include <memory>

namespace kelvo::video::backend {

// Owners of one GStreamer or GLib reference each, so that every return path
// drops what it took. A floating reference (new elements, pads and bins) is
// first made a full one with sinkFloating; a call that takes ownership itself
// (gst_app_src_push_buffer) is handed release().

struct GstObjectUnref {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
// Elements, bins, pads, buses, devices and device monitors.
template <typename T> using GstObjectPtr = std::unique_ptr<T, GstObjectUnref>;

struct GstCapsUnref {
    void operator()(GstCaps *caps) const { gst_caps_unref(caps); }
};
using GstCapsPtr = std::unique_ptr<GstCaps, GstCapsUnref>;

struct GstBufferUnref {
    void operator()(GstBuffer *buffer) const { gst_buffer_unref(buffer); }
};
using GstBufferPtr = std::unique_ptr<GstBuffer, GstBufferUnref>;

struct GstSampleUnref {
    void operator()(GstSample *sample) const { gst_sample_unref(sample); }
};
using GstSamplePtr = std::unique_ptr<GstSample, GstSampleUnref>;

struct GstMessageUnref {
    void operator()(GstMessage *message) const { gst_message_unref(message); }
};
using GstMessagePtr = std::unique_ptr<GstMessage, GstMessageUnref>;

struct GstStructureFree {
    void operator()(GstStructure *structure) const { gst_structure_free(structure); }
};
using GstStructurePtr = std::unique_ptr<GstStructure, GstStructureFree>;

struct GstParseContextFree {
    void operator()(GstParseContext *context) const { gst_parse_context_free(context); }
};
using GstParseContextPtr = std::unique_ptr<GstParseContext, GstParseContextFree>;

struct GFree {
    void operator()(gchar *text) const { g_free(text); }
};
using GCharPtr = std::unique_ptr<gchar, GFree>;

struct GStrvFree {
    void operator()(gchar **strings) const { g_strfreev(strings); }
};
using GStrvPtr = std::unique_ptr<gchar *, GStrvFree>;

struct GErrorFree {
    void operator()(GError *error) const { g_error_free(error); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

// Takes a new object's floating reference (or adds a full one to an object
// that is not floating) and owns it; null stays null.
template <typename T> GstObjectPtr<T> sinkFloating(T *object)
{
    return GstObjectPtr<T>(object ? static_cast<T *>(gst_object_ref_sink(object)) : nullptr);
}

} // namespace kelvo::video::backend
