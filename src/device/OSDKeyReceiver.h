#pragma once

#include <Qt>

namespace kelvo::device {

// A key-down event synthesised for the on-screen menu when a camera button
// acts as Return, Up or Down. The native fields are those the menu's key
// handling knows; qtKey and qtModifiers say the same in Qt's terms so a Qt
// list can build a QKeyEvent from it.
struct SyntheticKeyEvent {
    unsigned short keyCode = 0;             // 36 Return, 126 up arrow, 125 down arrow
    unsigned long modifierFlags = 0xA00000; // numeric-pad and function-key flags
    double timestamp = 900.0;
    long windowNumber = 0; // the video window's
    bool isRepeat = false;
    int qtKey = 0; // Qt::Key_Return, Qt::Key_Up, Qt::Key_Down
    Qt::KeyboardModifiers qtModifiers = Qt::KeypadModifier;
};

inline constexpr unsigned short kKeyCodeReturn = 36;
inline constexpr unsigned short kKeyCodeUpArrow = 126;
inline constexpr unsigned short kKeyCodeDownArrow = 125;

// The on-screen menu's list (OSDTableView). Called on the main thread.
class OSDKeyReceiver {
public:
    virtual ~OSDKeyReceiver() = default;
    virtual void keyDown(const SyntheticKeyEvent &event) = 0;
};

} // namespace kelvo::device
