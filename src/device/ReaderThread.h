#pragma once

#include <thread>

namespace kelvo::device {

// Ends a device's reader thread when the device goes away. The reader holds
// a reference to its device while it runs, so the last reference may be
// dropped on the reader itself as it ends: it cannot join itself, and is
// left to finish on its own.
inline void endReaderThread(std::thread &reader)
{
    if (!reader.joinable()) {
        return;
    }
    if (reader.get_id() == std::this_thread::get_id()) {
        reader.detach();
    } else {
        reader.join();
    }
}

} // namespace kelvo::device
