/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hildon-enum-types.cpp - registers the library's enums and flags with the type
 * system, under the names and values of the platform's headers.
 */
#include "hildon/hildon.h"

namespace {

template <typename Register> GType once(gsize *id, Register make) {
    if (g_once_init_enter(id))
        g_once_init_leave(id, make());
    return GType(*id);
}

} // namespace

GType hildon_size_type_get_type(void) {
    static gsize id = 0;
    static const GFlagsValue values[] = {
        {HILDON_SIZE_AUTO_WIDTH, "HILDON_SIZE_AUTO_WIDTH", "auto-width"},
        {HILDON_SIZE_HALFSCREEN_WIDTH, "HILDON_SIZE_HALFSCREEN_WIDTH", "halfscreen-width"},
        {HILDON_SIZE_FULLSCREEN_WIDTH, "HILDON_SIZE_FULLSCREEN_WIDTH", "fullscreen-width"},
        {HILDON_SIZE_AUTO_HEIGHT, "HILDON_SIZE_AUTO_HEIGHT", "auto-height"},
        {HILDON_SIZE_FINGER_HEIGHT, "HILDON_SIZE_FINGER_HEIGHT", "finger-height"},
        {HILDON_SIZE_THUMB_HEIGHT, "HILDON_SIZE_THUMB_HEIGHT", "thumb-height"},
        {HILDON_SIZE_AUTO, "HILDON_SIZE_AUTO", "auto"},
        {0, nullptr, nullptr}};
    return once(&id, [] { return g_flags_register_static("HildonSizeType", values); });
}

GType hildon_ui_mode_get_type(void) {
    static gsize id = 0;
    static const GEnumValue values[] = {{HILDON_UI_MODE_NORMAL, "HILDON_UI_MODE_NORMAL", "normal"},
                                        {HILDON_UI_MODE_EDIT, "HILDON_UI_MODE_EDIT", "edit"},
                                        {0, nullptr, nullptr}};
    return once(&id, [] { return g_enum_register_static("HildonUIMode", values); });
}

GType hildon_button_arrangement_get_type(void) {
    static gsize id = 0;
    static const GEnumValue values[] = {
        {HILDON_BUTTON_ARRANGEMENT_HORIZONTAL, "HILDON_BUTTON_ARRANGEMENT_HORIZONTAL",
         "horizontal"},
        {HILDON_BUTTON_ARRANGEMENT_VERTICAL, "HILDON_BUTTON_ARRANGEMENT_VERTICAL", "vertical"},
        {0, nullptr, nullptr}};
    return once(&id, [] { return g_enum_register_static("HildonButtonArrangement", values); });
}

GType hildon_button_style_get_type(void) {
    static gsize id = 0;
    static const GEnumValue values[] = {
        {HILDON_BUTTON_STYLE_NORMAL, "HILDON_BUTTON_STYLE_NORMAL", "normal"},
        {HILDON_BUTTON_STYLE_PICKER, "HILDON_BUTTON_STYLE_PICKER", "picker"},
        {0, nullptr, nullptr}};
    return once(&id, [] { return g_enum_register_static("HildonButtonStyle", values); });
}
