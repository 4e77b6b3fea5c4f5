// SPDX-License-Identifier: LGPL-2.1-or-later
// widget_translation_test.cpp - the widget's texts in the device's language: the
// class binds the "velmora" text domain in UTF-8 but leaves the host's current
// domain alone, and the German and French catalogues built into the tree translate
// the settings dialog (title, button, picker titles) and the category names.
#include <gtest/gtest.h>

#include <libintl.h>

#include "widget_test_support.h"
#include "velmora_contract.h"

using namespace widget_test;

namespace {

constexpr char kHostDomain[] = "hd-home-host-test";

class WidgetTranslationTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // gettext ignores LANGUAGE in the "C" locale, which is what a process gets
        // when the caller sets no LANG: the texts are tested in a locale of their own.
        g_setenv("LC_ALL", "C.UTF-8", TRUE);
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
        // The host process has a text domain of its own, current before and after
        // the widget arrives.
        textdomain(kHostDomain);
        // The class binds the domain to the installed locale dir; the catalogues
        // under test are the ones just built.
        g_type_class_unref(g_type_class_ref(widget_type()));
        bindtextdomain("velmora", VELMORA_BUILD_LOCALE_DIR);
    }

    void TearDown() override {
        for (GtkDialog *dialog : settings_dialogs(title_.c_str()))
            gtk_widget_destroy(GTK_WIDGET(dialog));
        if (plugin_ != nullptr)
            gtk_widget_destroy(GTK_WIDGET(plugin_));
    }

    struct Texts {
        std::string title, save, cancel, site, feed, movers, first_category;
    };

    // Opens the dialog of a new widget in the given language and reads its texts.
    Texts dialog_texts(const char *language, const char *expected_title) {
        g_setenv("LANGUAGE", language, TRUE);
        textdomain(kHostDomain); // makes gettext forget the texts of the previous language
        title_ = expected_title;
        set_region(VELMORA_REGION_DE);
        set_categories({"movers_shakers"});
        plugin_ = create_widget();
        Texts texts;
        if (open_settings(plugin_, expected_title) == nullptr)
            return texts;
        auto dialogs = settings_dialogs(expected_title);
        if (dialogs.empty())
            return texts;
        GtkDialog *dialog = dialogs.front();
        texts.title = gtk_window_get_title(GTK_WINDOW(dialog));
        GtkWidget *save = gtk_dialog_get_widget_for_response(dialog, VELMORA_RESPONSE_SAVE);
        if (save != nullptr)
            texts.save = gtk_button_get_label(GTK_BUTTON(save));
        GtkWidget *cancel = gtk_dialog_get_widget_for_response(dialog, GTK_RESPONSE_CANCEL);
        if (cancel != nullptr)
            texts.cancel = gtk_button_get_label(GTK_BUTTON(cancel));
        GList *pickers = gtk_container_get_children(GTK_CONTAINER(dialog->vbox));
        std::vector<std::string> titles;
        for (GList *l = pickers; l != nullptr; l = l->next)
            if (HILDON_IS_PICKER_BUTTON(l->data))
                titles.emplace_back(hildon_button_get_title(HILDON_BUTTON(l->data)));
        g_list_free(pickers);
        if (titles.size() == 2) {
            texts.site = titles[0];
            texts.feed = titles[1];
        }
        texts.movers = current_text(plugin_->category_selector);
        hildon_touch_selector_set_active(plugin_->category_selector, 0, 0);
        texts.first_category = current_text(plugin_->category_selector);
        return texts;
    }

    // Opens the dialog in the given language and checks each of its texts.
    void expect_dialog_texts(const char *language, const Texts &expected) {
        const Texts texts = dialog_texts(language, expected.title.c_str());
        EXPECT_EQ(texts.title, expected.title);
        EXPECT_EQ(texts.save, expected.save);
        EXPECT_EQ(texts.cancel, expected.cancel);
        EXPECT_EQ(texts.site, expected.site);
        EXPECT_EQ(texts.feed, expected.feed);
        EXPECT_EQ(texts.movers, expected.movers);
        EXPECT_EQ(texts.first_category, expected.first_category);
    }

    VelmoraPlugin *plugin_ = nullptr;
    std::string title_;
};

TEST_F(WidgetTranslationTest, ClassBindsVelmoraInUtf8AndLeavesTheHostsDomainCurrent) {
    EXPECT_STREQ(bind_textdomain_codeset("velmora", nullptr), "UTF-8");
    EXPECT_STREQ(textdomain(nullptr), kHostDomain);
    // Neither a widget nor its settings dialog takes the host's domain away.
    dialog_texts("de", "Velmora-Einstellungen");
    EXPECT_STREQ(textdomain(nullptr), kHostDomain);
}

TEST_F(WidgetTranslationTest, GermanDialog) {
    expect_dialog_texts("de", {"Velmora-Einstellungen", "Speichern", "Abbrechen", "Website", "Feed",
                               "Aufsteiger", "Bestseller"});
}

TEST_F(WidgetTranslationTest, FrenchDialogStoresTheIdentifierOfTheTranslatedRow) {
    expect_dialog_texts("fr", {"Paramètres Velmora", "Enregistrer", "Annuler", "Site", "Flux",
                               "Meilleures progressions", "Meilleures ventes"});

    hildon_touch_selector_set_active(plugin_->category_selector, 0, 6);
    gtk_dialog_response(settings_dialogs(title_.c_str()).front(), VELMORA_RESPONSE_SAVE);
    EXPECT_EQ(stored_categories(), (std::vector<std::string>{"bestsellers_electronics"}));
    EXPECT_EQ(stored_region(), VELMORA_REGION_DE);
}

} // namespace
