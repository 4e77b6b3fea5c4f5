// SPDX-License-Identifier: LGPL-2.1-or-later
// widget_daemon_test.cpp - the widget in-process under Xvfb against the real feed
// service daemon (a child process on the test's session bus, running the built
// plug-in) and the demo storefront on 127.0.0.1, with a real GConf: the widget
// activates the plug-in, fills from the run's signals, and after "Save" in its
// settings dialog shows the newly chosen feed of the newly chosen storefront.
#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "child_process.h"
#include "file_helpers.h"
#include "module_timeouts.h"
#include "storefront_server.h"
#include "widget_test_support.h"
#include "velmora_contract.h"

using namespace widget_test;

namespace {

const auto *gtk_environment = ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

using test_support::temp_path;

std::string daemon_log() {
    return test_support::read_file(temp_path("daemon.log"));
}

class WidgetWithDaemonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(widget_type(), G_TYPE_INVALID);
        storefront_ = std::make_unique<StorefrontServer>();
        // The widget and the daemon read the catalogues that point at the storefront.
        g_setenv("VELMORA_DATA_DIR", storefront_->data_dir().c_str(), TRUE);
        remove_store();
        unset_settings();
        watcher_ = std::make_unique<RunSignalWatcher>();
        daemon_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{VELMORA_DAEMON_PATH},
            std::vector<std::string>{std::string("FEEDSERVICE_PLUGIN_DIR=") +
                                     FEEDSERVICE_BUILD_PLUGIN_DIR},
            temp_path("daemon.log"));
    }

    void TearDown() override {
        if (plugin_ != nullptr)
            gtk_widget_destroy(GTK_WIDGET(plugin_));
        for (GtkDialog *dialog : settings_dialogs())
            gtk_widget_destroy(GTK_WIDGET(dialog));
        daemon_.reset();
        watcher_.reset();
        storefront_.reset();
    }

    // Runs the main loop until the daemon reports the end of a pass (status 2).
    bool wait_for_pass_end(int timeout_ms) {
        const size_t seen = passes_seen_;
        const bool ended = run_until(
            [&] {
                size_t passes = 0;
                for (int status : watcher_->statuses())
                    passes += status == 2;
                if (passes <= seen)
                    return false;
                passes_seen_ = passes;
                return true;
            },
            timeout_ms);
        // Item statuses are folded into at most one refresh per 100 ms; the last
        // one may still be scheduled (a module timeout that is neither the
        // activation tick, whose data is the widget, nor the carousel's).
        return ended && run_until(
                            [&] {
                                return module_timeouts::pending_except(
                                           {plugin_, plugin_ ? plugin_->view : nullptr}) == 0;
                            },
                            timeout_ms);
    }

    // Every item the carousel holds is one of the feed's.
    void expect_items_from(const std::string &region, const std::string &category) {
        ASSERT_GT(stored_item_count(), 0);
        std::set<std::string> titles;
        for (int i = 0; i < stored_item_count(); ++i) {
            titles.insert(stored_title(i));
            EXPECT_TRUE(storefront_->feed_has_title(region, category, stored_title(i)))
                << stored_title(i) << " is not in " << region << "/" << category;
        }
        EXPECT_GT(titles.size(), 1u);
    }

    std::unique_ptr<StorefrontServer> storefront_;
    std::unique_ptr<RunSignalWatcher> watcher_;
    std::unique_ptr<ChildProcess> daemon_;
    VelmoraPlugin *plugin_ = nullptr;
    size_t passes_seen_ = 0;
};

TEST_F(WidgetWithDaemonTest, FillsFromTheRunAndFollowsASavedChoice) {
    plugin_ = create_widget();
    EXPECT_TRUE(plugin_->view->message_shown);

    // The first activation runs the plug-in: 1, one 0 per item, 2.
    ASSERT_TRUE(wait_for_pass_end(30000)) << daemon_log();
    const std::vector<int> &statuses = watcher_->statuses();
    ASSERT_GE(statuses.size(), 3u);
    EXPECT_EQ(statuses.front(), 1);
    EXPECT_FALSE(plugin_->view->message_shown);
    EXPECT_EQ(stored_item_count(), int(statuses.size()) - 2);
    EXPECT_NE(plugin_->view->timer_id, 0u);
    expect_items_from(VELMORA_REGION_US, VELMORA_DEFAULT_CATEGORY);

    // The user chooses the German storefront and its music best sellers.
    GtkDialog *dialog = open_settings(plugin_);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(current_text(plugin_->region_selector), VELMORA_REGION_US);
    hildon_touch_selector_set_active(plugin_->region_selector, 0, 3);
    hildon_touch_selector_set_active(plugin_->category_selector, 0, 4);
    gtk_button_clicked(dialog_button(dialog, "Save"));
    EXPECT_EQ(stored_region(), VELMORA_REGION_DE);
    EXPECT_EQ(stored_categories(), (std::vector<std::string>{"bestsellers_music"}));
    EXPECT_TRUE(plugin_->view->message_shown);
    EXPECT_EQ(shown_message(plugin_), message_text(VELMORA_REGION_DE, "loading"));

    ASSERT_TRUE(wait_for_pass_end(30000)) << daemon_log();
    EXPECT_FALSE(plugin_->view->message_shown);
    EXPECT_NE(plugin_->view->timer_id, 0u);
    expect_items_from(VELMORA_REGION_DE, "bestsellers_music");
    EXPECT_EQ(gtk_label_get_text(GTK_LABEL(plugin_->view->feed_title_label)),
              message_text(VELMORA_REGION_DE, "bestsellers_music"));
    EXPECT_TRUE(daemon_->running());
}

TEST_F(WidgetWithDaemonTest, ASecondWidgetStartsWithTheStoredItemsAtOnce) {
    plugin_ = create_widget();
    ASSERT_TRUE(wait_for_pass_end(30000)) << daemon_log();
    const int stored = stored_item_count();
    gtk_widget_destroy(GTK_WIDGET(plugin_));
    plugin_ = nullptr;

    plugin_ = create_widget();
    EXPECT_FALSE(plugin_->view->message_shown);
    EXPECT_EQ(stored_item_count(), stored);
    EXPECT_NE(plugin_->view->timer_id, 0u);
}

TEST_F(WidgetWithDaemonTest, FillsWhenItOpenedTheStoreBeforeTheFirstRun) {
    // The store directory is there but holds no database (it was deleted): the
    // widget's reader opens the path first, and the run still makes its tables.
    ASSERT_EQ(g_mkdir_with_parents(store_dir().c_str(), 0700), 0);
    plugin_ = create_widget();
    EXPECT_TRUE(plugin_->view->message_shown);
    ASSERT_TRUE(wait_for_pass_end(30000)) << daemon_log();
    EXPECT_FALSE(plugin_->view->message_shown);
    expect_items_from(VELMORA_REGION_US, VELMORA_DEFAULT_CATEGORY);
}

} // namespace
