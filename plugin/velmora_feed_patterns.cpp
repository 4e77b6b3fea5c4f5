/*
 * velmora_feed_patterns.cpp - the regular expressions of the feed parser and
 * the linear scans that keep them from backtracking on hostile text.
 */
#include "velmora_feed_patterns.h"

#include <string_view>

namespace {

constexpr std::string_view kLinkPage = "/gp/aw/d.html";

/* Length of the line end at text[i], or 0. The expressions' "." stops at every
 * line end GLib's regular expressions know by default: LF, CR, VT, FF, NEL,
 * LINE SEPARATOR and PARAGRAPH SEPARATOR. */
gsize line_end_length(std::string_view text, gsize i) {
    auto byte = [&](gsize at) { return at < text.size() ? static_cast<guchar>(text[at]) : 0; };
    switch (byte(i)) {
    case '\n':
    case '\r':
    case '\v':
    case '\f':
        return 1;
    case 0xC2:
        return byte(i + 1) == 0x85 ? 2 : 0;
    case 0xE2:
        return byte(i + 1) == 0x80 && (byte(i + 2) == 0xA8 || byte(i + 2) == 0xA9) ? 3 : 0;
    default:
        return 0;
    }
}

/* Calls visit(line, line end) for each line of text, in order, until it
 * returns false. */
template <typename Visit> void for_each_line(std::string_view text, Visit visit) {
    gsize begin = 0;
    gsize i = 0;
    while (true) {
        gsize end_length = 0;
        while (i < text.size() && (end_length = line_end_length(text, i)) == 0)
            i++;
        if (!visit(text.substr(begin, i - begin), text.substr(i, end_length)))
            return;
        if (i >= text.size())
            return;
        i += end_length;
        begin = i;
    }
}

/* Could this byte belong to a decimal digit? ASCII digits and the lead bytes of
 * the other scripts' digits (all outside ASCII). */
bool may_start_digit(guchar byte) {
    return g_ascii_isdigit(byte) || byte >= 0x80;
}

GRegex *compile(const gchar *pattern) {
    return g_regex_new(pattern, static_cast<GRegexCompileFlags>(0),
                       static_cast<GRegexMatchFlags>(0), nullptr);
}

} // namespace

VelmoraFeedPatterns *velmora_feed_patterns_new() {
    auto *patterns = g_new0(VelmoraFeedPatterns, 1);
    patterns->picture_address = compile("src=\"(.*?)\"");
    patterns->picture_size = compile("_SL75_");
    patterns->price = compile("\\d+[\\.,]\\d+");
    patterns->link_rewrite = compile("(/gp/aw/d\\.html.*?)a=(.*?)&.*");
    patterns->author = compile(">(.+)</a>");
    return patterns;
}

void velmora_feed_patterns_free(VelmoraFeedPatterns *patterns) {
    if (!patterns)
        return;
    for (GRegex *regex : {patterns->picture_address, patterns->picture_size, patterns->price,
                          patterns->link_rewrite, patterns->author}) {
        if (regex)
            g_regex_unref(regex);
    }
    g_free(patterns);
}

gchar *velmora_pattern_picture_address(const VelmoraFeedPatterns *patterns, const gchar *text) {
    GMatchInfo *match = nullptr;
    gchar *address = nullptr;
    if (g_regex_match(patterns->picture_address, text, static_cast<GRegexMatchFlags>(0), &match))
        address = g_match_info_fetch(match, 1);
    g_match_info_free(match);
    return address;
}

gchar *velmora_pattern_scale_picture(const VelmoraFeedPatterns *patterns, const gchar *address) {
    gchar *scaled = g_regex_replace_literal(patterns->picture_size, address, -1, 0, "_SL100_",
                                            static_cast<GRegexMatchFlags>(0), nullptr);
    return scaled ? scaled : g_strdup(address);
}

gboolean velmora_pattern_is_price(const VelmoraFeedPatterns *patterns, const gchar *text,
                                  gsize length) {
    /* A match needs a digit right before and right after a point or comma, so
     * testing the three characters around each of them decides it. */
    for (gsize i = 1; i + 1 < length; i++) {
        if (text[i] != '.' && text[i] != ',')
            continue;
        if (!may_start_digit(text[i + 1]) || !may_start_digit(text[i - 1]))
            continue;
        const gchar *before = g_utf8_find_prev_char(text, text + i);
        const gchar *after_end = g_utf8_find_next_char(text + i + 1, text + length);
        if (!before)
            continue;
        gssize window = (after_end ? after_end : text + length) - before;
        if (g_regex_match_full(patterns->price, before, window, 0, static_cast<GRegexMatchFlags>(0),
                               nullptr, nullptr))
            return TRUE;
    }
    return FALSE;
}

gchar *velmora_pattern_rewrite_link(const VelmoraFeedPatterns *patterns, const gchar *link) {
    /* Per line: a match starts at the first "/gp/aw/d.html", needs an "a=" after
     * it and an '&' after that; any later start on the line would fail too. */
    std::string_view text(link);
    GString *rewritten = g_string_sized_new(text.size());
    for_each_line(text, [&](std::string_view line, std::string_view line_end) {
        gsize page = line.find(kLinkPage);
        gsize value = page == line.npos ? page : line.find("a=", page + kLinkPage.size());
        gchar *replaced = nullptr;
        if (value != line.npos && line.find('&', value + 2) != line.npos)
            replaced = g_regex_replace(patterns->link_rewrite, line.data(), line.size(), 0,
                                       "/dp/\\2", static_cast<GRegexMatchFlags>(0), nullptr);
        if (replaced)
            g_string_append(rewritten, replaced);
        else
            g_string_append_len(rewritten, line.data(), line.size());
        g_free(replaced);
        g_string_append_len(rewritten, line_end.data(), line_end.size());
        return true;
    });
    return g_string_free(rewritten, FALSE);
}

gchar *velmora_pattern_author(const VelmoraFeedPatterns *patterns, const gchar *text) {
    /* The first line whose first '>' has a "</a>" at least one character after
     * it holds the first match; earlier lines cannot match. */
    gchar *name = nullptr;
    for_each_line(text, [&](std::string_view line, std::string_view) {
        gsize open = line.find('>');
        gsize close = line.rfind("</a>");
        if (open == line.npos || close == line.npos || close < open + 2)
            return true;
        GMatchInfo *match = nullptr;
        if (g_regex_match_full(patterns->author, line.data(), line.size(), 0,
                               static_cast<GRegexMatchFlags>(0), &match, nullptr))
            name = g_match_info_fetch(match, 1);
        g_match_info_free(match);
        return false;
    });
    return name;
}
