// SPDX-License-Identifier: LGPL-2.1-or-later
// utils_database_test.cpp - connections and results (null handles, one pending result,
// nothing left open, "locked" reported as failure), the file watcher, and
// ensure_database making, keeping, reopening and repairing the database.
#include "utils_test_helpers.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include "velmora_contract.h"

using namespace utils_test;

namespace {

const char kNumbers[] = "CREATE TABLE numbers (n INTEGER, name TEXT);"
                        "INSERT INTO numbers VALUES (1, 'one'), (2, 'two'), (3, 'three');";

// A plain SQLite connection of the test's own, beside the library's.
struct RawConnection {
    explicit RawConnection(const std::string &path) {
        sqlite3_open(path.c_str(), &connection);
        sqlite3_busy_timeout(connection, 100);
    }
    ~RawConnection() { sqlite3_close(connection); }
    int exec(const char *sql) { return sqlite3_exec(connection, sql, nullptr, nullptr, nullptr); }
    std::string text(const char *sql) {
        sqlite3_stmt *statement = nullptr;
        std::string result = "<error>";
        if (sqlite3_prepare_v2(connection, sql, -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            result = reinterpret_cast<const char *>(sqlite3_column_text(statement, 0));
        sqlite3_finalize(statement);
        return result;
    }
    sqlite3 *connection = nullptr;
};

class DatabaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = make_temp_dir();
        path_ = dir_ + "/test.db";
        db_.reset(db_interface_new(path_.c_str()));
        ASSERT_TRUE(db_);
        ASSERT_NE(db_interface_execute_update(db_.get(), kNumbers), 0);
    }
    std::string dir_;
    std::string path_;
    DbPtr db_;
};

TEST(NullHandles, GiveNoRowsAndWriteNothing) {
    EXPECT_EQ(db_interface_execute_query(nullptr, "SELECT 1"), 0);
    EXPECT_EQ(db_interface_step_result(nullptr), 0);
    EXPECT_EQ(db_get_text_column(nullptr, "x", 0), nullptr);
    EXPECT_EQ(db_get_int_column(nullptr, "x", 0), 0);
    EXPECT_EQ(db_interface_execute_update(nullptr, "CREATE TABLE x (a)"), 0);
    gint64 row_id = 42;
    EXPECT_EQ(db_interface_execute_update_get_row_id(nullptr, "INSERT INTO x VALUES (1)", &row_id),
              0);
    EXPECT_EQ(row_id, 42);
    db_interface_close_result(nullptr);
    db_interface_free(nullptr);
    EXPECT_EQ(db_interface_new(nullptr), nullptr);
    EXPECT_EQ(check_and_download_image(nullptr, "/tmp", nullptr, 1, 1, "http://127.0.0.1/",
                                       "UPDATE x SET a = ? WHERE b = ?", 0),
              0);
    EXPECT_EQ(delete_image_data_from_database(nullptr, nullptr), 0);
    EXPECT_EQ(ensure_database(nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(file_watcher_new(nullptr), nullptr);
    EXPECT_NE(file_watcher_is_file_deleted(nullptr), 0);
    file_watcher_free(nullptr);
}

TEST_F(DatabaseTest, RowsAreReadByColumnName) {
    ASSERT_NE(
        db_interface_execute_query(db_.get(), "SELECT name AS label, n FROM numbers ORDER BY n"),
        0);
    EXPECT_EQ(db_get_text_column(db_.get(), "label", 0), nullptr) << "no row current yet";
    ASSERT_NE(db_interface_step_result(db_.get()), 0);
    EXPECT_STREQ(db_get_text_column(db_.get(), "label", 0), "one");
    EXPECT_EQ(db_get_int_column(db_.get(), "n", 0), 1);
    EXPECT_EQ(db_get_text_column(db_.get(), "name", 0), nullptr) << "renamed by the query";
    EXPECT_EQ(db_get_int_column(db_.get(), "absent", 0), 0);
    EXPECT_EQ(db_get_text_column(db_.get(), nullptr, 0), nullptr);
    ASSERT_NE(db_interface_step_result(db_.get()), 0);
    ASSERT_NE(db_interface_step_result(db_.get()), 0);
    EXPECT_STREQ(db_get_text_column(db_.get(), "label", 0), "three");
    EXPECT_EQ(db_interface_step_result(db_.get()), 0);
    EXPECT_EQ(db_get_text_column(db_.get(), "label", 0), nullptr) << "rows ran out";
    EXPECT_EQ(db_interface_step_result(db_.get()), 0);
}

TEST_F(DatabaseTest, FailureIsNotAnEmptyResult) {
    // An empty result is a success with no rows; a query that cannot run is a failure.
    EXPECT_NE(db_interface_execute_query(db_.get(), "SELECT n FROM numbers WHERE n > 10"), 0);
    EXPECT_EQ(db_interface_step_result(db_.get()), 0);
    EXPECT_EQ(db_interface_execute_query(db_.get(), "SELECT n FROM no_such_table"), 0);
    EXPECT_EQ(db_interface_execute_query(db_.get(), "SELEC nonsense"), 0);
    EXPECT_EQ(db_interface_execute_query(db_.get(), "SELECT 1; DELETE FROM numbers"), 0);
    EXPECT_EQ(db_interface_step_result(db_.get()), 0);
    EXPECT_EQ(db_interface_execute_update(db_.get(), "DELETE FROM no_such_table"), 0);

    // A database locked by another connection: the reader and the writer each get a
    // failure (after a bounded wait), never an empty result or a silent no-op.
    db_.reset();
    {
        RawConnection other(path_);
        ASSERT_EQ(other.exec("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;"
                             "INSERT INTO numbers VALUES (4, 'four'); COMMIT;"),
                  SQLITE_OK);
        db_.reset(db_interface_new(path_.c_str()));
        ASSERT_TRUE(db_) << "a locked database is still a database";
        EXPECT_EQ(db_interface_execute_query(db_.get(), "SELECT n FROM numbers"), 0);
        EXPECT_EQ(db_interface_step_result(db_.get()), 0);
        EXPECT_EQ(db_interface_execute_update(db_.get(), "INSERT INTO numbers VALUES (5, 'five')"),
                  0);
    }
    ASSERT_NE(db_interface_execute_query(db_.get(), "SELECT count(*) AS c FROM numbers"), 0);
    ASSERT_NE(db_interface_step_result(db_.get()), 0);
    EXPECT_EQ(db_get_int_column(db_.get(), "c", 0), 4);
}

TEST_F(DatabaseTest, NewQueryClosesThePendingOneAndUpdatesLeaveItAlone) {
    ASSERT_NE(db_interface_execute_query(db_.get(), "SELECT n FROM numbers ORDER BY n"), 0);
    ASSERT_NE(db_interface_step_result(db_.get()), 0);
    ASSERT_NE(db_interface_execute_update(db_.get(), "INSERT INTO numbers VALUES (9, 'nine')"), 0);
    ASSERT_NE(db_interface_step_result(db_.get()), 0);
    EXPECT_EQ(db_get_int_column(db_.get(), "n", 0), 2) << "the update left the result alone";

    ASSERT_NE(db_interface_execute_query(db_.get(), "SELECT name FROM numbers WHERE n = 3"), 0);
    EXPECT_EQ(db_get_int_column(db_.get(), "n", 0), 0) << "the old result is gone";
    ASSERT_NE(db_interface_step_result(db_.get()), 0);
    EXPECT_STREQ(db_get_text_column(db_.get(), "name", 0), "three");
    EXPECT_EQ(db_interface_step_result(db_.get()), 0);
}

// An open read keeps its WAL snapshot and stops a checkpoint from emptying the log. A
// result stepped to its end, or closed, must leave nothing open.
TEST_F(DatabaseTest, NoResultIsLeftOpen) {
    RawConnection other(path_);
    ASSERT_EQ(other.text("PRAGMA journal_mode"), "wal");
    auto checkpoint_blocked = [&] {
        // Columns: busy, log frames, checkpointed frames.
        return other.text("PRAGMA wal_checkpoint(TRUNCATE)") != "0";
    };

    ASSERT_NE(db_interface_execute_query(db_.get(), "SELECT n FROM numbers"), 0);
    ASSERT_NE(db_interface_step_result(db_.get()), 0);
    ASSERT_EQ(other.exec("INSERT INTO numbers VALUES (7, 'seven')"), SQLITE_OK);
    EXPECT_TRUE(checkpoint_blocked()) << "a pending read holds the log";
    db_interface_close_result(db_.get());
    EXPECT_FALSE(checkpoint_blocked());

    ASSERT_NE(db_interface_execute_query(db_.get(), "SELECT n FROM numbers"), 0);
    while (db_interface_step_result(db_.get())) {
    }
    ASSERT_EQ(other.exec("INSERT INTO numbers VALUES (8, 'eight')"), SQLITE_OK);
    EXPECT_FALSE(checkpoint_blocked()) << "a result whose rows ran out is closed";
}

TEST_F(DatabaseTest, RowIdOfTheInsertedRowOnly) {
    gint64 row_id = -5;
    ASSERT_NE(db_interface_execute_update_get_row_id(
                  db_.get(), "INSERT INTO numbers VALUES (10, 'ten')", &row_id),
              0);
    EXPECT_EQ(row_id, 4);
    row_id = -5;
    EXPECT_EQ(db_interface_execute_update_get_row_id(db_.get(), "INSERT INTO nowhere VALUES (1)",
                                                     &row_id),
              0);
    EXPECT_EQ(row_id, -5) << "untouched on failure";
    ASSERT_NE(db_interface_execute_update_get_row_id(
                  db_.get(), "UPDATE numbers SET name = 'x' WHERE n = 10", &row_id),
              0);
    EXPECT_EQ(row_id, -5) << "no row inserted, no row id";
}

TEST(Database, SetsWalAndSynchronousNormal) {
    const std::string path = make_temp_dir() + "/made.db";
    DbPtr db(db_interface_new(path.c_str()));
    ASSERT_TRUE(db);
    ASSERT_NE(db_interface_execute_query(db.get(), "PRAGMA synchronous"), 0);
    ASSERT_NE(db_interface_step_result(db.get()), 0);
    EXPECT_EQ(db_get_int_column(db.get(), "synchronous", 0), 1) << "NORMAL";
    db_interface_close_result(db.get());
    RawConnection other(path);
    EXPECT_EQ(other.text("PRAGMA journal_mode"), "wal");
}

TEST(FileWatcher, ReportsDeletionAndReplacement) {
    const std::string dir = make_temp_dir();
    const std::string path = dir + "/watched";
    write_file(path, "first");
    WatcherPtr watcher(file_watcher_new(path.c_str()));
    ASSERT_TRUE(watcher);
    EXPECT_EQ(file_watcher_is_file_deleted(watcher.get()), 0);
    write_file(path + ".other", "x");
    FILE *f = fopen(path.c_str(), "a");
    ASSERT_NE(f, nullptr);
    fputs(" appended", f);
    fclose(f);
    EXPECT_EQ(file_watcher_is_file_deleted(watcher.get()), 0) << "a write is no deletion";

    ASSERT_EQ(g_remove(path.c_str()), 0);
    EXPECT_NE(file_watcher_is_file_deleted(watcher.get()), 0);
    write_file(path, "second");
    EXPECT_NE(file_watcher_is_file_deleted(watcher.get()), 0) << "once deleted, stays deleted";

    // Deleted and made anew between two questions, many times over (so that a reused
    // inode number is likely to come up): always reported.
    for (int round = 0; round < 20; ++round) {
        WatcherPtr again(file_watcher_new(path.c_str()));
        ASSERT_EQ(file_watcher_is_file_deleted(again.get()), 0);
        ASSERT_EQ(g_remove(path.c_str()), 0);
        write_file(path, "anew");
        EXPECT_NE(file_watcher_is_file_deleted(again.get()), 0) << round;
    }

    // Replaced by a rename over it.
    WatcherPtr renamed(file_watcher_new(path.c_str()));
    ASSERT_EQ(g_rename((path + ".other").c_str(), path.c_str()), 0);
    EXPECT_NE(file_watcher_is_file_deleted(renamed.get()), 0);

    WatcherPtr missing(file_watcher_new((dir + "/never").c_str()));
    ASSERT_TRUE(missing);
    EXPECT_NE(file_watcher_is_file_deleted(missing.get()), 0);
}

class EnsureDatabaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = make_temp_dir();
        path_ = dir_ + "/store/velmora/" VELMORA_STORE_DATABASE_FILE;
        queries_.reset(query_loader_new(plugin_catalogue().c_str()));
        ASSERT_TRUE(queries_);
    }
    bool has_item_table(DBInterface *db) {
        if (!db_interface_execute_query(db, "SELECT count(*) AS n FROM velmora_items"))
            return false;
        db_interface_close_result(db);
        return true;
    }
    std::string dir_;
    std::string path_;
    LoaderPtr queries_;
    DbPtr db_;
    WatcherPtr watcher_;
};

TEST_F(EnsureDatabaseTest, MakesKeepsAndReopens) {
    ASSERT_TRUE(make_database(path_, db_, watcher_, queries_.get()));
    ASSERT_TRUE(db_ && watcher_);
    EXPECT_TRUE(file_exists(path_));
    EXPECT_TRUE(has_item_table(db_.get()));
    EXPECT_EQ(RawConnection(path_).text("PRAGMA journal_mode"), "wal");

    // Still serving the file: the handles are kept.
    DBInterface *db_before = db_.get();
    FileWatcher *watcher_before = watcher_.get();
    ASSERT_TRUE(make_database(path_, db_, watcher_, queries_.get()));
    EXPECT_EQ(db_.get(), db_before);
    EXPECT_EQ(watcher_.get(), watcher_before);
    const std::string insert =
        format_statement(queries_.get(), "ins_item", {"kept", "l", "1", "s", "p", "o", "a", 0});
    ASSERT_NE(db_interface_execute_update(db_.get(), insert.c_str()), 0);

    // The file deleted: a new file with empty tables, served by new handles.
    ASSERT_EQ(g_remove(path_.c_str()), 0);
    ASSERT_TRUE(make_database(path_, db_, watcher_, queries_.get()));
    EXPECT_TRUE(file_exists(path_));
    EXPECT_EQ(file_watcher_is_file_deleted(watcher_.get()), 0);
    ASSERT_NE(db_interface_execute_query(db_.get(), "SELECT count(*) AS n FROM velmora_items"), 0);
    ASSERT_NE(db_interface_step_result(db_.get()), 0);
    EXPECT_EQ(db_get_int_column(db_.get(), "n", 0), 0);
    db_interface_close_result(db_.get());

    // No connection: opened again on the existing file, whose rows are kept.
    ASSERT_NE(db_interface_execute_update(db_.get(), insert.c_str()), 0);
    db_.reset();
    ASSERT_TRUE(make_database(path_, db_, watcher_, queries_.get()));
    ASSERT_NE(db_interface_execute_query(db_.get(), "SELECT title FROM velmora_items"), 0);
    ASSERT_NE(db_interface_step_result(db_.get()), 0);
    EXPECT_STREQ(db_get_text_column(db_.get(), "title", 0), "kept");
    db_interface_close_result(db_.get());
}

TEST_F(EnsureDatabaseTest, MovesAFileThatIsNotADatabaseAside) {
    ASSERT_EQ(g_mkdir_with_parents((dir_ + "/store/velmora").c_str(), 0700), 0);
    const std::string garbage(3000, '#');
    write_file(path_, garbage);
    ASSERT_TRUE(make_database(path_, db_, watcher_, queries_.get()));
    EXPECT_TRUE(has_item_table(db_.get()));

    std::vector<std::string> aside;
    for (const std::string &name : list_dir(dir_ + "/store/velmora"))
        if (name.rfind(VELMORA_STORE_DATABASE_FILE ".corrupt-", 0) == 0)
            aside.push_back(name);
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(read_file(dir_ + "/store/velmora/" + aside[0]), garbage) << "kept unchanged";

    // A second damaged file is kept beside the first, not over it.
    db_.reset();
    watcher_.reset();
    write_file(path_, "not a database either");
    ASSERT_TRUE(make_database(path_, db_, watcher_, queries_.get()));
    int kept = 0;
    for (const std::string &name : list_dir(dir_ + "/store/velmora"))
        kept += name.rfind(VELMORA_STORE_DATABASE_FILE ".corrupt-", 0) == 0 &&
                name.find("-wal") == std::string::npos;
    EXPECT_EQ(kept, 2);
}

// Every column that "create_tables" defines must be in the file's tables: a store of
// an older layout is kept aside with its rows and a new one made; one that has more
// (a column of a later layout) is kept as it is.
TEST_F(EnsureDatabaseTest, AStoreLackingAColumnIsMovedAsideAndOneWithMoreIsKept) {
    struct Case {
        const char *what, *sql;
        bool moved_aside;
    };
    const std::vector<Case> cases = {
        {"item table without time_saved",
         "CREATE TABLE velmora_items (id INTEGER PRIMARY KEY, title TEXT, item_url TEXT, "
         "rank TEXT, store TEXT, suggested_price TEXT, velmora_price TEXT, authors TEXT, "
         "image_id INTEGER NOT NULL DEFAULT 0); INSERT INTO velmora_items (title) VALUES ('old')",
         true},
        {"picture table without image_path",
         "CREATE TABLE velmora_images (id INTEGER PRIMARY KEY, image_url TEXT); "
         "CREATE TABLE velmora_items (title TEXT); INSERT INTO velmora_items VALUES ('old')",
         true},
        {"an extra column beside every wanted one",
         "CREATE TABLE velmora_items (id INTEGER PRIMARY KEY AUTOINCREMENT, title TEXT, "
         "item_url TEXT, rank TEXT, store TEXT, suggested_price TEXT, velmora_price TEXT, "
         "authors TEXT, image_id INTEGER NOT NULL DEFAULT 0, time_saved TEXT, later TEXT); "
         "INSERT INTO velmora_items (title) VALUES ('old')",
         false},
    };
    const std::string store_dir = dir_ + "/store/velmora";
    ASSERT_EQ(g_mkdir_with_parents(store_dir.c_str(), 0700), 0);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        db_.reset();
        watcher_.reset();
        for (const std::string &name : list_dir(store_dir))
            g_remove((store_dir + "/" + name).c_str());
        ASSERT_EQ(RawConnection(path_).exec(c.sql), SQLITE_OK);

        ASSERT_TRUE(make_database(path_, db_, watcher_, queries_.get()));
        std::vector<std::string> aside;
        for (const std::string &name : list_dir(store_dir))
            if (name.rfind(VELMORA_STORE_DATABASE_FILE ".corrupt-", 0) == 0 &&
                name.find("-wal") == std::string::npos && name.find("-shm") == std::string::npos)
                aside.push_back(name);
        ASSERT_EQ(aside.size(), c.moved_aside ? 1u : 0u);
        RawConnection store(path_);
        EXPECT_EQ(store.text("SELECT count(*) FROM velmora_items"), c.moved_aside ? "0" : "1");
        EXPECT_EQ(store.text("SELECT count(*) FROM pragma_table_info('velmora_items') "
                             "WHERE name = 'time_saved'"),
                  "1");
        EXPECT_EQ(store.text("SELECT count(*) FROM pragma_table_info('velmora_images') "
                             "WHERE name = 'image_path'"),
                  "1");
        if (c.moved_aside) {
            RawConnection kept(store_dir + "/" + aside[0]);
            EXPECT_EQ(kept.text("SELECT title FROM velmora_items"), "old") << "kept with its rows";
        }
        // Checked once: the kept handles are not checked (nor moved) again.
        DBInterface *checked = db_.get();
        ASSERT_TRUE(make_database(path_, db_, watcher_, queries_.get()));
        EXPECT_EQ(db_.get(), checked);
    }
}

TEST_F(EnsureDatabaseTest, FailsWithoutTableStatementsOrDirectory) {
    const std::string catalogue = dir_ + "/empty.dat";
    write_file(catalogue, "other=SELECT 1;\n");
    LoaderPtr empty(query_loader_new(catalogue.c_str()));
    EXPECT_FALSE(make_database(path_, db_, watcher_, empty.get()));
    EXPECT_FALSE(db_ || watcher_) << "no half-made handles";
    EXPECT_FALSE(make_database(path_, db_, watcher_, nullptr));
    ASSERT_TRUE(make_database(path_, db_, watcher_, queries_.get())) << "tried again";
    EXPECT_TRUE(has_item_table(db_.get()));

    // Handles that serve another file are replaced, not kept.
    write_file(dir_ + "/plain", "a file where a directory should be");
    EXPECT_FALSE(
        make_database(dir_ + "/plain/" VELMORA_STORE_DATABASE_FILE, db_, watcher_, queries_.get()));
    const std::string other = dir_ + "/other/" VELMORA_STORE_DATABASE_FILE;
    ASSERT_TRUE(make_database(path_, db_, watcher_, queries_.get()));
    ASSERT_TRUE(make_database(other, db_, watcher_, queries_.get()));
    EXPECT_TRUE(file_exists(other));
}

} // namespace
