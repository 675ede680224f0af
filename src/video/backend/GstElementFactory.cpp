#include "video/backend/GstElementFactory.h"

#include "common/SystemLog.h"

#include <algorithm>
#include <iterator>

namespace kelvo::video::backend {

namespace {

struct ElementPackage {
    std::string_view factory;
    std::string_view package;
};

// Debian's packaging of the plugins (dpkg -S on the plugin of each factory),
// sorted by factory name.
constexpr ElementPackage kElementPackages[] = {
    {"alsasink", "gstreamer1.0-alsa"},
    {"alsasrc", "gstreamer1.0-alsa"},
    {"appsink", "gstreamer1.0-plugins-base"},
    {"appsrc", "gstreamer1.0-plugins-base"},
    {"audioconvert", "gstreamer1.0-plugins-base"},
    {"audioresample", "gstreamer1.0-plugins-base"},
    {"audiotestsrc", "gstreamer1.0-plugins-base"},
    {"autoaudiosink", "gstreamer1.0-plugins-good"},
    {"autoaudiosrc", "gstreamer1.0-plugins-good"},
    {"autovideosrc", "gstreamer1.0-plugins-good"},
    {"avdec_h264", "gstreamer1.0-libav"},
    {"avenc_aac", "gstreamer1.0-libav"},
    {"capsfilter", "libgstreamer1.0-0"},
    {"decodebin", "gstreamer1.0-plugins-base"},
    {"fakesink", "libgstreamer1.0-0"},
    {"filesink", "libgstreamer1.0-0"},
    {"filesrc", "libgstreamer1.0-0"},
    {"h264parse", "gstreamer1.0-plugins-bad"},
    {"identity", "libgstreamer1.0-0"},
    {"jpegdec", "gstreamer1.0-plugins-good"},
    {"jpegenc", "gstreamer1.0-plugins-good"},
    {"level", "gstreamer1.0-plugins-good"},
    {"mp4mux", "gstreamer1.0-plugins-good"},
    {"multiqueue", "libgstreamer1.0-0"},
    {"pipewiresink", "gstreamer1.0-pipewire"},
    {"pipewiresrc", "gstreamer1.0-pipewire"},
    {"pulsesink", "gstreamer1.0-plugins-good"},
    {"pulsesrc", "gstreamer1.0-plugins-good"},
    {"qtmux", "gstreamer1.0-plugins-good"},
    {"queue", "libgstreamer1.0-0"},
    {"tee", "libgstreamer1.0-0"},
    {"v4l2src", "gstreamer1.0-plugins-good"},
    {"valve", "libgstreamer1.0-0"},
    {"videoconvert", "gstreamer1.0-plugins-base"},
    {"videorate", "gstreamer1.0-plugins-base"},
    {"videoscale", "gstreamer1.0-plugins-base"},
    {"videotestsrc", "gstreamer1.0-plugins-base"},
    {"volume", "gstreamer1.0-plugins-base"},
    {"x264enc", "gstreamer1.0-plugins-ugly"},
};

static_assert(std::is_sorted(std::begin(kElementPackages), std::end(kElementPackages),
                             [](const ElementPackage &a, const ElementPackage &b) { return a.factory < b.factory; }));

QString reportMissing(std::string_view factoryName)
{
    const QString message = missingElementMessage(factoryName);
    systemLog("%s\n", message.toUtf8().constData());
    return message;
}

} // namespace

GstElementFactory installedElementFactory()
{
    return [](const char *factoryName, const char *elementName) {
        return gst_element_factory_make(factoryName, elementName);
    };
}

std::string_view debianPackageForElement(std::string_view factoryName)
{
    const auto *end = std::end(kElementPackages);
    const auto *found =
        std::lower_bound(std::begin(kElementPackages), end, factoryName,
                         [](const ElementPackage &e, std::string_view name) { return e.factory < name; });
    return found != end && found->factory == factoryName ? found->package : std::string_view();
}

QString missingElementMessage(std::string_view factoryName)
{
    const QString name = QString::fromUtf8(factoryName.data(), qsizetype(factoryName.size()));
    const std::string_view package = debianPackageForElement(factoryName);
    if (package.empty())
        return QStringLiteral("The GStreamer element \"%1\" is missing; install the GStreamer plugin package that "
                              "provides it.")
            .arg(name);
    return QStringLiteral("The GStreamer element \"%1\" is missing; install the package %2.")
        .arg(name, QString::fromUtf8(package.data(), qsizetype(package.size())));
}

GstObjectPtr<GstElement> makeElement(const GstElementFactory &factory, const char *factoryName, const char *elementName,
                                     QString *error)
{
    GstObjectPtr<GstElement> element = sinkFloating(factory(factoryName, elementName));
    if (!element) {
        const QString message = reportMissing(factoryName);
        if (error)
            *error = message;
    }
    return element;
}

GstObjectPtr<GstElement> parseBin(const std::string &description, QString *error)
{
    const GstParseContextPtr context(gst_parse_context_new());
    GError *rawError = nullptr;
    GstObjectPtr<GstElement> bin = sinkFloating(
        gst_parse_bin_from_description_full(description.c_str(), TRUE, context.get(), GST_PARSE_FLAG_NONE, &rawError));
    const GErrorPtr parseError(rawError);
    const GStrvPtr missing(context ? gst_parse_context_get_missing_elements(context.get()) : nullptr);
    if (!parseError && bin)
        return bin;
    // A description with errors may still leave a partial bin behind.
    bin.reset();
    QString message;
    if (missing && missing.get()[0])
        message = reportMissing(missing.get()[0]);
    else
        message = QString::fromUtf8(parseError ? parseError->message : "the description cannot be built");
    if (error)
        *error = message;
    return nullptr;
}

} // namespace kelvo::video::backend
