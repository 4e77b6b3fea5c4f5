// SPDX-License-Identifier: LGPL-2.1-or-later
// utils_db_reader.cpp - the reading side of the two-process database test, run as its
// own program like the widget: reads the item count and the widget's item query in a
// loop until the expected number of items is seen (or 30 s pass), and writes what it
// saw to a report file.
//
//   utils_db_reader DATABASE WIDGET_CATALOGUE READY_FILE REPORT_FILE EXPECTED_ITEMS
//
// The report counts reads, failed reads, times a count went down, rows that were not
// whole (an item's authors must match its title, as the writer stores them), and the
// distinct counts seen. READY_FILE is made after the first read.
#include "feedserviceutils.h"

#include <glib.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

int main(int argc, char **argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s DATABASE CATALOGUE READY REPORT EXPECTED\n", argv[0]);
        return 2;
    }
    const char *database_path = argv[1];
    const int expected = std::atoi(argv[5]);
    QueryLoader *queries = query_loader_new(argv[2]);
    gchar *select_items = query_loader_load_query(queries, "sel_velmora_items");
    DBInterface *db = db_interface_new(database_path);
    if (select_items == nullptr || db == nullptr)
        return 3;

    int reads = 0, errors = 0, decreases = 0, torn = 0, last_count = -1, last_rows = -1;
    std::set<int> distinct;
    const gint64 deadline = g_get_monotonic_time() + 30 * G_USEC_PER_SEC;
    while (last_count < expected && g_get_monotonic_time() < deadline) {
        ++reads;
        if (!db_interface_execute_query(db, "SELECT count(*) AS n FROM velmora_items") ||
            !db_interface_step_result(db)) {
            ++errors;
        } else {
            const int count = db_get_int_column(db, "n", 0);
            db_interface_close_result(db);
            decreases += count < last_count;
            last_count = count;
            distinct.insert(count);
        }

        if (!db_interface_execute_query(db, select_items)) {
            ++errors;
        } else {
            int rows = 0;
            while (db_interface_step_result(db)) {
                ++rows;
                const gchar *title = db_get_text_column(db, "title", 0);
                const gchar *authors = db_get_text_column(db, "authors", 0);
                if (title == nullptr || authors == nullptr ||
                    std::string(authors) != std::string("author of ") + title ||
                    db_get_text_column(db, "time_saved", 0) == nullptr)
                    ++torn;
            }
            decreases += rows < last_rows;
            last_rows = rows;
        }
        if (reads == 1)
            g_file_set_contents(argv[3], "ready", -1, nullptr);
    }

    gchar *report = g_strdup_printf("reads=%d errors=%d decreases=%d torn=%d distinct=%zu "
                                    "final=%d\n",
                                    reads, errors, decreases, torn, distinct.size(), last_count);
    g_file_set_contents(argv[4], report, -1, nullptr);
    g_free(report);
    g_free(select_items);
    db_interface_free(db);
    query_loader_free(queries);
    return 0;
}
