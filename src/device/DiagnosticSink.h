#pragma once

namespace kelvo::device {

// The button-test window as the report decoder sees it: while diagnostic mode
// is on, button and head-position reports are counted here instead of acted
// on. Called on the main thread.
class DiagnosticSink {
public:
    virtual ~DiagnosticSink() = default;
    // code: the report code (0x00..0xFF), or 0xAA for an on-screen display
    // toggle, which the window counts with the freeze button.
    virtual void handleButton(long code) = 0;
};

} // namespace kelvo::device
