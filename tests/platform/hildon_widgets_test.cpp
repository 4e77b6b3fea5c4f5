/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hildon_widgets_test.cpp - touch selectors, title/value buttons, picker
 * buttons and logical fonts; no test may log a GLib or GTK warning or critical,
 * teardown included.
 */
#include <hildon/hildon.h>

#include "logged_problems.h"
#include "main_loop.h"

#include <gtest/gtest.h>

#include <vector>
#include "velmora_contract.h"

namespace {

class HildonWidgetsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        /* The desktop's theme, as the home host reads it: it defines the logical fonts. */
        gtk_rc_add_default_file(VELMORA_PLATFORM_GTKRC);
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
    }
    void TearDown() override { EXPECT_EQ(problems_.text(), ""); }

    static HildonTouchSelector *selector_with(std::initializer_list<const char *> rows) {
        auto *selector = HILDON_TOUCH_SELECTOR(hildon_touch_selector_new_text());
        for (const char *row : rows)
            hildon_touch_selector_append_text(selector, row);
        return selector;
    }

    LoggedProblems problems_;
};

void record_column(HildonTouchSelector *, gint column, gpointer data) {
    static_cast<std::vector<gint> *>(data)->push_back(column);
}

TEST_F(HildonWidgetsTest, SelectorActiveRowAndCurrentText) {
    HildonTouchSelector *selector =
        selector_with({VELMORA_REGION_CA, VELMORA_REGION_UK, VELMORA_REGION_US});
    g_object_ref_sink(selector);
    std::vector<gint> changes;
    g_signal_connect(selector, "changed", G_CALLBACK(record_column), &changes);

    EXPECT_EQ(hildon_touch_selector_get_active(selector, 0), -1);
    EXPECT_EQ(hildon_touch_selector_get_current_text(selector), nullptr);

    hildon_touch_selector_set_active(selector, 0, 2);
    EXPECT_EQ(hildon_touch_selector_get_active(selector, 0), 2);
    gchar *text = hildon_touch_selector_get_current_text(selector);
    EXPECT_STREQ(text, VELMORA_REGION_US);
    g_free(text);
    /* Every set_active that selects a row (the same one too) or none is a change. */
    hildon_touch_selector_set_active(selector, 0, 2);
    EXPECT_EQ(changes, std::vector<gint>({0, 0}));

    hildon_touch_selector_set_active(selector, 0, 0);
    text = hildon_touch_selector_get_current_text(selector);
    EXPECT_STREQ(text, VELMORA_REGION_CA);
    g_free(text);

    /* -1 leaves no row active; a row past the end changes nothing. */
    hildon_touch_selector_set_active(selector, 0, -1);
    EXPECT_EQ(hildon_touch_selector_get_active(selector, 0), -1);
    EXPECT_EQ(hildon_touch_selector_get_current_text(selector), nullptr);
    hildon_touch_selector_set_active(selector, 0, 1);
    hildon_touch_selector_set_active(selector, 0, 3);
    EXPECT_EQ(hildon_touch_selector_get_active(selector, 0), 1);
    EXPECT_EQ(changes, std::vector<gint>({0, 0, 0, 0, 0}));

    gtk_widget_destroy(GTK_WIDGET(selector));
    g_object_unref(selector);
}

TEST_F(HildonWidgetsTest, ButtonShowsTitleAndValue) {
    GtkWidget *button =
        hildon_button_new(HILDON_SIZE_FINGER_HEIGHT, HILDON_BUTTON_ARRANGEMENT_VERTICAL);
    hildon_button_set_title(HILDON_BUTTON(button), "Site");
    hildon_button_set_value(HILDON_BUTTON(button), VELMORA_REGION_DE);
    hildon_button_set_alignment(HILDON_BUTTON(button), 0.0, 0.5, 1.0, 0.0);
    EXPECT_STREQ(hildon_button_get_title(HILDON_BUTTON(button)), "Site");
    EXPECT_STREQ(hildon_button_get_value(HILDON_BUTTON(button)), VELMORA_REGION_DE);

    GtkWidget *alignment = gtk_bin_get_child(GTK_BIN(button));
    ASSERT_TRUE(GTK_IS_ALIGNMENT(alignment));
    gfloat xalign = -1;
    gfloat yalign = -1;
    g_object_get(alignment, "xalign", &xalign, "yalign", &yalign, nullptr);
    EXPECT_FLOAT_EQ(xalign, 0.0f);
    EXPECT_FLOAT_EQ(yalign, 0.5f);
    /* Vertical arrangement: the title above the value. */
    EXPECT_TRUE(GTK_IS_VBOX(gtk_bin_get_child(GTK_BIN(alignment))));
    gint height = 0;
    gtk_widget_get_size_request(button, nullptr, &height);
    EXPECT_GT(height, 0);
    gtk_widget_destroy(g_object_ref_sink(button));
    g_object_unref(button);
}

void count_value_changed(GtkWidget *, gpointer data) {
    ++*static_cast<int *>(data);
}

/* The properties and signals a widget may use, with the real names, types and flags. */
TEST_F(HildonWidgetsTest, PropertiesAndSignalsAreTheRealOnes) {
    const auto kMask = GParamFlags(G_PARAM_READWRITE | G_PARAM_CONSTRUCT | G_PARAM_CONSTRUCT_ONLY);
    const auto rw = G_PARAM_READWRITE;
    const struct {
        GType owner;
        const char *name;
        GType type;
        GParamFlags flags;
    } expected[] = {
        {HILDON_TYPE_BUTTON, "title", G_TYPE_STRING, rw},
        {HILDON_TYPE_BUTTON, "value", G_TYPE_STRING, rw},
        {HILDON_TYPE_BUTTON, "size", HILDON_TYPE_SIZE_TYPE,
         GParamFlags(G_PARAM_WRITABLE | G_PARAM_CONSTRUCT_ONLY)},
        {HILDON_TYPE_BUTTON, "arrangement", HILDON_TYPE_BUTTON_ARRANGEMENT,
         GParamFlags(G_PARAM_WRITABLE | G_PARAM_CONSTRUCT_ONLY)},
        {HILDON_TYPE_BUTTON, "style", HILDON_TYPE_BUTTON_STYLE, rw},
        {HILDON_TYPE_PICKER_BUTTON, "touch-selector", HILDON_TYPE_TOUCH_SELECTOR, rw},
        {HILDON_TYPE_PICKER_BUTTON, "done-button-text", G_TYPE_STRING, rw},
        {HILDON_TYPE_TOUCH_SELECTOR, "has-multiple-selection", G_TYPE_BOOLEAN, G_PARAM_READABLE},
        {HILDON_TYPE_TOUCH_SELECTOR, "initial-scroll", G_TYPE_BOOLEAN,
         GParamFlags(rw | G_PARAM_CONSTRUCT)},
        {HILDON_TYPE_TOUCH_SELECTOR, "live-search", G_TYPE_BOOLEAN,
         GParamFlags(rw | G_PARAM_CONSTRUCT)},
        {HILDON_TYPE_TOUCH_SELECTOR, "hildon-ui-mode", HILDON_TYPE_UI_MODE, rw},
    };
    for (const auto &property : expected) {
        auto *klass = G_OBJECT_CLASS(g_type_class_ref(property.owner));
        GParamSpec *pspec = g_object_class_find_property(klass, property.name);
        ASSERT_NE(pspec, nullptr) << property.name;
        EXPECT_EQ(G_PARAM_SPEC_VALUE_TYPE(pspec), property.type) << property.name;
        EXPECT_EQ(pspec->flags & kMask, property.flags) << property.name;
        g_type_class_unref(klass);
    }
    for (auto [owner, name] : {std::pair{HILDON_TYPE_PICKER_BUTTON, "value-changed"},
                               {HILDON_TYPE_TOUCH_SELECTOR, "columns-changed"},
                               {HILDON_TYPE_TOUCH_SELECTOR, "changed"}})
        EXPECT_NE(g_signal_lookup(name, owner), 0u) << name;

    /* A picker button is in the picker style; setting a selector announces the value. */
    GtkWidget *picker =
        hildon_picker_button_new(HILDON_SIZE_AUTO, HILDON_BUTTON_ARRANGEMENT_VERTICAL);
    g_object_ref_sink(picker);
    HildonButtonStyle style = HILDON_BUTTON_STYLE_NORMAL;
    g_object_get(picker, "style", &style, nullptr);
    EXPECT_EQ(style, HILDON_BUTTON_STYLE_PICKER);
    int value_changes = 0;
    g_signal_connect(picker, "value-changed", G_CALLBACK(count_value_changed), &value_changes);
    HildonTouchSelector *selector = selector_with({"Books"});
    hildon_picker_button_set_selector(HILDON_PICKER_BUTTON(picker), selector);
    EXPECT_EQ(value_changes, 1);
    hildon_picker_button_set_selector(HILDON_PICKER_BUTTON(picker),
                                      selector); /* the same: nothing */
    EXPECT_EQ(value_changes, 1);
    hildon_touch_selector_set_active(selector, 0, 0);
    EXPECT_EQ(value_changes, 2);
    EXPECT_STREQ(hildon_button_get_value(HILDON_BUTTON(picker)), "Books");
    gtk_widget_destroy(picker);
    g_object_unref(picker);
}

GtkWidget *picker_dialog(HildonTouchSelector *selector) {
    GtkWidget *toplevel = gtk_widget_get_toplevel(GTK_WIDGET(selector));
    return GTK_IS_DIALOG(toplevel) ? toplevel : nullptr;
}

TEST_F(HildonWidgetsTest, PickerButtonShowsTheSelectedValueAndPicksInADialog) {
    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget *button =
        hildon_picker_button_new(HILDON_SIZE_AUTO, HILDON_BUTTON_ARRANGEMENT_VERTICAL);
    gtk_container_add(GTK_CONTAINER(window), button);
    hildon_button_set_title(HILDON_BUTTON(button), "Feed");
    HildonTouchSelector *selector = selector_with({"Bestsellers", "Movers & Shakers"});
    hildon_touch_selector_set_active(selector, 0, 1);
    hildon_picker_button_set_selector(HILDON_PICKER_BUTTON(button), selector);
    EXPECT_EQ(hildon_picker_button_get_selector(HILDON_PICKER_BUTTON(button)), selector);
    EXPECT_STREQ(hildon_button_get_value(HILDON_BUTTON(button)), "Movers & Shakers");

    hildon_touch_selector_set_active(selector, 0, 0);
    EXPECT_STREQ(hildon_button_get_value(HILDON_BUTTON(button)), "Bestsellers");
    gtk_widget_show_all(window);

    /* A click opens the selector in a dialog; picking a row closes it. */
    gtk_button_clicked(GTK_BUTTON(button));
    GtkWidget *dialog = picker_dialog(selector);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(gtk_widget_get_visible(dialog));
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(dialog)), "Feed");
    hildon_touch_selector_set_active(selector, 0, 1);
    EXPECT_EQ(picker_dialog(selector), nullptr);
    EXPECT_STREQ(hildon_button_get_value(HILDON_BUTTON(button)), "Movers & Shakers");

    /* Closing the dialog without a pick keeps the selector and the value. */
    gtk_button_clicked(GTK_BUTTON(button));
    dialog = picker_dialog(selector);
    ASSERT_NE(dialog, nullptr);
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_DELETE_EVENT);
    EXPECT_EQ(picker_dialog(selector), nullptr);
    EXPECT_EQ(hildon_touch_selector_get_active(selector, 0), 1);

    /* No active row: an empty value, and opening the picker picks nothing by
     * itself. */
    hildon_touch_selector_set_active(selector, 0, -1);
    EXPECT_STREQ(hildon_button_get_value(HILDON_BUTTON(button)), "");
    gtk_button_clicked(GTK_BUTTON(button));
    ASSERT_NE(picker_dialog(selector), nullptr);
    test_support::run_for(100);
    EXPECT_NE(picker_dialog(selector), nullptr);
    EXPECT_EQ(hildon_touch_selector_get_active(selector, 0), -1);

    /* The window going away with the picker open takes the dialog along; the
     * selector outlives both while someone holds it. */
    g_object_ref(selector);
    gtk_widget_destroy(window);
    EXPECT_EQ(picker_dialog(selector), nullptr);
    EXPECT_EQ(gtk_widget_get_parent(GTK_WIDGET(selector)), nullptr);
    hildon_touch_selector_append_text(selector, "still usable");
    g_object_unref(selector);
}

/* The settings dialog's teardown: the window goes with a picker button whose
 * selector has an active row; the selector goes with the button. */
TEST_F(HildonWidgetsTest, SelectorsGoQuietlyWithTheirWindowOrAlone) {
    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget *button =
        hildon_picker_button_new(HILDON_SIZE_AUTO, HILDON_BUTTON_ARRANGEMENT_VERTICAL);
    gtk_container_add(GTK_CONTAINER(window), button);
    HildonTouchSelector *selector = selector_with({VELMORA_REGION_DE, VELMORA_REGION_FR});
    hildon_touch_selector_set_active(selector, 0, 1);
    hildon_picker_button_set_selector(HILDON_PICKER_BUTTON(button), selector);
    std::vector<gint> changes;
    g_signal_connect(selector, "changed", G_CALLBACK(record_column), &changes);
    gtk_widget_show_all(window);
    gtk_widget_destroy(window);
    EXPECT_TRUE(changes.empty()) << "a teardown is no pick";

    /* Destroyed, then finalized when its last holder lets go. */
    HildonTouchSelector *alone = selector_with({"Books"});
    g_object_ref_sink(alone);
    hildon_touch_selector_set_active(alone, 0, 0);
    gtk_widget_destroy(GTK_WIDGET(alone));
    g_object_unref(alone);

    /* Finalized without an explicit destroy. */
    HildonTouchSelector *dropped = selector_with({"Music"});
    g_object_ref_sink(dropped);
    hildon_touch_selector_set_active(dropped, 0, 0);
    g_object_unref(dropped);
}

void expect_font(GtkWidget *widget, const char *family, PangoWeight weight, int points) {
    const PangoFontDescription *font = gtk_widget_get_style(widget)->font_desc;
    ASSERT_NE(font, nullptr);
    EXPECT_STREQ(pango_font_description_get_family(font), family);
    EXPECT_EQ(pango_font_description_get_weight(font), weight);
    EXPECT_EQ(pango_font_description_get_size(font), points * PANGO_SCALE);
}

TEST_F(HildonWidgetsTest, LogicalFontsComeFromTheThemeAndReachDescendants) {
    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget *box = gtk_vbox_new(FALSE, 0);
    GtkWidget *plain = gtk_label_new("plain");
    GtkWidget *emphasised = gtk_label_new("emphasised");
    gtk_container_add(GTK_CONTAINER(window), box);
    gtk_box_pack_start(GTK_BOX(box), plain, FALSE, FALSE, 0);

    EXPECT_NE(hildon_helper_set_logical_font(plain, "SmallSystemFont"), 0u);
    EXPECT_NE(hildon_helper_set_logical_font(box, "EmpSmallSystemFont"), 0u);
    gtk_widget_show_all(window);

    /* The theme's rc styles hold the fonts. */
    GtkStyle *style = gtk_rc_get_style_by_paths(gtk_widget_get_settings(plain),
                                                "EmpSmallSystemFont", nullptr, G_TYPE_NONE);
    ASSERT_NE(style, nullptr);
    /* The box's font reached the label that was already inside. */
    expect_font(plain, "Sans", PANGO_WEIGHT_BOLD, 13);
    /* A child added later keeps its own font until the box's style is set again
     * (a theme change): then the box's font reaches it too. */
    gtk_container_add(GTK_CONTAINER(box), emphasised);
    gtk_widget_show(emphasised);
    EXPECT_EQ(pango_font_description_get_weight(gtk_widget_get_style(emphasised)->font_desc),
              PANGO_WEIGHT_NORMAL);
    gtk_rc_reset_styles(gtk_widget_get_settings(box));
    expect_font(emphasised, "Sans", PANGO_WEIGHT_BOLD, 13);
    expect_font(plain, "Sans", PANGO_WEIGHT_BOLD, 13);

    /* Set on a label that is put into a window only afterwards. */
    GtkWidget *alone = gtk_label_new("alone");
    hildon_helper_set_logical_font(alone, "SmallSystemFont");
    GtkWidget *other_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_container_add(GTK_CONTAINER(other_window), alone);
    gtk_widget_show_all(other_window);
    expect_font(alone, "Sans", PANGO_WEIGHT_NORMAL, 13);
    /* The font survives a style change such as a theme switch. */
    gtk_widget_set_style(alone, nullptr);
    expect_font(alone, "Sans", PANGO_WEIGHT_NORMAL, 13);

    /* An undefined name changes nothing now. */
    EXPECT_NE(hildon_helper_set_logical_font(alone, "NoSuchLogicalFont"), 0u);
    expect_font(alone, "Sans", PANGO_WEIGHT_NORMAL, 13);
    gtk_widget_destroy(other_window);
    gtk_widget_destroy(window);
}

} // namespace
