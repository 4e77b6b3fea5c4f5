// SPDX-License-Identifier: LGPL-2.1-or-later
// utils_catalogue_test.cpp - the catalogue format (sections, multi-line entries,
// comments, literal values, missing things) and the installed query catalogues: every
// statement the plug-in and the widget use is there and runs against the tables.
#include "utils_test_helpers.h"

#include <gtest/gtest.h>
#include "velmora_contract.h"

using namespace utils_test;

namespace {

std::string load(QueryLoader *loader, const char *name) {
    Owned value(query_loader_load_query(loader, name));
    return value.null ? "<null>" : value.value;
}

std::string load(QueryLoader *loader, const char *section, const char *name) {
    Owned value(query_loader_load_query_by_section(loader, section, name));
    return value.null ? "<null>" : value.value;
}

LoaderPtr loader_of(const std::string &text) {
    const std::string path = make_temp_dir() + "/catalogue.dat";
    write_file(path, text);
    return LoaderPtr(query_loader_new(path.c_str()));
}

TEST(Catalogue, ReadsEntriesSectionsAndMultiLineValues) {
    LoaderPtr loader = loader_of("# leading comment\n"
                                 "single=SELECT 1;\n"
                                 "multi=SELECT a,\n"
                                 "    b\n"
                                 "# a comment inside the entry\n"
                                 "\tFROM t WHERE c = '\\n' AND d LIKE 'x\\%';\n"
                                 "\n"
                                 "  spaced  =  value with = sign  \n"
                                 "later_start=\n"
                                 "  SELECT 2\n"
                                 "  FROM t;\n"
                                 "crlf=one\r\n"
                                 "  two\r\n"
                                 "[www.example.com]\n"
                                 "homepage=http://www.example.com/\n"
                                 "single=in a section\n"
                                 "[www.example.org]\n"
                                 "homepage=http://www.example.org/\n"
                                 "[www.example.com]\n"
                                 "later=same section again\n");
    ASSERT_TRUE(loader);
    EXPECT_EQ(load(loader.get(), "single"), "SELECT 1;");
    EXPECT_EQ(load(loader.get(), "multi"),
              "SELECT a,\nb\nFROM t WHERE c = '\\n' AND d LIKE 'x\\%';");
    EXPECT_EQ(load(loader.get(), "spaced"), "value with = sign  ");
    EXPECT_EQ(load(loader.get(), "later_start"), "SELECT 2\nFROM t;");
    EXPECT_EQ(load(loader.get(), "crlf"), "one\ntwo");
    EXPECT_EQ(load(loader.get(), "www.example.com", "homepage"), "http://www.example.com/");
    EXPECT_EQ(load(loader.get(), "www.example.com", "single"), "in a section");
    EXPECT_EQ(load(loader.get(), "www.example.com", "later"), "same section again");
    EXPECT_EQ(load(loader.get(), "www.example.org", "homepage"), "http://www.example.org/");
    // Sectioned entries are not un-sectioned ones, and the other way round.
    EXPECT_EQ(load(loader.get(), "homepage"), "<null>");
    EXPECT_EQ(load(loader.get(), "www.example.org", "single"), "<null>");
}

TEST(Catalogue, MissingThingsGiveNull) {
    EXPECT_EQ(query_loader_new((make_temp_dir() + "/absent.dat").c_str()), nullptr);
    EXPECT_EQ(query_loader_new(nullptr), nullptr);
    EXPECT_FALSE(loader_of("this line is neither an entry nor a header\n"));
    EXPECT_FALSE(loader_of("[unterminated\nname=value\n"));

    LoaderPtr loader = loader_of("name=value\n[section]\nother=x\n");
    ASSERT_TRUE(loader);
    EXPECT_EQ(load(loader.get(), "absent"), "<null>");
    EXPECT_EQ(load(loader.get(), "no-such-section", "other"), "<null>");
    EXPECT_EQ(load(loader.get(), "section", "absent"), "<null>");
    EXPECT_EQ(load(loader.get(), nullptr, "other"), "<null>");
    EXPECT_EQ(load(loader.get(), nullptr), "<null>");
    EXPECT_EQ(query_loader_load_query(nullptr, "name"), nullptr);
    EXPECT_EQ(query_loader_load_query_by_section(nullptr, "section", "other"), nullptr);
    query_loader_free(nullptr);

    LoaderPtr empty = loader_of("");
    ASSERT_TRUE(empty);
    EXPECT_EQ(load(empty.get(), "name"), "<null>");
}

// Every statement of the installed catalogues, with its documented parameters, runs
// against the tables that "create_tables" makes and yields the documented columns.
TEST(Catalogue, InstalledStatementsRunAgainstTheirTables) {
    LoaderPtr plugin(query_loader_new(plugin_catalogue().c_str()));
    LoaderPtr widget(query_loader_new(widget_catalogue().c_str()));
    ASSERT_TRUE(plugin && widget);
    DbPtr db;
    WatcherPtr watcher;
    ASSERT_TRUE(make_database(make_temp_dir() + "/" VELMORA_STORE_DATABASE_FILE, db, watcher,
                              plugin.get()));

    auto update = [&](const char *name, const std::vector<Param> &params) {
        const std::string sql = format_statement(plugin.get(), name, params);
        EXPECT_FALSE(sql.empty()) << name;
        return db_interface_execute_update(db.get(), sql.c_str()) != 0;
    };
    auto query = [&](QueryLoader *catalogue, const char *name, const std::vector<Param> &params) {
        const std::string sql = format_statement(catalogue, name, params);
        EXPECT_FALSE(sql.empty()) << name;
        return db_interface_execute_query(db.get(), sql.c_str()) != 0;
    };

    gint64 picture = 0;
    const std::string insert_picture =
        format_statement(plugin.get(), "ins_velmora_image", {"http://127.0.0.1/a.png"});
    ASSERT_NE(db_interface_execute_update_get_row_id(db.get(), insert_picture.c_str(), &picture),
              0);
    EXPECT_GE(picture, 1);
    ASSERT_TRUE(query(plugin.get(), "find_image", {"http://127.0.0.1/a.png"}));
    ASSERT_NE(db_interface_step_result(db.get()), 0);
    EXPECT_EQ(db_get_int_column(db.get(), "id", 0), picture);
    db_interface_close_result(db.get());
    ASSERT_TRUE(query(plugin.get(), "find_image", {"http://127.0.0.1/other.png"}));
    EXPECT_EQ(db_interface_step_result(db.get()), 0);

    ASSERT_TRUE(update("ins_item",
                       {"t1", "l1", "1", "s1", "p1", "o1", "a1", static_cast<gint32>(picture)}));
    ASSERT_TRUE(update("ins_item", {"t2", "l2", "2", "s2", "p2", "o2", "a2", 0}));
    ASSERT_TRUE(update("update_image_paths", {"/cache/1.img", static_cast<gint32>(picture)}));
    ASSERT_TRUE(query(plugin.get(), "sel_image_path", {static_cast<gint32>(picture)}));
    ASSERT_NE(db_interface_step_result(db.get()), 0);
    EXPECT_STREQ(db_get_text_column(db.get(), "image_path", 0), "/cache/1.img");
    db_interface_close_result(db.get());

    ASSERT_TRUE(query(plugin.get(), "select_all_tmp_query", {}));
    ASSERT_NE(db_interface_step_result(db.get()), 0);
    EXPECT_GE(db_get_int_column(db.get(), "id", 0), 1);
    EXPECT_EQ(db_get_int_column(db.get(), "image_id", 0), picture);
    EXPECT_STREQ(db_get_text_column(db.get(), "image_url", 0), "http://127.0.0.1/a.png");
    EXPECT_STREQ(db_get_text_column(db.get(), "image_path", 0), "/cache/1.img");
    ASSERT_NE(db_interface_step_result(db.get()), 0);
    EXPECT_EQ(db_get_int_column(db.get(), "image_id", 0), 0);
    EXPECT_EQ(db_get_text_column(db.get(), "image_url", 0), nullptr);
    EXPECT_EQ(db_get_text_column(db.get(), "image_path", 0), nullptr);
    EXPECT_EQ(db_interface_step_result(db.get()), 0);

    // The widget's query: items in the order stored, the picture's path joined in.
    ASSERT_TRUE(query(widget.get(), "sel_velmora_items", {}));
    ASSERT_NE(db_interface_step_result(db.get()), 0);
    EXPECT_STREQ(db_get_text_column(db.get(), "title", 0), "t1");
    EXPECT_STREQ(db_get_text_column(db.get(), "item_url", 0), "l1");
    EXPECT_STREQ(db_get_text_column(db.get(), "rank", 0), "1");
    EXPECT_STREQ(db_get_text_column(db.get(), "store", 0), "s1");
    EXPECT_STREQ(db_get_text_column(db.get(), "suggested_price", 0), "p1");
    EXPECT_STREQ(db_get_text_column(db.get(), "velmora_price", 0), "o1");
    EXPECT_STREQ(db_get_text_column(db.get(), "authors", 0), "a1");
    EXPECT_STREQ(db_get_text_column(db.get(), "image_path", 0), "/cache/1.img");
    EXPECT_NE(db_get_text_column(db.get(), "time_saved", 0), nullptr);
    ASSERT_NE(db_interface_step_result(db.get()), 0);
    EXPECT_STREQ(db_get_text_column(db.get(), "title", 0), "t2");
    EXPECT_EQ(db_get_text_column(db.get(), "image_path", 0), nullptr);
    EXPECT_EQ(db_interface_step_result(db.get()), 0);

    ASSERT_NE(delete_image_data_from_database(db.get(), plugin.get()), 0);
    ASSERT_TRUE(query(plugin.get(), "find_image", {"http://127.0.0.1/a.png"}));
    EXPECT_EQ(db_interface_step_result(db.get()), 0) << "picture rows deleted";
    ASSERT_TRUE(update("del_item_all", {}));
    ASSERT_TRUE(query(widget.get(), "sel_velmora_items", {}));
    EXPECT_EQ(db_interface_step_result(db.get()), 0) << "item rows deleted";
    EXPECT_EQ(delete_image_data_from_database(db.get(), nullptr), 0);
}

} // namespace
