#pragma once

#include <QString>
#include <memory>

class QKeyEvent;

namespace kelvo::ui {

// A keyboard layout, asked what a key types with Shift held. Keys are XKB
// key codes, as Qt gives them in QKeyEvent::nativeScanCode on X11 and
// Wayland.
// Thread: main thread.
class KeyboardLayout {
public:
    // The desktop's layout: the X server's where there is one, else the one
    // XKB_DEFAULT_LAYOUT names, else "us".
    static KeyboardLayout current();
    // A layout by its XKB names ("us", "de", "fr" with "oss" ...); a layout
    // list ("us,de") gives one group per entry.
    explicit KeyboardLayout(const QString &layout, const QString &variant = {});
    ~KeyboardLayout();
    KeyboardLayout(KeyboardLayout &&) noexcept;
    KeyboardLayout &operator=(KeyboardLayout &&) noexcept;

    bool isValid() const { return m_keymap != nullptr; }
    // What `keycode` types with Shift (dead keys give nothing) in layout
    // group `group`; empty when the key types nothing or there is no layout.
    QString shiftedText(unsigned keycode, unsigned group = 0) const;
    // The key code that types `character` without modifiers, 0 if none.
    unsigned keycodeFor(QChar character, unsigned group = 0) const;

private:
    struct Keymap;
    std::unique_ptr<Keymap> m_keymap;
};

// The key's characters ignoring every modifier but Shift, as Qt's key code
// gives them ("?" for Ctrl+Shift+/ on a US layout).
QString charactersIgnoringModifiers(const QKeyEvent &event);

// Whether the key stands for `target` once Shift is counted in: its own
// characters, or, failing those, what it types with Shift in `layout`. With
// `ignoreExact`, a key whose own characters are `target` does not count: the
// normal handling has it already.
bool charactersIgnoringModifiersIncludingShiftIsEqualToString(const QKeyEvent &event, const QString &target,
                                                              bool ignoreExact, const KeyboardLayout &layout);

} // namespace kelvo::ui
