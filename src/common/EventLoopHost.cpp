#include "common/EventLoopHost.h"

namespace kelvo {

std::unique_ptr<QCoreApplication> coreApplicationIfMissing()
{
    if (QCoreApplication::instance())
        return nullptr;
    // Qt keeps references to argc and argv for the application's lifetime.
    static int argc = 1;
    static char name[] = "kelvo-viewer";
    static char *argv[] = {name, nullptr};
    return std::make_unique<QCoreApplication>(argc, argv);
}

} // namespace kelvo
