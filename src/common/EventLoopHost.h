#pragma once

#include <QCoreApplication>

#include <memory>

namespace kelvo {

// The application object that commands running without windows need for
// their event loop: none when the program already made one (tests do),
// else a QCoreApplication owned by the caller for as long as the command runs.
std::unique_ptr<QCoreApplication> coreApplicationIfMissing();

} // namespace kelvo
