/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * query_loader.cpp - catalogues of named entries (SQL statements, addresses, texts).
 *
 * A catalogue is a GLib key file with two conveniences (see README.md):
 *   - entries before the first [section] header are the un-sectioned entries, read
 *     with query_loader_load_query;
 *   - an entry continues on the following lines that start with a space or a tab; each
 *     such line joins the value after a newline, without its leading blanks (an entry
 *     whose first line has no value starts with its second line).
 * Lines starting with '#' are comments (also between the lines of an entry); a blank
 * line ends an entry. Values are literal: a backslash is an ordinary character.
 *
 * The file is read once, rewritten into plain key-file syntax (continuations become
 * "\n" escapes, backslashes are escaped, the un-sectioned entries get a group of their
 * own) and parsed by GKeyFile, which does all the real parsing and validation.
 */
#include "feedserviceutils_internal.h"

#include <string>
#include <string_view>

struct _QueryLoader {
    GKeyFile *entries = nullptr;
};

namespace {

/* The group that holds the un-sectioned entries. Not a name a section would have. */
constexpr const char kUnsectionedGroup[] = "<unsectioned>";

void append_escaped(std::string &out, std::string_view value) {
    for (char c : value) {
        if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
}

bool is_blank(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

/* The catalogue text in plain key-file syntax. */
std::string to_key_file_syntax(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 32);
    out += '[';
    out += kUnsectionedGroup;
    out += "]\n";
    bool in_entry = false;
    bool entry_empty = false; /* the entry's value so far is blank */
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);

        if (is_blank(line)) {
            in_entry = false;
            out += '\n';
        } else if (line.front() == '#') {
            /* A comment; it does not end an entry, and GKeyFile skips it. */
            if (!in_entry)
                out.append(line).append("\n");
        } else if ((line.front() == ' ' || line.front() == '\t') && in_entry) {
            out.pop_back(); /* the entry's line break */
            if (!entry_empty)
                out += "\\n";
            entry_empty = false;
            append_escaped(out, line.substr(line.find_first_not_of(" \t")));
            out += '\n';
        } else {
            line.remove_prefix(line.find_first_not_of(" \t"));
            const size_t equals = line.find('=');
            if (line.front() != '[' && line.front() != '#' && equals != std::string_view::npos) {
                out.append(line.substr(0, equals + 1));
                append_escaped(out, line.substr(equals + 1));
                in_entry = true;
                entry_empty = is_blank(line.substr(equals + 1));
            } else {
                /* A section header, a comment, or a line GKeyFile will reject. */
                out.append(line);
                in_entry = false;
            }
            out += '\n';
        }
    }
    return out;
}

gchar *load_entry(QueryLoader *loader, const gchar *group, const gchar *name) {
    if (loader == nullptr || group == nullptr || name == nullptr)
        return nullptr;
    return g_key_file_get_string(loader->entries, group, name, nullptr);
}

} // namespace

QueryLoader *query_loader_new(const gchar *path) {
    if (path == nullptr)
        return nullptr;
    gchar *contents = nullptr;
    gsize length = 0;
    GError *error = nullptr;
    if (!g_file_get_contents(path, &contents, &length, &error)) {
        g_debug("Cannot read the catalogue: %s", error->message);
        g_error_free(error);
        return nullptr;
    }
    const std::string text = to_key_file_syntax(std::string_view(contents, length));
    g_free(contents);

    GKeyFile *entries = g_key_file_new();
    if (!g_key_file_load_from_data(entries, text.data(), text.size(), G_KEY_FILE_NONE, &error)) {
        g_debug("Cannot parse the catalogue %s: %s", path, error->message);
        g_error_free(error);
        g_key_file_free(entries);
        return nullptr;
    }
    QueryLoader *loader = new _QueryLoader();
    loader->entries = entries;
    return loader;
}

void query_loader_free(QueryLoader *loader) {
    if (loader == nullptr)
        return;
    g_key_file_free(loader->entries);
    delete loader;
}

gchar *query_loader_load_query(QueryLoader *loader, const gchar *name) {
    return load_entry(loader, kUnsectionedGroup, name);
}

gchar *query_loader_load_query_by_section(QueryLoader *loader, const gchar *section,
                                          const gchar *name) {
    return load_entry(loader, section, name);
}
