// SPDX-License-Identifier: LGPL-2.1-or-later
// A run after a run: what stays, what is written, what the widget sees at each status 0,
// which pictures are asked for and which files go. Against a real SQLite file, the
// staged catalogues and the local HTTP server.
#include "plugin_parser_support.h"

#include "feedserviceutils_internal.h"
#include "scoped_environment.h"
#include "velmora_feed_parser.h"

#include <glib/gstdio.h>
#include <utime.h>

#include <algorithm>
#include <optional>

using namespace plugin_test;
using test_support::ScopedEnvironment;

namespace {

// One feed item: title, price and picture (a name on the server, or none).
struct Entry {
    std::string title, price, picture;
};

class StorePass : public ServedStoreFixture {
  protected:
    static void SetUpTestSuite() {
        serve({{"1.png", "picture 1"},
               {"2.png", "picture 2"},
               {"3.png", "picture 3"},
               {"4.png", "picture 4"},
               {"big.png", std::string(2000, 'p')}});
    }
    void SetUp() override {
        ServedStoreFixture::SetUp();
        fsu::forget_failed_downloads();
        urls_ = new_url_catalogue(dir_);
        ASSERT_NE(urls_, nullptr);
    }
    void TearDown() override {
        query_loader_free(urls_);
        ServedStoreFixture::TearDown();
    }

    std::string document(const std::vector<Entry> &entries) const {
        std::string body;
        for (const Entry &e : entries) {
            body += "<item><title>" + e.title + "</title><ourPriceAmount>" + e.price +
                    "</ourPriceAmount>";
            if (!e.picture.empty())
                body += "<image><![CDATA[<img src=\"" + server_->url("/" + e.picture) +
                        "\">]]></image>";
            body += "</item>";
        }
        return feed(body);
    }

    // One pass over the entries, fetched for the categories (null: not known); records
    // what the widget sees at every status.
    void run(const std::vector<Entry> &entries, const char *categories = nullptr) {
        seen_.clear();
        VelmoraItemRawData *raw = downloads_of({document(entries)});
        VelmoraItemArray *items =
            velmora_item_parse_and_store(raw, kRegion, categories, urls_, &db_, nullptr, nullptr,
                                         queries_, this, cache_dir_.c_str(), &StorePass::record);
        velmora_item_raw_data_free(raw);
        velmora_item_array_free(items);
    }

    static void record(gpointer user_data, gint32 status) {
        auto *self = static_cast<StorePass *>(user_data);
        EXPECT_EQ(status, 0);
        std::vector<std::string> shown;
        for (Row &row : self->widget_rows())
            shown.push_back(row["title"].value_or("") + " " + row["velmora_price"].value_or(""));
        self->seen_.push_back(shown);
    }

    std::vector<Row> rows(const char *sql) const { return read_rows(db_path_, sql); }
    void sql(const std::string &statement) {
        ASSERT_NE(db_interface_execute_update(db_, statement.c_str()), 0) << statement;
    }

    QueryLoader *urls_ = nullptr;
    std::vector<std::vector<std::string>> seen_; // titles and prices at each status
};

// What a list looks like to the widget: "title price" per row.
std::vector<std::string> shown(const std::vector<Entry> &entries) {
    std::vector<std::string> out;
    for (const Entry &e : entries)
        out.push_back(e.title + " " + e.price);
    return out;
}

std::vector<std::string> ids_of(const std::vector<Row> &rows) {
    std::vector<std::string> ids;
    for (const Row &row : rows)
        ids.push_back(row.at("id").value_or(""));
    return ids;
}

} // namespace

// The stored items again: no row, picture or file is written, no picture asked for, and
// only time_saved is brought up to date; every status shows the whole list.
TEST_F(StorePass, AnUnchangedRunKeepsRowsAndPicturesAndRefreshesTheTime) {
    const std::vector<Entry> list = {
        {"a", "1.00", "1.png"}, {"b", "2.00", "2.png"}, {"c", "3.00", "1.png"}};
    run(list);
    const auto before = rows("SELECT id, image_id FROM velmora_items ORDER BY id");
    const auto pictures = list_dir(cache_dir_);
    ASSERT_EQ(pictures.size(), 2u);
    GStatBuf first{};
    ASSERT_EQ(g_stat((cache_dir_ + "/" + pictures[0]).c_str(), &first), 0);
    sql("UPDATE velmora_items SET time_saved = '2000-01-01T00:00:00Z'");
    server_->reset_counts();

    run(list);
    EXPECT_EQ(seen_, std::vector<std::vector<std::string>>(3, shown(list)));
    EXPECT_EQ(rows("SELECT id, image_id FROM velmora_items ORDER BY id"), before);
    EXPECT_EQ(server_->request_count(), 0);
    EXPECT_EQ(list_dir(cache_dir_), pictures);
    GStatBuf again{};
    ASSERT_EQ(g_stat((cache_dir_ + "/" + pictures[0]).c_str(), &again), 0);
    EXPECT_EQ(again.st_ino, first.st_ino);
    EXPECT_EQ(again.st_mtime, first.st_mtime);
    for (Row &row : rows("SELECT time_saved FROM velmora_items"))
        EXPECT_NE(row["time_saved"], "2000-01-01T00:00:00Z");
}

// A second run against the first: what each status shows (never a mix of the two
// lists), which rows keep their ids, which pictures are asked for and which files stay.
TEST_F(StorePass, ASecondRunWritesOnlyWhatChangedAndShowsNoMix) {
    const std::vector<Entry> first = {
        {"a", "1.00", "1.png"}, {"b", "2.00", "2.png"}, {"c", "3.00", "3.png"}};
    struct Case {
        const char *what;
        std::vector<Entry> second;
        std::vector<std::vector<std::string>> seen; // at each status
        size_t kept_ids;                            // leading rows that keep their id
        int picture_requests;
        std::vector<std::string> pictures; // the files left, by served name
    };
    const auto old = shown(first);
    const std::vector<Entry> price = {first[0], {"b", "2.50", "2.png"}, first[2]};
    const std::vector<Entry> shorter = {first[0], first[1]};
    const std::vector<Entry> longer = {first[0], first[1], first[2], {"d", "4.00", "4.png"}};
    const std::vector<Entry> other = {{"x", "9.00", "2.png"}, {"y", "8.00", "4.png"}};
    const std::vector<Entry> picture = {first[0], first[1], {"c", "3.00", "4.png"}};
    // clang-format off
    const std::vector<Case> cases = {
        {"a price changed in the middle", price, {old, old, shown(price)}, 3, 0,
         {"picture 1", "picture 2", "picture 3"}},
        {"the last item gone", shorter, {old, shown(shorter)}, 2, 0, {"picture 1", "picture 2"}},
        {"an item more", longer, {old, old, shown(longer), shown(longer)}, 3, 1,
         {"picture 1", "picture 2", "picture 3", "picture 4"}},
        {"another list", other, {{"x 9.00"}, shown(other)}, 0, 1, {"picture 2", "picture 4"}},
        {"a picture changed", picture, {old, old, shown(picture)}, 3, 1,
         {"picture 1", "picture 2", "picture 4"}},
    };
    // clang-format on
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sql("DELETE FROM velmora_items");
        run(first);
        const auto before = ids_of(rows("SELECT id FROM velmora_items ORDER BY id"));
        server_->reset_counts();

        run(c.second);
        EXPECT_EQ(seen_, c.seen);
        const auto after = ids_of(rows("SELECT id FROM velmora_items ORDER BY id"));
        ASSERT_EQ(after.size(), c.second.size());
        for (size_t i = 0; i < after.size(); i++)
            EXPECT_EQ(after[i] == (i < before.size() ? before[i] : ""), i < c.kept_ids) << i;
        EXPECT_EQ(server_->request_count(), c.picture_requests);
        std::vector<std::string> files;
        for (const std::string &name : list_dir(cache_dir_))
            files.push_back(read_file(cache_dir_ + "/" + name));
        std::sort(files.begin(), files.end());
        EXPECT_EQ(files, c.pictures);
        EXPECT_EQ(count_rows("velmora_images"), static_cast<int>(c.pictures.size()));
    }
}

// A kept picture is asked for again once its file is a day old: conditionally, and a
// 304 writes nothing but the file's time; then not again in the next run. With a
// library that never asks conditionally it comes whole.
TEST_F(StorePass, AKeptPictureIsAskedForAgainOnceADay) {
    const std::vector<Entry> list = {{"a", "1.00", "big.png"}, {"b", "2.00", "big.png"}};
    for (bool conditional : {true, false}) {
        SCOPED_TRACE(conditional ? "conditional" : "no conditional requests");
        run(list);
        const auto files = list_dir(cache_dir_);
        ASSERT_EQ(files.size(), 1u);
        const std::string file = cache_dir_ + "/" + files[0];
        const utimbuf old{time(nullptr) - 2 * 24 * 3600, time(nullptr) - 2 * 24 * 3600};
        ASSERT_EQ(g_utime(file.c_str(), const_cast<utimbuf *>(&old)), 0);
        GStatBuf before{};
        g_stat(file.c_str(), &before);
        std::optional<ScopedEnvironment> unconditional;
        if (!conditional)
            unconditional.emplace("FEEDSERVICEUTILS_NO_CONDITIONAL_REQUESTS", "1");
        server_->reset_counts();

        run(list);
        EXPECT_EQ(server_->request_count("/big.png"), 1);
        EXPECT_EQ(server_->bytes_sent() > 2000, !conditional) << server_->bytes_sent();
        GStatBuf after{};
        ASSERT_EQ(g_stat(file.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino == before.st_ino, conditional);
        EXPECT_GT(after.st_mtime, time(nullptr) - 60);
        EXPECT_EQ(read_file(file), std::string(2000, 'p'));

        server_->reset_counts();
        run(list);
        EXPECT_EQ(server_->request_count(), 0);
    }
}

// A picture no item names any more: its row goes at the end of the pass, and its file
// only when the row records exactly the cache's own name for it and no row of a stored
// item records that file too (what the run's sweep counts as referenced). A row naming
// any other path never gets that path removed (the pass's picture check fetches that
// picture anew under its own name while its item is still stored, and that file goes).
TEST_F(StorePass, AnUnusedPictureGoesOnlyByItsOwnNameInTheCache) {
    const std::string victim = make_temp_dir("outside") + "/victim.img";
    g_autofree gchar *store_dir = g_path_get_dirname(cache_dir_.c_str());
    const std::string beside = std::string(store_dir) + "/beside.img";
    struct Case {
        const char *what;
        std::string recorded; // what picture 2's row is made to record; "" leaves it
        bool removed;         // whether picture 2's own file goes
    };
    const std::vector<Case> cases = {
        {"its own file", "", true},
        {"a file outside the cache", victim, true},
        {"a path through ..", cache_dir_ + "/../beside.img", true},
        {"the file of the picture still in use", "KEPT", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sql("DELETE FROM velmora_items");
        sql("DELETE FROM velmora_images");
        ASSERT_TRUE(write_file(victim, "victim"));
        ASSERT_TRUE(write_file(beside, "beside"));
        run({{"a", "1.00", "1.png"}, {"b", "2.00", "2.png"}});
        ASSERT_EQ(list_dir(cache_dir_).size(), 2u);
        const auto kept = rows("SELECT image_path FROM velmora_images WHERE image_url LIKE "
                               "'%/1.png'");
        ASSERT_EQ(kept.size(), 1u);
        const std::string kept_path = kept[0].at("image_path").value_or("");
        const std::string recorded = c.recorded == "KEPT" ? kept_path : c.recorded;
        if (!recorded.empty())
            sql("UPDATE velmora_images SET image_path = '" + recorded +
                "' WHERE image_url LIKE '%/2.png'");

        run({{"a", "1.00", "1.png"}});
        EXPECT_EQ(count_rows("velmora_images"), 1);
        EXPECT_EQ(read_file(kept_path), "picture 1");
        EXPECT_EQ(read_file(victim), "victim");
        EXPECT_EQ(read_file(beside), "beside");
        EXPECT_EQ(list_dir(cache_dir_).size(), c.removed ? 1u : 2u);
        for (const std::string &name : list_dir(cache_dir_))
            g_remove((cache_dir_ + "/" + name).c_str()); /* the sweep's work, between runs */
    }
}

// A feed past the cap on items: the items after the 1,000th are left out, and that is
// logged once for the run, however many items and documents go past it.
TEST_F(StorePass, TheCapOnItemsIsLoggedOncePerRun) {
    std::vector<std::string> messages;
    const guint handler = g_log_set_handler(
        "velmoraserviceplugin", G_LOG_LEVEL_MESSAGE,
        [](const gchar *, GLogLevelFlags, const gchar *message, gpointer out) {
            static_cast<std::vector<std::string> *>(out)->emplace_back(message);
        },
        &messages);
    std::string many;
    for (int i = 0; i < 1200; i++)
        many += "<item><title>" + std::to_string(i) + "</title></item>";
    const auto items = parse_only(urls_, {feed(many), feed(many)});
    g_log_remove_handler("velmoraserviceplugin", handler);
    EXPECT_EQ(items.size(), 1000u);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("1000"), std::string::npos) << messages[0];
}

// The store says which settings its items were fetched for, whichever way a pass stores
// them: the record follows the settings, and a pass under the same ones does not write
// it (a trigger counts the record's writes).
TEST_F(StorePass, TheRecordOfTheSettingsFollowsEveryPass) {
    const std::vector<Entry> list = {{"a", "1.00", ""}, {"b", "2.00", ""}};
    struct Case {
        const char *what;
        std::vector<Entry> entries;
        const char *categories;
        int writes;
    } cases[] = {
        {"a new list", list, "bestsellers", 1},
        {"the same list under the same settings", list, "bestsellers", 0},
        {"the same first item under one more category", list, "bestsellers,hotnew_books", 1},
        {"a changed later item", {{"a", "1.00", ""}, {"b", "2.50", ""}}, "hotnew_books", 1},
        {"another list", {{"x", "9.00", ""}}, "movers_shakers", 1},
    };
    bool counting = false;
    for (const Case &c : cases) {
        if (counting)
            sql("UPDATE origin_writes SET n = 0");
        run(c.entries, c.categories);
        if (!counting) {
            sql("CREATE TABLE origin_writes (n INTEGER); INSERT INTO origin_writes VALUES (1);"
                "CREATE TRIGGER count_origin AFTER INSERT ON velmora_store_origin "
                "BEGIN UPDATE origin_writes SET n = n + 1; END");
            counting = true;
        }
        const auto origin = rows("SELECT region, categories FROM velmora_store_origin");
        ASSERT_EQ(origin.size(), 1u) << c.what;
        EXPECT_EQ(origin[0].at("region").value_or(""), kRegion) << c.what;
        EXPECT_EQ(origin[0].at("categories").value_or(""), c.categories) << c.what;
        EXPECT_EQ(rows("SELECT n FROM origin_writes")[0].at("n").value_or(""),
                  std::to_string(c.writes))
            << c.what;
        EXPECT_EQ(seen_.back(), shown(c.entries)) << c.what;
    }
}
