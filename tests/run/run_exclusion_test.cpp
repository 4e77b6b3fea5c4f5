// SPDX-License-Identifier: LGPL-2.1-or-later
// One run per store at a time, and a failed settings read is no setting: update runs in
// processes of their own (velmora_run_once) against the demo storefront on 127.0.0.1 and the
// real GConf of the test's session. Two runs started close together must leave one whole
// set of items; a run whose configuration server dies must neither start over nor store on
// defaults.
#include "storefront_server.h"
#include "feed_service.h"
#include "gconftool.h"
#include "item_database.h"

#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>
#include "velmora_contract.h"

namespace {

using feed_service::pass;

// One velmora_run_once process; statuses() waits for it and gives what it reported.
class RunProcess {
  public:
    explicit RunProcess(const std::string &kill_at) {
        std::vector<std::string> args = {VELMORA_RUN_ONCE_PATH};
        if (!kill_at.empty())
            args.push_back(kill_at);
        std::vector<gchar *> argv;
        for (auto &arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        started_ =
            g_spawn_async_with_pipes(nullptr, argv.data(), nullptr, G_SPAWN_DO_NOT_REAP_CHILD,
                                     nullptr, nullptr, &pid_, nullptr, &out_, nullptr, nullptr);
    }
    ~RunProcess() { statuses(); }

    std::vector<int> statuses() {
        if (started_) {
            started_ = false;
            FILE *lines = fdopen(out_, "r");
            for (int status; std::fscanf(lines, "%d", &status) == 1;)
                statuses_.push_back(status);
            std::fclose(lines);
            waitpid(pid_, nullptr, 0);
        }
        return statuses_;
    }

  private:
    bool started_ = false;
    GPid pid_ = 0;
    int out_ = -1;
    std::vector<int> statuses_;
};

constexpr char kCategory[] = "movers_shakers";
constexpr char kSlowRegion[] = "slow.velmora.de";

std::vector<std::string> stored_titles() {
    std::vector<std::string> titles;
    for (const StoredItem &item : stored_items())
        titles.push_back(item.title);
    return titles;
}

class RunExclusion : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        store_ = new StorefrontServer();
        // A storefront whose pictures each take 40 ms: a run stores for about a second, so
        // that runs started apart still overlap.
        std::string feed = test_support::read_file(
            store_->root() + StorefrontServer::feed_path(VELMORA_REGION_DE, kCategory));
        for (size_t at = feed.find("/images/"); at != std::string::npos;
             at = feed.find("/images/", at + 20))
            feed.insert(at, "/delay/40");
        test_support::write_file(store_->root() + "/slow.xml", feed);
        store_->add_catalogue_section(std::string("[") + kSlowRegion + "]\n" + kCategory + "=" +
                                      store_->server().url("/slow.xml") + "\n");
    }
    static void TearDownTestSuite() {
        delete store_;
        store_ = nullptr;
    }
    void SetUp() override { g_setenv("VELMORA_DATA_DIR", store_->data_dir().c_str(), TRUE); }
    static StorefrontServer *store_;
};
StorefrontServer *RunExclusion::store_ = nullptr;

TEST_F(RunExclusion, TwoRunsLeaveOneWholeSetAndFailedSettingsReadsChangeNothing) {
    const int de_items = store_->item_count(VELMORA_REGION_DE, kCategory);
    ASSERT_GE(de_items, 10);
    const char *de = VELMORA_REGION_DE, *slow = kSlowRegion;
    struct Case {
        const char *what;
        const char *region;
        int second_after_ms;       // a second run this long after the first; -1: none
        const char *kill_at;       // when the first run's GConf daemon is killed; "": never
        std::vector<int> statuses; // of each run
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"two runs at once", slow, 0, "", pass(de_items)},
        {"two runs 150 ms apart", slow, 150, "", pass(de_items)},
        {"two runs 400 ms apart", slow, 400, "", pass(de_items)},
        {"GConf daemon dies after the first item", de, -1, "0:1", pass(de_items)},
        {"GConf daemon dies at the end of the pass", de, -1, "2:1", pass(de_items)},
        {"GConf daemon dead before the run", de, -1, "start", {VELMORA_STATUS_NOTHING_DOWNLOADED}},
    };
    // clang-format on
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        gconftool::set_region(c.region);
        gconftool::set_categories({kCategory});
        ASSERT_EQ(RunProcess("").statuses(), pass(de_items)); // a lone run: the whole set
        const std::vector<std::string> whole = stored_titles();
        ASSERT_EQ(static_cast<int>(whole.size()), de_items);

        RunProcess first(c.kill_at);
        std::optional<RunProcess> second;
        if (c.second_after_ms >= 0) {
            g_usleep(c.second_after_ms * 1000);
            second.emplace("");
        }
        const std::vector<int> first_statuses = first.statuses();
        const std::vector<int> second_statuses = second ? second->statuses() : std::vector<int>{};
        const std::vector<std::string> stored = stored_titles();
        std::printf("%-44s statuses %s %s, stored %zu items\n", c.what,
                    ::testing::PrintToString(first_statuses).c_str(),
                    ::testing::PrintToString(second_statuses).c_str(), stored.size());
        EXPECT_EQ(first_statuses, c.statuses);
        if (second) {
            EXPECT_EQ(second_statuses, c.statuses);
        }
        // One whole set, the same a lone run stores: no half-sets mixed, no other list.
        EXPECT_EQ(stored, whole);
    }
}

} // namespace
