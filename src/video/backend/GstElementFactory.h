#pragma once

#include "video/backend/GstHandles.h"

#include <QString>

#include <functional>
#include <string>
#include <string_view>

namespace kelvo::video::backend {

// Makes an element from the named factory (a floating reference), or answers
// null when no installed plugin provides that factory.
using GstElementFactory = std::function<GstElement *(const char *factoryName, const char *elementName)>;

// The installed plugins: gst_element_factory_make.
GstElementFactory installedElementFactory();

// The Debian package that installs the plugin providing a factory; empty for
// a factory the table does not know.
std::string_view debianPackageForElement(std::string_view factoryName);

// What the user is told about a missing element: its name and the package to
// install.
QString missingElementMessage(std::string_view factoryName);

// Makes an element and owns it. A missing factory is logged, and answers null
// with missingElementMessage in *error.
GstObjectPtr<GstElement> makeElement(const GstElementFactory &factory, const char *factoryName, const char *elementName,
                                     QString *error);

// Builds a bin from a launch description ("a ! b"), its unlinked pads
// ghosted, and owns it. Answers null with a message when the description
// cannot be built; a missing element is logged and named with its package.
GstObjectPtr<GstElement> parseBin(const std::string &description, QString *error);

} // namespace kelvo::video::backend
