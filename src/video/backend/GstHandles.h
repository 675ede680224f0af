#pragma once

#include <gst/gst.h>

#include <memory>

namespace kelvo::video::backend {

// Owners of one GStreamer or GLib reference each, so that every return path
// drops what it took. A floating reference (new elements, pads and bins) is
// first made a full one with sinkFloating; a call that takes ownership itself
// (gst_app_src_push_buffer) is handed release().

// Calls `release` on the pointer it owns; one type per release function.
template <auto release> struct Release {
    template <typename T> void operator()(T *owned) const { release(owned); }
};

// Elements, bins, pads, buses, devices and device monitors.
template <typename T> using GstObjectPtr = std::unique_ptr<T, Release<gst_object_unref>>;
using GstCapsPtr = std::unique_ptr<GstCaps, Release<gst_caps_unref>>;
using GstBufferPtr = std::unique_ptr<GstBuffer, Release<gst_buffer_unref>>;
using GstSamplePtr = std::unique_ptr<GstSample, Release<gst_sample_unref>>;
using GstMessagePtr = std::unique_ptr<GstMessage, Release<gst_message_unref>>;
using GstStructurePtr = std::unique_ptr<GstStructure, Release<gst_structure_free>>;
using GstParseContextPtr = std::unique_ptr<GstParseContext, Release<gst_parse_context_free>>;
using GCharPtr = std::unique_ptr<gchar, Release<g_free>>;
using GStrvPtr = std::unique_ptr<gchar *, Release<g_strfreev>>;
using GErrorPtr = std::unique_ptr<GError, Release<g_error_free>>;

// Takes a new object's floating reference (or adds a full one to an object
// that is not floating) and owns it; null stays null.
template <typename T> GstObjectPtr<T> sinkFloating(T *object)
{
    return GstObjectPtr<T>(object ? static_cast<T *>(gst_object_ref_sink(object)) : nullptr);
}

} // namespace kelvo::video::backend
