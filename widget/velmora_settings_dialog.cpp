/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_settings_dialog.cpp - the "Velmora settings" dialog: a Site picker
 * for the storefront region and a Feed picker for the category, each opened on
 * the value now stored in GConf. The dialog stores nothing itself; the widget's
 * response handler reads the pickers when the user presses "Save".
 */
#include "velmora_settings_dialog.h"

#include <glib/gi18n.h>
#include <libintl.h>

#include <hildon/hildon.h>

#include "velmora_settings.h"

namespace {

/* The dialog keeps one size whatever the values chosen, so that its buttons
 * stay where the finger expects them. */
constexpr int kDialogWidth = 480;
/* Picker buttons and the action buttons are a finger's height. */
constexpr int kFingerHeight = 70;
constexpr int kActionButtonWidth = 160;
constexpr int kActionButtonHeight = 56;

/* Rows of the pickers' lists at least 48 pixels high, and the value of a
 * picker button in a secondary style beneath its title: the text's lighter
 * colour and smaller size. The rules match the dialog's own widgets by its
 * name, so that nothing else on the desktop changes. */
constexpr const char *kDialogName = "velmora-settings-dialog";
constexpr const char *kDialogStyles =
    "style \"velmora-picker-rows\" { GtkTreeView::vertical-separator = 28 }\n"
    "widget \"*velmora-setting-selector*GtkTreeView\" style \"velmora-picker-rows\"\n"
    "style \"velmora-picker-title\" { font_name = \"Sans Bold 13\" }\n"
    "widget \"velmora-settings-dialog*HildonPickerButton*\" style \"velmora-picker-title\"\n"
    "style \"velmora-picker-value\" { font_name = \"Sans 11\"\n"
    "  fg[NORMAL] = \"#3c7fc1\" fg[PRELIGHT] = \"#3c7fc1\" fg[ACTIVE] = \"#3c7fc1\" }\n"
    "widget \"velmora-settings-dialog*hildon-button-value\" style \"velmora-picker-value\"\n";

const gchar *translate(const gchar *text) {
    return dgettext("velmora", text);
}

void ensure_dialog_styles() {
    static bool parsed = false;
    if (!parsed) {
        gtk_rc_parse_string(kDialogStyles);
        parsed = true;
    }
}

void set_accessible_name(GtkWidget *widget, const gchar *name) {
    AtkObject *accessible = gtk_widget_get_accessible(widget);
    if (accessible)
        atk_object_set_name(accessible, name);
}

/* A selector with one text column holding the display texts of the region
 * table (kind "region") or the category table (any other kind), with the row of
 * the stored value active; a stored value that is in no row activates none. */
GtkWidget *create_setting_selector(VelmoraPlugin *plugin, const gchar *kind) {
    GtkWidget *selector = hildon_touch_selector_new_text();
    auto *touch_selector = HILDON_TOUCH_SELECTOR(selector);
    const gboolean is_region = g_strcmp0(kind, "region") == 0;
    GArray *table = is_region ? plugin->settings->regions : plugin->settings->categories;

    for (guint i = 0; i < table->len; ++i)
        hildon_touch_selector_append_text(touch_selector,
                                          g_array_index(table, SettingItem *, i)->key);

    gint row;
    if (is_region) {
        g_autofree gchar *region = get_region_from_gconf();
        row = get_setting_item_index(table, region, kind);
    } else {
        GSList *categories = get_categories_from_gconf();
        const gchar *first = categories != nullptr ? static_cast<const gchar *>(categories->data)
                                                   : VELMORA_DEFAULT_CATEGORY;
        row = get_setting_item_index(table, first, kind);
        g_slist_free_full(categories, g_free);
    }
    hildon_touch_selector_set_active(touch_selector, 0, row);
    return selector;
}

/* A titled picker button, title above the chosen value, that opens selector. */
GtkWidget *create_picker_button(GtkWidget *selector, const gchar *title) {
    GtkWidget *button =
        hildon_picker_button_new(HILDON_SIZE_AUTO, HILDON_BUTTON_ARRANGEMENT_VERTICAL);
    hildon_button_set_alignment(HILDON_BUTTON(button), 0.0, 0.5, 1.0, 0.0);
    hildon_button_set_title(HILDON_BUTTON(button), title);
    hildon_picker_button_set_selector(HILDON_PICKER_BUTTON(button),
                                      HILDON_TOUCH_SELECTOR(selector));
    gtk_widget_set_size_request(button, -1, kFingerHeight);
    set_accessible_name(button, title);
    gtk_widget_set_name(selector, "velmora-setting-selector");
    set_accessible_name(selector, title);
    return button;
}

/* Cancel, then Save, each of one size, at the right of the action row. */
void add_action_buttons(GtkDialog *dialog) {
    const struct {
        const gchar *label;
        gint response;
    } buttons[] = {{N_("Cancel"), GTK_RESPONSE_CANCEL}, {N_("Save"), VELMORA_RESPONSE_SAVE}};
    for (const auto &b : buttons) {
        GtkWidget *button = gtk_dialog_add_button(dialog, translate(b.label), b.response);
        gtk_widget_set_size_request(button, kActionButtonWidth, kActionButtonHeight);
        set_accessible_name(button, translate(b.label));
    }
    gtk_dialog_set_default_response(dialog, VELMORA_RESPONSE_SAVE);
}

} // namespace

extern "C" GtkWidget *create_settings_dialog(VelmoraPlugin *plugin) {
    GtkWidget *dialog =
        gtk_dialog_new_with_buttons(translate("Velmora settings"), nullptr, GTK_DIALOG_NO_SEPARATOR,
                                    static_cast<const gchar *>(nullptr));
    ensure_dialog_styles();
    gtk_widget_set_name(dialog, kDialogName);
    add_action_buttons(GTK_DIALOG(dialog));
    gtk_widget_set_size_request(dialog, kDialogWidth, -1);
    gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);

    /* The dialog sets its content box's border from its style when it gets one;
     * give it its style first so that the border width 8 is the one that stays. */
    gtk_widget_ensure_style(dialog);
    GtkWidget *content = GTK_DIALOG(dialog)->vbox;
    gtk_container_set_border_width(GTK_CONTAINER(content), 8);

    GtkWidget *region_selector = create_setting_selector(plugin, "region");
    plugin->region_selector = HILDON_TOUCH_SELECTOR(region_selector);
    GtkWidget *category_selector = create_setting_selector(plugin, "category");
    plugin->category_selector = HILDON_TOUCH_SELECTOR(category_selector);

    GtkWidget *site_button = create_picker_button(region_selector, translate("Site"));
    GtkWidget *feed_button = create_picker_button(category_selector, translate("Feed"));
    gtk_box_pack_start(GTK_BOX(content), site_button, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(content), feed_button, TRUE, TRUE, 0);

    gtk_widget_show_all(content);
    return dialog;
}
