// SPDX-License-Identifier: LGPL-2.1-or-later
// widget_dialog_test.cpp - the settings dialog as a finger meets it: one dialog
// at a time, a size and button places that do not follow the chosen values,
// Cancel beside Save, list rows a finger can hit, the value of a picker button
// set apart from its title, and a name for every control.
#include <gtest/gtest.h>

#include <functional>

#include "main_loop.h"
#include "widget_test_support.h"
#include "velmora_contract.h"

using namespace widget_test;
using test_support::run_until;

namespace {

const auto *gtk_environment = ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

// The widgets under root (itself included) that satisfy pred, in tree order.
std::vector<GtkWidget *> find_widgets(GtkWidget *root,
                                      const std::function<bool(GtkWidget *)> &pred) {
    std::vector<GtkWidget *> found;
    if (pred(root))
        found.push_back(root);
    if (GTK_IS_CONTAINER(root)) {
        GList *children = gtk_container_get_children(GTK_CONTAINER(root));
        for (GList *l = children; l != nullptr; l = l->next)
            for (GtkWidget *w : find_widgets(GTK_WIDGET(l->data), pred))
                found.push_back(w);
        g_list_free(children);
    }
    return found;
}

std::vector<GtkWidget *> pickers_of(GtkDialog *dialog) {
    return find_widgets(dialog->vbox, [](GtkWidget *w) { return HILDON_IS_PICKER_BUTTON(w); });
}

std::string accessible_name(GtkWidget *widget) {
    const gchar *name = atk_object_get_name(gtk_widget_get_accessible(widget));
    return name ? name : "";
}

void settle() {
    run_until([] { return !gtk_events_pending(); }, 500);
    while (gtk_events_pending())
        gtk_main_iteration();
}

class WidgetDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(widget_type(), G_TYPE_INVALID);
        unset_settings();
        plugin_ = create_widget();
    }
    void TearDown() override {
        for (GtkDialog *dialog : settings_dialogs())
            gtk_widget_destroy(GTK_WIDGET(dialog));
        gtk_widget_destroy(GTK_WIDGET(plugin_));
    }

    // The open dialog, mapped and laid out.
    GtkDialog *shown_dialog() {
        GtkDialog *dialog = open_settings(plugin_);
        if (dialog == nullptr)
            return nullptr;
        run_until([&] {
            return GTK_WIDGET(dialog)->window && gdk_window_is_viewable(GTK_WIDGET(dialog)->window);
        });
        settle();
        return dialog;
    }

    VelmoraPlugin *plugin_ = nullptr;
};

TEST_F(WidgetDialogTest, ASecondRequestPresentsTheOpenDialogAndSaveClosesIt) {
    GtkDialog *first = open_settings(plugin_);
    ASSERT_NE(first, nullptr);
    HildonTouchSelector *region = plugin_->region_selector;
    hildon_touch_selector_set_active(region, 0, 3);

    EXPECT_EQ(open_settings(plugin_), nullptr);
    EXPECT_EQ(settings_dialogs().size(), 1u);
    EXPECT_EQ(plugin_->region_selector, region); // the open one keeps its choice

    gtk_button_clicked(
        GTK_BUTTON(gtk_dialog_get_widget_for_response(first, VELMORA_RESPONSE_SAVE)));
    EXPECT_TRUE(settings_dialogs().empty());
    EXPECT_EQ(stored_region(), VELMORA_REGION_DE);

    // Once it is gone, the next request opens a new one on the stored values.
    GtkDialog *next = open_settings(plugin_);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(hildon_touch_selector_get_active(plugin_->region_selector, 0), 3);
}

TEST_F(WidgetDialogTest, CancelLeavesEverythingAsItWas) {
    set_region(VELMORA_REGION_FR);
    set_categories({"movers_shakers"});
    GtkDialog *dialog = open_settings(plugin_);
    ASSERT_NE(dialog, nullptr);
    GtkWidget *cancel = gtk_dialog_get_widget_for_response(dialog, GTK_RESPONSE_CANCEL);
    ASSERT_NE(cancel, nullptr);
    EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(cancel)), "Cancel");
    hildon_touch_selector_set_active(plugin_->region_selector, 0, 1);
    gtk_button_clicked(GTK_BUTTON(cancel));
    EXPECT_TRUE(settings_dialogs().empty());
    EXPECT_EQ(stored_region(), VELMORA_REGION_FR);
    EXPECT_EQ(stored_categories(), (std::vector<std::string>{"movers_shakers"}));
}

TEST_F(WidgetDialogTest, SizeAndButtonPlacesDoNotFollowTheChosenValues) {
    GtkDialog *dialog = shown_dialog();
    ASSERT_NE(dialog, nullptr);
    GtkWidget *window = GTK_WIDGET(dialog);
    GtkWidget *save = gtk_dialog_get_widget_for_response(dialog, VELMORA_RESPONSE_SAVE);
    GtkWidget *cancel = gtk_dialog_get_widget_for_response(dialog, GTK_RESPONSE_CANCEL);
    ASSERT_NE(save, nullptr);
    ASSERT_NE(cancel, nullptr);
    const GtkAllocation window_size = window->allocation, save_at = save->allocation,
                        cancel_at = cancel->allocation;
    EXPECT_LT(cancel_at.x + cancel_at.width, save_at.x + 1) << "Cancel lies left of Save";
    EXPECT_GE(save_at.height, 48);

    // Every row of each picker, the longest names included, and no row at all.
    const auto expect_unmoved = [&](const std::string &what) {
        settle();
        EXPECT_EQ(window->allocation.width, window_size.width) << what;
        EXPECT_EQ(window->allocation.height, window_size.height) << what;
        EXPECT_EQ(save->allocation.x, save_at.x) << what;
        EXPECT_EQ(save->allocation.y, save_at.y) << what;
        EXPECT_EQ(cancel->allocation.x, cancel_at.x) << what;
    };
    for (int row = -1; row < 8; ++row) {
        hildon_touch_selector_set_active(plugin_->category_selector, 0, row);
        expect_unmoved("category row " + std::to_string(row));
    }
    for (int row = -1; row < 5; ++row) {
        hildon_touch_selector_set_active(plugin_->region_selector, 0, row);
        expect_unmoved("region row " + std::to_string(row));
    }
}

TEST_F(WidgetDialogTest, PickerRowsAreAFingerHighAndValuesLookApartFromTitles) {
    set_categories({"hotnew_books"});
    GtkDialog *dialog = shown_dialog();
    ASSERT_NE(dialog, nullptr);
    for (GtkWidget *picker : pickers_of(dialog)) {
        SCOPED_TRACE(hildon_button_get_title(HILDON_BUTTON(picker)));
        EXPECT_GE(picker->allocation.height, 48);
        // Title and value: two labels of the button in different looks.
        const std::string title = hildon_button_get_title(HILDON_BUTTON(picker));
        const std::string value = hildon_button_get_value(HILDON_BUTTON(picker));
        ASSERT_FALSE(value.empty());
        GtkWidget *title_label = nullptr, *value_label = nullptr;
        for (GtkWidget *label :
             find_widgets(picker, [](GtkWidget *w) { return GTK_IS_LABEL(w); })) {
            const std::string text = gtk_label_get_text(GTK_LABEL(label));
            if (text == title)
                title_label = label;
            else if (text == value)
                value_label = label;
        }
        ASSERT_NE(title_label, nullptr);
        ASSERT_NE(value_label, nullptr);
        GtkStyle *title_style = gtk_widget_get_style(title_label);
        GtkStyle *value_style = gtk_widget_get_style(value_label);
        EXPECT_FALSE(gdk_color_equal(&title_style->fg[GTK_STATE_NORMAL],
                                     &value_style->fg[GTK_STATE_NORMAL]));
        EXPECT_FALSE(pango_font_description_equal(title_style->font_desc, value_style->font_desc));

        // The list behind the button: each row at least 48 pixels high.
        gtk_button_clicked(GTK_BUTTON(picker));
        HildonTouchSelector *selector =
            hildon_picker_button_get_selector(HILDON_PICKER_BUTTON(picker));
        std::vector<GtkWidget *> lists =
            find_widgets(GTK_WIDGET(selector), [](GtkWidget *w) { return GTK_IS_TREE_VIEW(w); });
        ASSERT_FALSE(lists.empty());
        ASSERT_TRUE(run_until([&] { return GTK_WIDGET_REALIZED(lists[0]); }));
        settle();
        for (int row = 0; row < 3; ++row) {
            GtkTreePath *path = gtk_tree_path_new_from_indices(row, -1);
            GdkRectangle area;
            gtk_tree_view_get_background_area(GTK_TREE_VIEW(lists[0]), path, nullptr, &area);
            gtk_tree_path_free(path);
            EXPECT_GE(area.height, 48) << "row " << row;
        }
        GtkWidget *popup = gtk_widget_get_toplevel(GTK_WIDGET(selector));
        ASSERT_TRUE(GTK_IS_DIALOG(popup));
        gtk_dialog_response(GTK_DIALOG(popup), GTK_RESPONSE_DELETE_EVENT);
        settle();
    }
}

TEST_F(WidgetDialogTest, EveryControlHasItsAccessibleName) {
    GtkDialog *dialog = open_settings(plugin_);
    ASSERT_NE(dialog, nullptr);
    const std::vector<GtkWidget *> pickers = pickers_of(dialog);
    ASSERT_EQ(pickers.size(), 2u);
    EXPECT_EQ(accessible_name(pickers[0]), "Site");
    EXPECT_EQ(accessible_name(pickers[1]), "Feed");
    EXPECT_EQ(accessible_name(GTK_WIDGET(plugin_->region_selector)), "Site");
    EXPECT_EQ(accessible_name(GTK_WIDGET(plugin_->category_selector)), "Feed");
    EXPECT_EQ(accessible_name(gtk_dialog_get_widget_for_response(dialog, VELMORA_RESPONSE_SAVE)),
              "Save");
    EXPECT_EQ(accessible_name(gtk_dialog_get_widget_for_response(dialog, GTK_RESPONSE_CANCEL)),
              "Cancel");
}

} // namespace
