#include "ui/KeyboardLayout.h"

#include <QGuiApplication>
#include <QKeyEvent>

#include <optional>

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon.h>

namespace kelvo::ui {
namespace {

struct XkbNames {
    QByteArray rules, model, layout, variant, options;
};

// The names the X server's keyboard was set up with (what setxkbmap set),
// from the root window's _XKB_RULES_NAMES.
std::optional<XkbNames> serverNames()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return std::nullopt;
    const xcb_setup_t *setup = xcb_get_setup(connection);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (!screens.rem)
        return std::nullopt;
    const char atomName[] = "_XKB_RULES_NAMES";
    xcb_intern_atom_reply_t *atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof atomName - 1, atomName), nullptr);
    if (!atom)
        return std::nullopt;
    const xcb_atom_t property = atom->atom;
    free(atom);
    if (property == XCB_ATOM_NONE)
        return std::nullopt;
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, screens.data->root, property, XCB_ATOM_STRING, 0, 1024), nullptr);
    if (!reply)
        return std::nullopt;
    const QByteArray value(static_cast<const char *>(xcb_get_property_value(reply)),
                           xcb_get_property_value_length(reply));
    free(reply);
    const QList<QByteArray> parts = value.split('\0');
    if (parts.size() < 3 || parts[2].isEmpty())
        return std::nullopt;
    XkbNames names;
    names.rules = parts[0];
    names.model = parts.value(1);
    names.layout = parts[2];
    names.variant = parts.value(3);
    names.options = parts.value(4);
    return names;
}

} // namespace

struct KeyboardLayout::Keymap {
    xkb_context *context = nullptr;
    xkb_keymap *keymap = nullptr;
    ~Keymap()
    {
        xkb_keymap_unref(keymap);
        xkb_context_unref(context);
    }
};

KeyboardLayout KeyboardLayout::current()
{
    if (const std::optional<XkbNames> names = serverNames())
        return KeyboardLayout(QString::fromLatin1(names->layout), QString::fromLatin1(names->variant));
    const QString fromEnvironment = qEnvironmentVariable("XKB_DEFAULT_LAYOUT");
    return KeyboardLayout(fromEnvironment.isEmpty() ? QStringLiteral("us") : fromEnvironment,
                          qEnvironmentVariable("XKB_DEFAULT_VARIANT"));
}

KeyboardLayout::KeyboardLayout(const QString &layout, const QString &variant)
{
    auto keymap = std::make_unique<Keymap>();
    keymap->context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    if (!keymap->context)
        return;
    xkb_context_set_log_level(keymap->context, XKB_LOG_LEVEL_CRITICAL);
    const QByteArray layoutName = layout.toLatin1();
    const QByteArray variantName = variant.toLatin1();
    xkb_rule_names names{};
    names.layout = layoutName.constData();
    names.variant = variantName.isEmpty() ? nullptr : variantName.constData();
    keymap->keymap = xkb_keymap_new_from_names(keymap->context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (keymap->keymap)
        m_keymap = std::move(keymap);
}

KeyboardLayout::~KeyboardLayout() = default;
KeyboardLayout::KeyboardLayout(KeyboardLayout &&) noexcept = default;
KeyboardLayout &KeyboardLayout::operator=(KeyboardLayout &&) noexcept = default;

QString KeyboardLayout::shiftedText(unsigned keycode, unsigned group) const
{
    if (!m_keymap || !xkb_keycode_is_legal_ext(keycode) || keycode > xkb_keymap_max_keycode(m_keymap->keymap))
        return {};
    xkb_state *state = xkb_state_new(m_keymap->keymap);
    if (!state)
        return {};
    const xkb_mod_index_t shift = xkb_keymap_mod_get_index(m_keymap->keymap, XKB_MOD_NAME_SHIFT);
    const xkb_layout_index_t layouts = xkb_keymap_num_layouts(m_keymap->keymap);
    xkb_state_update_mask(state, shift == XKB_MOD_INVALID ? 0 : (1u << shift), 0, 0, 0, 0,
                          layouts ? group % layouts : 0);
    // Dead keys are not composed: what the key itself types counts.
    const xkb_keysym_t symbol = xkb_state_key_get_one_sym(state, keycode);
    QString text;
    char buffer[256];
    if (symbol != XKB_KEY_NoSymbol && xkb_keysym_to_utf8(symbol, buffer, sizeof buffer) > 0)
        text = QString::fromUtf8(buffer);
    xkb_state_unref(state);
    return text;
}

unsigned KeyboardLayout::keycodeFor(QChar character, unsigned group) const
{
    if (!m_keymap)
        return 0;
    const xkb_keysym_t wanted = xkb_utf32_to_keysym(character.unicode());
    for (xkb_keycode_t code = xkb_keymap_min_keycode(m_keymap->keymap);
         code <= xkb_keymap_max_keycode(m_keymap->keymap); ++code) {
        const xkb_keysym_t *symbols = nullptr;
        const int count = xkb_keymap_key_get_syms_by_level(m_keymap->keymap, code, group, 0, &symbols);
        for (int i = 0; i < count; ++i) {
            if (symbols[i] == wanted)
                return code;
        }
    }
    return 0;
}

QString charactersIgnoringModifiers(const QKeyEvent &event)
{
    const int key = event.key();
    if (key < Qt::Key_Space || key > Qt::Key_ydiaeresis)
        return {};
    const QString text{QChar(char16_t(key))};
    // Qt names letter keys by their capital whether Shift is held or not.
    return event.modifiers() & Qt::ShiftModifier ? text : text.toLower();
}

bool charactersIgnoringModifiersIncludingShiftIsEqualToString(const QKeyEvent &event, const QString &target,
                                                              bool ignoreExact, const KeyboardLayout &layout)
{
    const QString own = charactersIgnoringModifiers(event);
    if (own == target)
        return !ignoreExact;
    if (!layout.isValid() || event.nativeScanCode() == 0)
        return false;
    // On X11 the layout group rides in the native modifier state.
    const unsigned group = (event.nativeModifiers() >> 13) & 0x3;
    return layout.shiftedText(event.nativeScanCode(), group) == target;
}

} // namespace kelvo::ui
