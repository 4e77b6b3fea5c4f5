// SPDX-License-Identifier: LGPL-2.1-or-later
// widget_lifecycle_test.cpp - the widget as the desktop runs it, in-process under
// Xvfb with a real GConf: loaded through the plug-in module, talking to a fake
// feed service daemon on the test's session bus. Covers the start-up layout, the
// activation tick and its retry, the run-signal flags, the settings dialog and its
// answers, visibility handling and a teardown that leaves nothing behind.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <memory>

#include "fake_feed_daemon.h"
#include "logged_problems.h"
#include "module_timeouts.h"
#include "widget_test_support.h"
#include "velmora_contract.h"

using namespace widget_test;

namespace {

const auto *gtk_environment = ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

using feed_service::kPluginName;

/* libosso contexts alive. The widget module keeps its context to itself, so the
 * test stands in for libosso's two calls (the executable exports them, and the
 * module's calls reach them first) and hands them on to the library. */
std::atomic<int> live_osso_contexts{0};

} // namespace

extern "C" osso_context_t *osso_initialize(const gchar *application, const gchar *version,
                                           gboolean activation, GMainContext *context) {
    using Real = osso_context_t *(*)(const gchar *, const gchar *, gboolean, GMainContext *);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "osso_initialize"));
    osso_context_t *osso = real(application, version, activation, context);
    if (osso != nullptr)
        ++live_osso_contexts;
    return osso;
}

extern "C" void osso_deinitialize(osso_context_t *osso) {
    using Real = void (*)(osso_context_t *);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "osso_deinitialize"));
    if (osso != nullptr)
        --live_osso_contexts;
    real(osso);
}

namespace {

class WidgetLifecycleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(widget_type(), G_TYPE_INVALID);
        module_timeouts::forget_asked();
        remove_database();
        unset_settings();
        daemon_ = std::make_unique<FakeFeedDaemon>();
        watcher_ = std::make_unique<RunSignalWatcher>();
    }

    void TearDown() override {
        destroy_widget();
        for (GtkDialog *dialog : settings_dialogs())
            gtk_widget_destroy(GTK_WIDGET(dialog));
        watcher_.reset();
        daemon_.reset();
        /* Teardown included (widget, open settings dialogs, their pickers). */
        EXPECT_EQ(problems_.text(), "");
    }

    // Creates the widget and waits for its first activation, from which on it
    // listens to the run signal.
    void create_and_activate() {
        plugin_ = create_widget();
        ASSERT_TRUE(run_until([&] { return daemon_->activate_calls() >= 1; }, 3000));
    }

    void destroy_widget() {
        if (plugin_ != nullptr)
            gtk_widget_destroy(GTK_WIDGET(plugin_));
        plugin_ = nullptr;
    }

    // Emits a run signal and runs the main loop until the widget has seen it.
    void run_signal(int status, const char *name = kPluginName) {
        const int seen = watcher_->count();
        daemon_->emit_run_signal(name, status);
        ASSERT_TRUE(watcher_->wait_for(seen + 1));
    }

    VelmoraView *view() { return plugin_->view; }

    LoggedProblems problems_; /* warnings and criticals logged during the test */
    std::unique_ptr<FakeFeedDaemon> daemon_;
    std::unique_ptr<RunSignalWatcher> watcher_;
    VelmoraPlugin *plugin_ = nullptr;
};

TEST_F(WidgetLifecycleTest, EmptyDatabaseShowsLoadingWithoutTimerAndActivatesOnce) {
    create_and_activate();
    EXPECT_TRUE(view()->message_shown);
    EXPECT_EQ(shown_message(plugin_), message_text(VELMORA_REGION_US, "loading"));
    EXPECT_FALSE(shown_message(plugin_).empty());
    EXPECT_EQ(view()->timer_id, 0u);
    EXPECT_EQ(daemon_->last_plugin_name(), kPluginName);

    // "activate" answered 1: the tick has stopped (its timeout is the one with the
    // widget as its data).
    EXPECT_EQ(module_timeouts::pending_for(plugin_), 0);
    EXPECT_EQ(module_timeouts::intervals_for(plugin_), std::vector<guint>{1000});
    EXPECT_EQ(daemon_->activate_calls(), 1);
}

TEST_F(WidgetLifecycleTest, StoredItemsAreShownAtOnceWithTheCarouselRunning) {
    store_items(3);
    plugin_ = create_widget();
    EXPECT_FALSE(view()->message_shown);
    EXPECT_EQ(stored_item_count(), 3);
    EXPECT_EQ(stored_title(0), "Item 1");
    EXPECT_NE(view()->timer_id, 0u);
}

// Items fetched for another storefront or feed do not show under the new logo and
// heading: the widget starts with the "loading" message until a run brings its own.
TEST_F(WidgetLifecycleTest, StoredItemsOfOtherSettingsAreNotShownUnderTheNewHeading) {
    store_items(3);
    record_store_origin(VELMORA_REGION_US, "bestsellers");
    set_region(VELMORA_REGION_DE);
    set_categories({"bestsellers"});
    plugin_ = create_widget();
    EXPECT_TRUE(view()->message_shown);
    EXPECT_EQ(shown_message(plugin_), message_text(VELMORA_REGION_DE, "loading"));
    EXPECT_EQ(view()->timer_id, 0u);
    destroy_widget();

    // Under the settings they were fetched for, they are shown.
    record_store_origin(VELMORA_REGION_DE, "bestsellers,hotnew_books");
    plugin_ = create_widget();
    EXPECT_FALSE(view()->message_shown);
    EXPECT_EQ(stored_item_count(), 3);
}

// After 1 s, then 2 s and 4 s later: a daemon without the plug-in is not asked every second.
TEST_F(WidgetLifecycleTest, ActivationIsRetriedWithGrowingWaitsUntilItAnswersOne) {
    daemon_->script_activate_answers({0, 5});
    plugin_ = create_widget();
    ASSERT_TRUE(run_until([&] { return daemon_->activate_calls() >= 3; }, 20000));
    // The waits the widget asked for, and no tick after the answer 1.
    EXPECT_EQ(module_timeouts::intervals_for(plugin_), (std::vector<guint>{1000, 2000, 4000}));
    EXPECT_EQ(module_timeouts::pending_for(plugin_), 0);
    EXPECT_EQ(daemon_->activate_calls(), 3);
}

// A daemon that owns its name but does not answer (stopped with SIGSTOP): each
// "activate" holds the home screen's main loop for its time-out of a few seconds, not
// for D-Bus's default 25 s.
TEST_F(WidgetLifecycleTest, AStoppedDaemonHoldsTheMainLoopOnlyBriefly) {
    daemon_->hold_activate_answers(true);
    gint64 last = g_get_monotonic_time();
    gint64 longest = 0;
    auto on_beat = [](gpointer data) -> gboolean {
        auto *beat = static_cast<std::pair<gint64 *, gint64 *> *>(data);
        const gint64 now = g_get_monotonic_time();
        *beat->second = MAX(*beat->second, now - *beat->first);
        *beat->first = now;
        return G_SOURCE_CONTINUE;
    };
    std::pair<gint64 *, gint64 *> beat{&last, &longest};
    const guint heartbeat = g_timeout_add(20, on_beat, &beat);
    plugin_ = create_widget();
    ASSERT_TRUE(run_until([&] { return daemon_->activate_calls() >= 1; }, 3000));
    run_for(3000);
    g_source_remove(heartbeat);
    EXPECT_LT(longest, 10 * G_USEC_PER_SEC) << "the main loop was held " << longest / 1000 << " ms";
    EXPECT_GE(longest, 1 * G_USEC_PER_SEC) << "the call did wait for the daemon";
}

TEST_F(WidgetLifecycleTest, FirstItemOfARunBuildsTheItemLayoutAndStartsTheCarousel) {
    create_and_activate();
    store_items(3);
    run_signal(1);
    EXPECT_TRUE(view()->message_shown);
    run_signal(0);
    EXPECT_FALSE(view()->message_shown);
    EXPECT_EQ(stored_item_count(), 3);
    const guint timer = view()->timer_id;
    EXPECT_NE(timer, 0u);

    // Later items of the same run refresh the list and leave the timer alone;
    // statuses that come quickly are folded into a later refresh (the fold's own test
    // covers its timing), which is made by itself: once none is scheduled any more
    // (a module timeout that is neither the activation tick nor the carousel's), the
    // list is the stored one.
    store_items(4);
    run_signal(0);
    store_items(5);
    run_signal(0);
    ASSERT_TRUE(run_until(
        [&] {
            return module_timeouts::pending_except({plugin_, view()}) == 0;
        },
        5000));
    EXPECT_EQ(stored_item_count(), 5);
    EXPECT_EQ(view()->timer_id, timer);

    // The end of a pass changes nothing.
    run_signal(2);
    EXPECT_EQ(view()->timer_id, timer);
}

TEST_F(WidgetLifecycleTest, TwoRunStartsThenAnItemRestartTheCarouselOnce) {
    store_items(2);
    create_and_activate();
    const guint timer = view()->timer_id;
    run_signal(1);
    run_signal(1);
    run_signal(0);
    const guint restarted = view()->timer_id;
    EXPECT_NE(restarted, 0u);
    EXPECT_NE(restarted, timer);
    run_signal(0);
    EXPECT_EQ(view()->timer_id, restarted);
}

TEST_F(WidgetLifecycleTest, ItemWithoutRunStartShowsItemsButStartsNoTimer) {
    create_and_activate();
    store_items(2);
    run_signal(0);
    EXPECT_FALSE(view()->message_shown);
    EXPECT_EQ(stored_item_count(), 2);
    EXPECT_EQ(view()->timer_id, 0u);

    // Coming onto the current desktop starts it.
    ASSERT_TRUE(set_on_current_desktop(plugin_, true));
    EXPECT_TRUE(plugin_->is_on_current_desktop);
    EXPECT_NE(view()->timer_id, 0u);
}

TEST_F(WidgetLifecycleTest, SignalsOfOtherPluginsAndOtherStatusesAreIgnored) {
    create_and_activate();
    store_items(2);
    run_signal(1, "libotherplugin");
    run_signal(0, "libotherplugin");
    run_signal(7);
    run_signal(2);
    EXPECT_TRUE(view()->message_shown);
    EXPECT_EQ(shown_message(plugin_), message_text(VELMORA_REGION_US, "loading"));
}

TEST_F(WidgetLifecycleTest, NothingDownloadedReplacesOnlyAMessage) {
    create_and_activate();
    run_signal(VELMORA_STATUS_NOTHING_DOWNLOADED);
    EXPECT_EQ(shown_message(plugin_), message_text(VELMORA_REGION_US, "no_connection"));
    EXPECT_FALSE(shown_message(plugin_).empty());
    run_signal(VELMORA_STATUS_NOTHING_DOWNLOADED);
    EXPECT_EQ(shown_message(plugin_), message_text(VELMORA_REGION_US, "no_connection"));

    // Items on screen stay when a later run downloads nothing.
    store_items(2);
    run_signal(1);
    run_signal(0);
    ASSERT_FALSE(view()->message_shown);
    run_signal(VELMORA_STATUS_NOTHING_DOWNLOADED);
    EXPECT_FALSE(view()->message_shown);
    EXPECT_EQ(stored_item_count(), 2);
}

TEST_F(WidgetLifecycleTest, VisibilityAndDeviceActivityPauseAndResumeTheCarousel) {
    store_items(2);
    plugin_ = create_widget();
    ASSERT_NE(view()->timer_id, 0u);

    ASSERT_TRUE(set_on_current_desktop(plugin_, true));
    EXPECT_NE(view()->timer_id, 0u);
    ASSERT_TRUE(set_on_current_desktop(plugin_, false));
    EXPECT_FALSE(plugin_->is_on_current_desktop);
    EXPECT_EQ(view()->timer_id, 0u);
    ASSERT_TRUE(set_on_current_desktop(plugin_, true));
    EXPECT_NE(view()->timer_id, 0u);

    // The device going inactive pauses; coming onto the desktop meanwhile
    // restarts nothing; becoming active again while on the desktop restarts.
    daemon_->emit_screensaver_active(true);
    ASSERT_TRUE(run_until([&] { return plugin_->device_inactive == TRUE; }, 3000));
    EXPECT_EQ(view()->timer_id, 0u);
    ASSERT_TRUE(set_on_current_desktop(plugin_, false));
    ASSERT_TRUE(set_on_current_desktop(plugin_, true));
    EXPECT_EQ(view()->timer_id, 0u);
    daemon_->emit_screensaver_active(false);
    ASSERT_TRUE(run_until([&] { return plugin_->device_inactive == FALSE; }, 3000));
    EXPECT_NE(view()->timer_id, 0u);

    // Becoming active while not on the current desktop restarts nothing.
    ASSERT_TRUE(set_on_current_desktop(plugin_, false));
    daemon_->emit_screensaver_active(true);
    ASSERT_TRUE(run_until([&] { return plugin_->device_inactive == TRUE; }, 3000));
    daemon_->emit_screensaver_active(false);
    ASSERT_TRUE(run_until([&] { return plugin_->device_inactive == FALSE; }, 3000));
    EXPECT_EQ(view()->timer_id, 0u);
}

// ---- The settings dialog ----

TEST_F(WidgetLifecycleTest, DialogHasItsTitleSaveButtonAndTwoPickers) {
    plugin_ = create_widget();
    GtkDialog *dialog = open_settings(plugin_);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(GTK_WIDGET_VISIBLE(GTK_WIDGET(dialog)));
    EXPECT_FALSE(gtk_dialog_get_has_separator(dialog));
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog)), nullptr);
    EXPECT_FALSE(gtk_window_get_modal(GTK_WINDOW(dialog)));
    EXPECT_EQ(gtk_container_get_border_width(GTK_CONTAINER(dialog->vbox)), 8u);

    GtkButton *save = dialog_button(dialog, "Save");
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(gtk_dialog_get_response_for_widget(dialog, GTK_WIDGET(save)), VELMORA_RESPONSE_SAVE);

    std::vector<std::string> titles;
    GList *children = gtk_container_get_children(GTK_CONTAINER(dialog->vbox));
    for (GList *l = children; l != nullptr; l = l->next) {
        if (HILDON_IS_PICKER_BUTTON(l->data)) {
            titles.emplace_back(hildon_button_get_title(HILDON_BUTTON(l->data)));
            EXPECT_EQ(hildon_picker_button_get_selector(HILDON_PICKER_BUTTON(l->data)),
                      titles.size() == 1 ? plugin_->region_selector : plugin_->category_selector);
        }
    }
    g_list_free(children);
    EXPECT_EQ(titles, (std::vector<std::string>{"Site", "Feed"}));
}

TEST_F(WidgetLifecycleTest, DialogWithNoRegionStoredWritesTheDefaultAndShowsItsRow) {
    set_categories({"hotnew_books", VELMORA_DEFAULT_CATEGORY});
    plugin_ = create_widget();
    ASSERT_NE(open_settings(plugin_), nullptr);
    EXPECT_EQ(stored_region(), VELMORA_REGION_US);
    EXPECT_EQ(hildon_touch_selector_get_active(plugin_->region_selector, 0), 2);
    EXPECT_EQ(current_text(plugin_->region_selector), VELMORA_REGION_US);
    EXPECT_EQ(hildon_touch_selector_get_active(plugin_->category_selector, 0), 3);
    EXPECT_EQ(current_text(plugin_->category_selector), "Hot New Releases in Books");
}

TEST_F(WidgetLifecycleTest, DialogWithAnEmptyCategoryListShowsBestsellersAndWritesNothing) {
    set_region(VELMORA_REGION_UK);
    set_categories({});
    plugin_ = create_widget();
    ASSERT_NE(open_settings(plugin_), nullptr);
    EXPECT_EQ(hildon_touch_selector_get_active(plugin_->region_selector, 0), 1);
    EXPECT_EQ(hildon_touch_selector_get_active(plugin_->category_selector, 0), 0);
    EXPECT_EQ(current_text(plugin_->category_selector), "Bestsellers");
    EXPECT_TRUE(stored_categories().empty());
}

TEST_F(WidgetLifecycleTest, CancelledDialogChangesNoKeyAndIsDestroyed) {
    set_region(VELMORA_REGION_FR);
    set_categories({"movers_shakers"});
    plugin_ = create_widget();
    GtkDialog *dialog = open_settings(plugin_);
    ASSERT_NE(dialog, nullptr);
    hildon_touch_selector_set_active(plugin_->region_selector, 0, 3);
    hildon_touch_selector_set_active(plugin_->category_selector, 0, 5);

    gtk_dialog_response(dialog, GTK_RESPONSE_DELETE_EVENT);
    EXPECT_TRUE(settings_dialogs().empty());
    EXPECT_EQ(stored_region(), VELMORA_REGION_FR);
    EXPECT_EQ(stored_categories(), (std::vector<std::string>{"movers_shakers"}));
}

TEST_F(WidgetLifecycleTest, SaveStoresTheChoiceAndIgnoresTheOldRunUntilANewOneStarts) {
    store_items(3);
    create_and_activate();
    ASSERT_FALSE(view()->message_shown);

    GtkDialog *dialog = open_settings(plugin_);
    ASSERT_NE(dialog, nullptr);
    hildon_touch_selector_set_active(plugin_->region_selector, 0, 3);
    hildon_touch_selector_set_active(plugin_->category_selector, 0, 2);
    gtk_button_clicked(dialog_button(dialog, "Save"));

    EXPECT_TRUE(settings_dialogs().empty());
    EXPECT_EQ(stored_region(), VELMORA_REGION_DE);
    EXPECT_EQ(stored_categories(), (std::vector<std::string>{"bestsellers_book"}));
    EXPECT_EQ(daemon_->activate_calls(), 2);
    EXPECT_EQ(stored_data, nullptr);
    EXPECT_EQ(view()->timer_id, 0u);
    EXPECT_EQ(shown_message(plugin_), message_text(VELMORA_REGION_DE, "loading"));

    // Items of the run that was under way before "Save" are not shown.
    run_signal(0);
    run_signal(2);
    EXPECT_TRUE(view()->message_shown);
    EXPECT_EQ(stored_data, nullptr);

    store_items(2, "Buch");
    run_signal(1);
    EXPECT_TRUE(view()->message_shown);
    run_signal(0);
    EXPECT_FALSE(view()->message_shown);
    EXPECT_EQ(stored_item_count(), 2);
    EXPECT_EQ(stored_title(0), "Buch 1");
    EXPECT_NE(view()->timer_id, 0u);
}

TEST_F(WidgetLifecycleTest, SaveStoresNothingForAPickerWithoutAnActiveRow) {
    set_region("velmora.example"); // read as the default region, whose row is active
    set_categories({"no_such_feed"});
    plugin_ = create_widget();
    GtkDialog *dialog = open_settings(plugin_);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(hildon_touch_selector_get_active(plugin_->region_selector, 0), 2);
    EXPECT_EQ(hildon_touch_selector_get_active(plugin_->category_selector, 0), -1);
    hildon_touch_selector_set_active(plugin_->region_selector, 0, 3);
    gtk_dialog_response(dialog, VELMORA_RESPONSE_SAVE);

    EXPECT_EQ(stored_region(), VELMORA_REGION_DE);
    EXPECT_EQ(stored_categories(), (std::vector<std::string>{"no_such_feed"}));
}

TEST_F(WidgetLifecycleTest, TheOpenDialogSavesItsOwnChoiceWhenAskedForAgain) {
    plugin_ = create_widget();
    GtkDialog *first = open_settings(plugin_);
    ASSERT_NE(first, nullptr);
    HildonTouchSelector *first_region = plugin_->region_selector;
    hildon_touch_selector_set_active(first_region, 0, 3);

    // A second request brings up the same dialog and builds no other.
    EXPECT_EQ(open_settings(plugin_), nullptr);
    EXPECT_EQ(plugin_->region_selector, first_region);
    EXPECT_EQ(settings_dialogs().size(), 1u);

    gtk_dialog_response(first, VELMORA_RESPONSE_SAVE);
    EXPECT_EQ(stored_region(), VELMORA_REGION_DE);
    EXPECT_TRUE(settings_dialogs().empty());
}

// ---- Teardown ----

TEST_F(WidgetLifecycleTest, TeardownWithinTheFirstSecondLeavesNoActivationTick) {
    const int contexts_before = live_osso_contexts;
    plugin_ = create_widget();
    const gconstpointer gone = plugin_;
    bool finalized = false;
    g_object_weak_ref(
        G_OBJECT(plugin_), [](gpointer flag, GObject *) { *static_cast<bool *>(flag) = true; },
        &finalized);
    destroy_widget();
    EXPECT_TRUE(finalized);
    EXPECT_EQ(live_osso_contexts, contexts_before);

    // The tick asked for at creation went with the widget.
    EXPECT_EQ(module_timeouts::intervals_for(gone), std::vector<guint>{1000});
    EXPECT_EQ(module_timeouts::pending_for(gone), 0);
    EXPECT_EQ(daemon_->activate_calls(), 0);
    ASSERT_TRUE(run_until([&] { return daemon_->deactivate_calls() == 1; }, 2000));
}

TEST_F(WidgetLifecycleTest, TeardownWithTheDialogOpenClosesIt) {
    create_and_activate();
    GtkDialog *dialog = open_settings(plugin_);
    ASSERT_NE(dialog, nullptr);
    g_object_ref(dialog);
    destroy_widget();
    EXPECT_TRUE(settings_dialogs().empty());

    // An answer that still reaches the dialog finds no widget behind it.
    gtk_dialog_response(dialog, VELMORA_RESPONSE_SAVE);
    g_object_unref(dialog);
    EXPECT_EQ(stored_region(), VELMORA_REGION_US);
    run_for(200);
}

TEST_F(WidgetLifecycleTest, AWidgetAfterATornDownOneStartsWithFreshFlags) {
    create_and_activate();
    GtkDialog *dialog = open_settings(plugin_);
    ASSERT_NE(dialog, nullptr);
    gtk_dialog_response(dialog, VELMORA_RESPONSE_SAVE); // now waiting for a new run
    destroy_widget();

    const int activations = daemon_->activate_calls();
    plugin_ = create_widget();
    ASSERT_TRUE(run_until([&] { return daemon_->activate_calls() > activations; }, 3000));
    store_items(2);
    run_signal(0);
    EXPECT_FALSE(view()->message_shown);
}

} // namespace
