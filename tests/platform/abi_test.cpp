/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * abi_test.cpp - the stand-ins' headers lay out what a widget embeds or passes
 * as the device's libraries do: struct sizes and field offsets (measured on amd64
 * against stock GTK+ 2 and given there; elsewhere as the same fields on that
 * architecture's GTK+ make them), enum values, and the type system's own sizes of
 * the registered types matching the headers.
 */
#include <hildon/hildon.h>
#include <libhildondesktop/libhildondesktop.h>
#include <libosso.h>

#include <gtest/gtest.h>

#include <cstddef>

namespace {

constexpr std::size_t kPointer = sizeof(void *);

/* The same on every architecture: parents and pointer-sized slots. */
static_assert(sizeof(HDHomePluginItem) == sizeof(GtkWindow) + kPointer,
              "the long-standing item layout: one pointer after GtkWindow");
static_assert(sizeof(HDHomePluginItemClass) == sizeof(GtkWindowClass) + kPointer);
static_assert(offsetof(HDHomePluginItemClass, get_applet_id) == sizeof(GtkWindowClass));
static_assert(sizeof(HDPluginModule) == sizeof(GTypeModule));
static_assert(sizeof(HDPluginModuleClass) == sizeof(GTypeModuleClass));
static_assert(offsetof(HDPluginItemIface, load_desktop_file) == sizeof(GTypeInterface));
static_assert(sizeof(HildonButton) == sizeof(GtkButton));
static_assert(sizeof(HildonButtonClass) == sizeof(GtkButtonClass));
static_assert(sizeof(HildonPickerButton) == sizeof(GtkButton));
static_assert(sizeof(HildonPickerButtonClass) == sizeof(GtkButtonClass));
static_assert(offsetof(HildonTouchSelector, priv) == sizeof(GtkVBox));
static_assert(offsetof(HildonTouchSelectorClass, changed) == sizeof(GtkVBoxClass));
static_assert(offsetof(HildonTouchSelectorClass, set_model) == sizeof(GtkVBoxClass) + kPointer);
static_assert(offsetof(HildonTouchSelectorClass, has_multiple_selection) ==
              sizeof(GtkVBoxClass) + 2 * kPointer);
static_assert(sizeof(HildonTouchSelectorClass) == sizeof(GtkVBoxClass) + 3 * kPointer);
static_assert(sizeof(osso_hw_state_t) == 20);
static_assert(offsetof(osso_hw_state_t, sig_device_mode_ind) == 16);

#if defined(__x86_64__)
/* The figures measured on amd64. */
static_assert(sizeof(GtkWindow) == 240 && sizeof(GtkWindowClass) == 904);
static_assert(sizeof(HDHomePluginItem) == 248, "240 of today's library plus the old priv");
static_assert(sizeof(HDHomePluginItemClass) == 912);
static_assert(offsetof(HDHomePluginItemClass, get_applet_id) == 904);
static_assert(sizeof(HDPluginItemIface) == 24 &&
              offsetof(HDPluginItemIface, load_desktop_file) == 16);
static_assert(sizeof(HDPluginModule) == 56 && sizeof(HDPluginModuleClass) == 184);
static_assert(sizeof(HildonButton) == 144 && sizeof(HildonButtonClass) == 904);
static_assert(sizeof(HildonPickerButton) == 144 && sizeof(HildonPickerButtonClass) == 904);
static_assert(sizeof(HildonTouchSelector) == 136 && offsetof(HildonTouchSelector, priv) == 128);
static_assert(sizeof(HildonTouchSelectorClass) == 848);
static_assert(offsetof(HildonTouchSelectorClass, changed) == 824);
static_assert(offsetof(HildonTouchSelectorClass, set_model) == 832);
static_assert(offsetof(HildonTouchSelectorClass, has_multiple_selection) == 840);
static_assert(sizeof(osso_rpc_t) == 16 && offsetof(osso_rpc_t, value) == 8);
#endif

static_assert(OSSO_OK == 0 && OSSO_ERROR == -1 && OSSO_INVALID == -2 && OSSO_ERROR_NAME == -3 &&
              OSSO_RPC_ERROR == -4 && OSSO_ERROR_NO_STATE == -5 && OSSO_ERROR_STATE_SIZE == -6);
static_assert(OSSO_DEVMODE_NORMAL == 0 && OSSO_DEVMODE_FLIGHT == 1 && OSSO_DEVMODE_OFFLINE == 2 &&
              OSSO_DEVMODE_INVALID == 3);
static_assert(HILDON_SIZE_AUTO_WIDTH == 0 && HILDON_SIZE_HALFSCREEN_WIDTH == 1 &&
              HILDON_SIZE_FULLSCREEN_WIDTH == 2 && HILDON_SIZE_AUTO_HEIGHT == 0 &&
              HILDON_SIZE_FINGER_HEIGHT == 4 && HILDON_SIZE_THUMB_HEIGHT == 8 &&
              HILDON_SIZE_AUTO == 0);
static_assert(HILDON_BUTTON_ARRANGEMENT_HORIZONTAL == 0 && HILDON_BUTTON_ARRANGEMENT_VERTICAL == 1);
static_assert(HILDON_BUTTON_STYLE_NORMAL == 0 && HILDON_BUTTON_STYLE_PICKER == 1);
static_assert(HILDON_TOUCH_SELECTOR_SELECTION_MODE_SINGLE == 0 &&
              HILDON_TOUCH_SELECTOR_SELECTION_MODE_MULTIPLE == 1);
static_assert(HILDON_UI_MODE_NORMAL == 0 && HILDON_UI_MODE_EDIT == 1);
static_assert(HD_HOME_PLUGIN_ITEM_RESIZE_NONE == 0 && HD_HOME_PLUGIN_ITEM_RESIZE_VERTICAL == 1 &&
              HD_HOME_PLUGIN_ITEM_RESIZE_HORIZONTAL == 2 && HD_HOME_PLUGIN_ITEM_RESIZE_BOTH == 3);
static_assert(LIBOSSO_API_MAJOR == 2 && LIBOSSO_API_MINOR == 21);

/* What the libraries register must be what the headers declare: a subclass built
 * against the headers allocates these sizes. (The item's instance is the
 * library's 240-byte GtkWindow part plus the pointer the header keeps.) */
TEST(PlatformAbiTest, RegisteredTypesHaveTheHeadersSizes) {
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
    const struct {
        GType type;
        std::size_t instance;
        std::size_t klass;
    } types[] = {
        {HD_TYPE_HOME_PLUGIN_ITEM, sizeof(GtkWindow), sizeof(HDHomePluginItemClass)},
        {HD_TYPE_PLUGIN_MODULE, sizeof(HDPluginModule), sizeof(HDPluginModuleClass)},
        {HILDON_TYPE_BUTTON, sizeof(HildonButton), sizeof(HildonButtonClass)},
        {HILDON_TYPE_PICKER_BUTTON, sizeof(HildonPickerButton), sizeof(HildonPickerButtonClass)},
        {HILDON_TYPE_TOUCH_SELECTOR, sizeof(HildonTouchSelector), sizeof(HildonTouchSelectorClass)},
    };
    for (const auto &expected : types) {
        g_type_class_unref(g_type_class_ref(expected.type));
        GTypeQuery query;
        g_type_query(expected.type, &query);
        EXPECT_EQ(query.instance_size, expected.instance) << g_type_name(expected.type);
        EXPECT_EQ(query.class_size, expected.klass) << g_type_name(expected.type);
    }
    EXPECT_TRUE(G_TYPE_IS_ABSTRACT(HD_TYPE_HOME_PLUGIN_ITEM));
    EXPECT_TRUE(G_TYPE_IS_INTERFACE(HD_TYPE_PLUGIN_ITEM));
}

} // namespace
