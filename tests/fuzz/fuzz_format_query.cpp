/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * fuzz_format_query.cpp - the statement formatter with fuzzed templates and
 * parameters. Input: the template, then the parameters, separated by NUL bytes;
 * a parameter's first byte says how it is made (quoted text, integer, SQL NULL,
 * or the raw bytes as a would-be literal).
 *
 * For a template that SQLite reads as one statement whose parameters are all
 * anonymous "?", the formatter must fill exactly SQLite's parameters: its
 * result must compile to the same program as SQLite's own expansion of the
 * template with each parameter replaced by the symbol's text set apart by
 * blanks (so a symbol that merges with a neighbouring token, such as "-5"
 * after a minus making a comment, shows). Any result must be one statement
 * with no parameters left, and a raw symbol the formatter takes must be one
 * literal; a template filled with well-made literals is never refused.
 */
#include "feedserviceutils.h"
#include "fuzz_support.h"

#include <sqlite3.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

sqlite3 *database;

struct Symbol {
    gchar *text; /* the literal handed to the formatter (NULL: SQL NULL) */
    bool raw;
};

/* Whether sql holds nothing but blanks and comments. */
bool only_comments(const char *sql) {
    sqlite3_stmt *statement = nullptr;
    const char *tail = nullptr;
    const int rc = sqlite3_prepare_v2(database, sql, -1, &statement, &tail);
    const bool empty = rc == SQLITE_OK && statement == nullptr;
    sqlite3_finalize(statement);
    return empty;
}

/* The one statement of sql, its tail in *tail; null when sql is not one statement. */
sqlite3_stmt *one_statement(const char *sql, const char **tail) {
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(database, sql, -1, &statement, tail) != SQLITE_OK || !statement ||
        !only_comments(*tail)) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    return statement;
}

/* A raw symbol the formatter took must be one literal: text that reads back the
 * same, an integer, or NULL. */
void check_raw_literal(const gchar *text) {
    g_autofree gchar *select = g_strconcat("SELECT ", text, nullptr);
    const char *tail = nullptr;
    sqlite3_stmt *statement = one_statement(select, &tail);
    FUZZ_CHECK(statement && sqlite3_column_count(statement) == 1, "symbol [%s]", text);
    FUZZ_CHECK(sqlite3_step(statement) == SQLITE_ROW, "symbol [%s]", text);
    switch (sqlite3_column_type(statement, 0)) {
    case SQLITE_TEXT: {
        g_autofree gchar *again =
            db_make_string_param(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
        FUZZ_CHECK(std::strcmp(again, text) == 0, "symbol [%s] is not one literal", text);
        break;
    }
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: /* an integer literal too long for 64 bits */
        for (const gchar *p = text[0] == '-' ? text + 1 : text; *p; p++)
            FUZZ_CHECK(g_ascii_isdigit(*p), "symbol [%s] is not one literal", text);
        break;
    case SQLITE_NULL:
        FUZZ_CHECK(g_ascii_strcasecmp(text, "NULL") == 0, "symbol [%s]", text);
        break;
    default:
        FUZZ_CHECK(false, "symbol [%s] is a blob", text);
    }
    sqlite3_finalize(statement);
}

/* SQLite's reading of the template with symbol i's text at parameter i, as the
 * formatter should write it (*expected) and with a blank on either side of each
 * symbol (*spaced), which reads the same unless a symbol merges with its
 * neighbours into other tokens. False when the template is not one statement
 * with anonymous parameters, one per symbol. */
bool expected_statement(const gchar *template_text, const std::vector<Symbol> &symbols,
                        std::string *expected, std::string *spaced) {
    if (std::strchr(template_text, '\x01'))
        return false;
    for (const Symbol &symbol : symbols) {
        if (symbol.text && std::strchr(symbol.text, '\x01'))
            return false;
    }
    const char *tail = nullptr;
    sqlite3_stmt *statement = one_statement(template_text, &tail);
    if (!statement)
        return false;
    const int count = sqlite3_bind_parameter_count(statement);
    bool anonymous = count == static_cast<int>(symbols.size());
    for (int i = 1; anonymous && i <= count; i++)
        anonymous = sqlite3_bind_parameter_name(statement, i) == nullptr;
    if (anonymous) {
        /* Bind markers, let SQLite expand them, then put each symbol in its marker's place. */
        for (int i = 1; i <= count; i++) {
            g_autofree gchar *marker = g_strdup_printf("\x01%d\x01", i);
            sqlite3_bind_text(statement, i, marker, -1, SQLITE_TRANSIENT);
        }
        char *expanded = sqlite3_expanded_sql(statement);
        FUZZ_CHECK(expanded != nullptr);
        *expected = *spaced = std::string(expanded) + tail;
        sqlite3_free(expanded);
        for (int i = 1; i <= count; i++) {
            g_autofree gchar *marker = g_strdup_printf("'\x01%d\x01'", i);
            const gchar *text = symbols[i - 1].text ? symbols[i - 1].text : "NULL";
            for (std::string *out : {expected, spaced}) {
                const size_t at = out->find(marker);
                FUZZ_CHECK(at != std::string::npos);
                out->replace(at, std::strlen(marker),
                             out == spaced ? std::string(" ") + text + " " : std::string(text));
            }
        }
    }
    sqlite3_finalize(statement);
    return anonymous;
}

/* SQLite's program for sql (EXPLAIN), or empty when it does not prepare. */
std::string program(const std::string &sql) {
    sqlite3_stmt *statement = nullptr;
    std::string listing;
    if (sqlite3_prepare_v2(database, ("EXPLAIN " + sql).c_str(), -1, &statement, nullptr) ==
            SQLITE_OK &&
        statement) {
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int column = 1; column < sqlite3_column_count(statement); column++) {
                const unsigned char *text = sqlite3_column_text(statement, column);
                listing += text ? reinterpret_cast<const char *>(text) : "-";
                listing += '|';
            }
            listing += '\n';
        }
    }
    sqlite3_finalize(statement);
    return listing;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::quiet_logs();
    FUZZ_CHECK(sqlite3_open(":memory:", &database) == SQLITE_OK);
    /* The item database's tables, so that the real statements prepare. */
    QueryLoader *queries = query_loader_new(VELMORA_SOURCE_DIR "/data/velmora_queries.dat");
    g_autofree gchar *create = query_loader_load_query(queries, "create_tables");
    FUZZ_CHECK(create && sqlite3_exec(database, create, nullptr, nullptr, nullptr) == SQLITE_OK);
    sqlite3_exec(database, "CREATE TABLE t (a, b, c)", nullptr, nullptr, nullptr);
    query_loader_free(queries);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
        const size_t end = input.find('\0', start);
        parts.push_back(input.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos || parts.size() > 16)
            break;
        start = end + 1;
    }
    std::vector<Symbol> symbols;
    bool any_raw = false;
    DBSymTable *table = db_symtable_new();
    for (size_t i = 1; i < parts.size(); i++) {
        const std::string &part = parts[i];
        const char kind = part.empty() ? 0 : part[0] % 4;
        const char *rest = part.empty() ? "" : part.c_str() + 1;
        Symbol symbol{nullptr, kind == 3};
        if (kind == 0)
            symbol.text = db_make_string_param(rest);
        else if (kind == 1)
            symbol.text = db_make_string_param_from_int(
                static_cast<gint32>(g_ascii_strtoll(rest, nullptr, 10)));
        else if (kind == 3)
            symbol.text = g_strdup(rest);
        any_raw = any_raw || symbol.raw;
        symbols.push_back(symbol);
        db_add_symbol(table, symbol.text);
    }

    gchar *result = db_format_query(table, parts[0].c_str());
    std::string expected, spaced;
    const bool comparable = expected_statement(parts[0].c_str(), symbols, &expected, &spaced);
    if (result) {
        for (const Symbol &symbol : symbols) {
            if (symbol.raw && symbol.text)
                check_raw_literal(symbol.text);
        }
        const char *tail = nullptr;
        sqlite3_stmt *statement = one_statement(result, &tail);
        if (comparable) {
            /* Blanks around the symbols do not change a statement whose tokens stay
             * apart: the result must be the same program as the spaced statement. */
            const std::string listing = program(spaced);
            if (!listing.empty()) {
                FUZZ_CHECK(statement != nullptr, "[%s] is not one statement", result);
                FUZZ_CHECK(program(result) == listing, "[%s] does not read as [%s]", result,
                           spaced.c_str());
                FUZZ_CHECK(sqlite3_bind_parameter_count(statement) == 0, "[%s] keeps parameters",
                           result);
            }
        }
        sqlite3_finalize(statement);
    } else if (comparable && !any_raw) {
        FUZZ_CHECK(false, "template [%s] with %zu well-made literals refused", parts[0].c_str(),
                   symbols.size());
    }
    g_free(result);
    db_symtable_free(table);
    for (Symbol &symbol : symbols)
        g_free(symbol.text);
    return 0;
}
