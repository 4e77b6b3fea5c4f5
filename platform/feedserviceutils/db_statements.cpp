/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * db_statements.cpp - SQL literals and filling statement templates.
 *
 * A template marks each parameter with a question mark "?". Marks inside quoted text
 * ('...', "...", `...`, [...]) and inside comments (-- to the end of the line, and
 * C-style comments) are not placeholders. db_format_query replaces the marks, left to
 * right in one pass, by the symbols in the order they were added; the inserted values
 * are never scanned again, so a value cannot supply placeholders of its own.
 *
 * A feed is untrusted input, so a value must be exactly one SQL literal: what
 * db_make_string_param gives (a quoted text, or NULL) or db_make_string_param_from_int
 * gives (a decimal integer). The formatter checks that every symbol has that shape and
 * refuses the template (NULL) otherwise, and also when the number of marks differs from
 * the number of symbols - a statement is filled completely or not at all.
 */
#include "feedserviceutils_internal.h"

#include <sqlite3.h>

#include <string>
#include <vector>

struct _DBSymTable {
    std::vector<const gchar *> values; /* borrowed from the caller */
};

namespace {

/* True when text is a single SQL literal of the kinds this file makes. */
bool is_single_literal(const gchar *text) {
    if (text == nullptr || g_ascii_strcasecmp(text, "NULL") == 0)
        return true;
    const gchar *p = text;
    if (*p == '\'') {
        /* A quoted text in which every quote inside is doubled. */
        for (++p; *p != '\0'; ++p) {
            if (*p != '\'')
                continue;
            if (p[1] == '\'')
                ++p;
            else
                return p[1] == '\0';
        }
        return false;
    }
    if (*p == '-')
        ++p;
    if (!g_ascii_isdigit(*p))
        return false;
    while (g_ascii_isdigit(*p))
        ++p;
    return *p == '\0';
}

/* Whether SQLite would read the characters a and b, written side by side, as
 * parts of one token (a word or number, a doubled quote) or as the start of a
 * comment, where a blank between them keeps two tokens. */
bool tokens_merge(char a, char b) {
    auto word = [](char c) {
        return g_ascii_isalnum(c) || c == '_' || c == '$' || static_cast<guchar>(c) >= 0x80;
    };
    return (word(a) && word(b)) || (a == '-' && b == '-') || (a == '/' && b == '*') ||
           (a == '\'' && b == '\'') || (g_ascii_isdigit(a) && b == '.') ||
           (a == '.' && g_ascii_isdigit(b));
}

/* Copies the quoted text or comment that starts at text[i] into out and
 * returns the index after it. */
size_t copy_quoted_or_comment(const std::string_view text, size_t i, std::string &out) {
    const char first = text[i];
    size_t end;
    if (first == '-' || first == '/') {
        const bool line = first == '-';
        end = text.find(line ? "\n" : "*/", i + 2);
        end = end == std::string_view::npos ? text.size() : end + (line ? 1 : 2);
    } else {
        const char closing = first == '[' ? ']' : first;
        end = text.find(closing, i + 1);
        end = end == std::string_view::npos ? text.size() : end + 1;
        /* A doubled closing quote continues the quoted text: the next round of the
         * caller's scan starts on it and copies the rest. */
    }
    out.append(text.substr(i, end - i));
    return end;
}

} // namespace

DBSymTable *db_symtable_new(void) {
    return new _DBSymTable();
}

void db_add_symbol(DBSymTable *table, const gchar *value) {
    if (table != nullptr)
        table->values.push_back(value);
}

void db_symtable_free(DBSymTable *table) {
    delete table;
}

gchar *db_make_string_param(const gchar *text) {
    /* %Q quotes the text with every ' doubled, or gives NULL for a null text. SQLite
     * takes nothing else in a quoted text as special, so it reads back byte for byte. */
    char *literal = sqlite3_mprintf("%Q", text);
    gchar *result = g_strdup(literal);
    sqlite3_free(literal);
    return result;
}

gchar *db_make_string_param_from_int(gint32 value) {
    return g_strdup_printf("%d", value);
}

gchar *db_format_query(DBSymTable *table, const gchar *template_text) {
    if (template_text == nullptr)
        return nullptr;
    static const std::vector<const gchar *> no_values;
    const std::vector<const gchar *> &values = table != nullptr ? table->values : no_values;
    for (const gchar *value : values) {
        if (!is_single_literal(value)) {
            g_debug("Refusing a statement parameter that is not one SQL literal [SQL: %s]",
                    template_text);
            return nullptr;
        }
    }

    const std::string_view text(template_text);
    std::string out;
    out.reserve(text.size() + 64);
    size_t used = 0;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (c == '\'' || c == '"' || c == '`' || c == '[' || (c == '-' && next == '-') ||
            (c == '/' && next == '*')) {
            i = copy_quoted_or_comment(text, i, out);
        } else if (c == '?') {
            if (used == values.size()) {
                g_debug("More placeholders than parameters [SQL: %s]", template_text);
                return nullptr;
            }
            const std::string_view value = values[used] != nullptr ? values[used] : "NULL";
            ++used;
            /* A literal written against its neighbours could merge with them: "1-?" with
             * -5 must not become "1--5", a comment to the line's end, nor "?x" with 5 the
             * token "5x". A blank keeps them apart. */
            if (!out.empty() && tokens_merge(out.back(), value.front()))
                out += ' ';
            out += value;
            if (next != '\0' && tokens_merge(value.back(), next))
                out += ' ';
            ++i;
        } else {
            out += c;
            ++i;
        }
    }
    if (used != values.size()) {
        g_debug("%zu placeholders for %zu parameters [SQL: %s]", used, values.size(),
                template_text);
        return nullptr;
    }
    return g_strdup(out.c_str());
}
