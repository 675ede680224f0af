#pragma once

#include <QImage>
#include <QSize>

namespace kelvo::video::backend {

// Draws the page the simulated camera looks at: headings, paragraphs from
// large to small print, a table, a photograph-like picture and a ruler, so
// that zoom, colour modes and reading guides have something real to act on.
// Everything scales with the page width. Needs a QGuiApplication (fonts).
QImage renderSimulatedDocumentPage(QSize size);

} // namespace kelvo::video::backend
