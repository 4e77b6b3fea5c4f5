// SPDX-License-Identifier: LGPL-2.1-or-later
// utils_statements_test.cpp - statement literals and templates: hostile texts stored with
// the plug-in's own statements read back byte for byte through the widget's query, and
// templates are filled completely or refused.
#include "utils_test_helpers.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <map>
#include "velmora_contract.h"

using namespace utils_test;

namespace {

class StatementsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = make_temp_dir();
        plugin_queries_.reset(query_loader_new(plugin_catalogue().c_str()));
        widget_queries_.reset(query_loader_new(widget_catalogue().c_str()));
        ASSERT_TRUE(plugin_queries_ && widget_queries_);
        ASSERT_TRUE(make_database(dir_ + "/" VELMORA_STORE_DATABASE_FILE, db_, watcher_,
                                  plugin_queries_.get()));
    }

    // The widget's rows, each as column name -> value (absent for NULL).
    std::vector<std::map<std::string, std::string>> widget_rows() {
        static const char *const columns[] = {"title",   "item_url",        "rank",
                                              "store",   "suggested_price", "velmora_price",
                                              "authors", "image_path",      "time_saved"};
        std::vector<std::map<std::string, std::string>> rows;
        gchar *sql = query_loader_load_query(widget_queries_.get(), "sel_velmora_items");
        EXPECT_NE(db_interface_execute_query(db_.get(), sql), 0);
        g_free(sql);
        while (db_interface_step_result(db_.get())) {
            std::map<std::string, std::string> row;
            for (const char *column : columns)
                if (const gchar *value = db_get_text_column(db_.get(), column, 0))
                    row[column] = value;
            rows.push_back(row);
        }
        return rows;
    }

    std::string dir_;
    LoaderPtr plugin_queries_;
    LoaderPtr widget_queries_;
    DbPtr db_;
    WatcherPtr watcher_;
};

TEST_F(StatementsTest, HostileTextsRoundTripUnchanged) {
    const std::string long_text(100000, 'x');
    const std::vector<std::string> texts = {
        "It's \"quoted\" ''twice''",
        "back\\slash \\' \\\\ end\\",
        "100% %s %d %% %n",
        "line one\nline two\r\nthree\ttab",
        "Ünïcödé — 日本語 🎉 Ελληνικά",
        "'); DROP TABLE velmora_items; --",
        "' OR '1'='1",
        "?",
        "?? ?1 :name @x $y",
        "/* not a comment */ -- nor this",
        "NULL",
        "",
        "   leading and trailing   ",
        long_text,
    };
    for (const std::string &text : texts) {
        EXPECT_NE(
            db_interface_execute_update(
                db_.get(), format_statement(plugin_queries_.get(), "del_item_all", {}).c_str()),
            0);
        const std::string insert = format_statement(plugin_queries_.get(), "ins_item",
                                                    {text, text, text, text, text, text, text, 0});
        ASSERT_FALSE(insert.empty()) << text;
        ASSERT_NE(db_interface_execute_update(db_.get(), insert.c_str()), 0) << text;

        const auto rows = widget_rows();
        ASSERT_EQ(rows.size(), 1u) << text;
        for (const char *column : {"title", "item_url", "rank", "store", "suggested_price",
                                   "velmora_price", "authors"}) {
            ASSERT_EQ(rows[0].count(column), 1u) << column;
            EXPECT_EQ(rows[0].at(column), text) << column;
        }
    }
}

TEST_F(StatementsTest, NullParametersAreStoredAsNull) {
    Owned literal(db_make_string_param(nullptr));
    EXPECT_EQ(literal.value, "NULL");

    const std::string insert = format_statement(
        plugin_queries_.get(), "ins_item",
        {"Title", "http://127.0.0.1/item", "1", "Books", nullptr, nullptr, nullptr, 0});
    ASSERT_NE(db_interface_execute_update(db_.get(), insert.c_str()), 0);
    const auto rows = widget_rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at("title"), "Title");
    EXPECT_EQ(rows[0].count("suggested_price"), 0u);
    EXPECT_EQ(rows[0].count("velmora_price"), 0u);
    EXPECT_EQ(rows[0].count("authors"), 0u);
    EXPECT_EQ(rows[0].count("image_path"), 0u) << "picture id 0 means no picture";
    // Stored by the SQL itself, as ISO 8601 UTC text.
    GDateTime *saved = g_date_time_new_from_iso8601(rows[0].at("time_saved").c_str(), nullptr);
    ASSERT_NE(saved, nullptr) << rows[0].at("time_saved");
    GDateTime *now = g_date_time_new_now_utc();
    EXPECT_LT(std::abs(g_date_time_difference(now, saved)), 120 * G_TIME_SPAN_SECOND);
    g_date_time_unref(now);
    g_date_time_unref(saved);
}

TEST_F(StatementsTest, IntegersRoundTripAsIntegers) {
    for (gint32 value : {INT_MIN, -1, 0, 1, INT_MAX}) {
        Owned literal(db_make_string_param_from_int(value));
        EXPECT_EQ(literal.value, std::to_string(value));
        SymTablePtr table(db_symtable_new());
        db_add_symbol(table.get(), literal.value.c_str());
        Owned sql(db_format_query(table.get(), "SELECT ? AS n"));
        ASSERT_NE(db_interface_execute_query(db_.get(), sql.value.c_str()), 0);
        ASSERT_NE(db_interface_step_result(db_.get()), 0);
        EXPECT_EQ(db_get_int_column(db_.get(), "n", 0), value);
        db_interface_close_result(db_.get());
    }
}

TEST(FormatQuery, FillsPlaceholdersInOrderOutsideQuotesAndComments) {
    Owned first(db_make_string_param("a?b"));
    Owned second(db_make_string_param_from_int(7));
    SymTablePtr table(db_symtable_new());
    db_add_symbol(table.get(), first.value.c_str());
    db_add_symbol(table.get(), second.value.c_str());
    db_add_symbol(table.get(), nullptr);
    Owned sql(
        db_format_query(table.get(), "SELECT '?', \"?\", [?], ? /* ? */, ? -- ?\n, ?, 'it''s ?'"));
    ASSERT_FALSE(sql.null);
    EXPECT_EQ(sql.value, "SELECT '?', \"?\", [?], 'a?b' /* ? */, 7 -- ?\n, NULL, 'it''s ?'");
}

TEST(FormatQuery, RefusesCountMismatchAndForeignSymbols) {
    Owned literal(db_make_string_param("x"));
    SymTablePtr one(db_symtable_new());
    db_add_symbol(one.get(), literal.value.c_str());
    EXPECT_TRUE(Owned(db_format_query(one.get(), "SELECT ?, ?")).null) << "too few symbols";
    EXPECT_TRUE(Owned(db_format_query(one.get(), "SELECT 1")).null) << "too many symbols";
    EXPECT_TRUE(Owned(db_format_query(one.get(), "SELECT '?'")).null) << "quoted mark counted";
    EXPECT_FALSE(Owned(db_format_query(one.get(), "SELECT ?")).null);
    EXPECT_TRUE(Owned(db_format_query(nullptr, "SELECT ?")).null);
    EXPECT_EQ(Owned(db_format_query(nullptr, "SELECT 1")).value, "SELECT 1");
    EXPECT_TRUE(Owned(db_format_query(one.get(), nullptr)).null);

    // A raw text handed in as a symbol is not a literal: the statement is refused.
    for (const char *raw :
         {"x); DROP TABLE velmora_items; --", "'a' || 'b'", "'open", "1 OR 1", "'a''", ""}) {
        SymTablePtr table(db_symtable_new());
        db_add_symbol(table.get(), raw);
        EXPECT_TRUE(Owned(db_format_query(table.get(), "SELECT ?")).null) << raw;
    }
    db_add_symbol(nullptr, "ignored");
    db_symtable_free(nullptr);
}

TEST(FormatQuery, KeepsLiteralsApartFromNeighbouringTokens) {
    // template, symbol, result: a negative number after a minus would start a comment,
    // a number or NULL before a word would merge into one token.
    const struct {
        const char *template_text;
        const char *symbol;
        const char *expected;
    } cases[] = {
        {"UPDATE t SET a = 1-? WHERE id = 2", "-5", "UPDATE t SET a = 1- -5 WHERE id = 2"},
        {"SELECT ?x", "7", "SELECT 7 x"},
        {"SELECT ?x", nullptr, "SELECT NULL x"},
        {"SELECT ?.5", "1", "SELECT 1 .5"},
        {"SELECT 1-?, ?", "'-'", "SELECT 1-'-', NULL"},
    };
    for (const auto &c : cases) {
        SymTablePtr table(db_symtable_new());
        db_add_symbol(table.get(), c.symbol);
        if (std::string(c.template_text).find(", ?") != std::string::npos)
            db_add_symbol(table.get(), nullptr);
        EXPECT_EQ(Owned(db_format_query(table.get(), c.template_text)).value, c.expected)
            << c.template_text;
    }
}

} // namespace
