/*
 * velmora_feed_patterns.cpp - the regular expressions of the feed parser and
 * the linear scans that keep them from backtracking on hostile text.
 *
 * Each scan finds where the expression's first match lies (or that there is
 * none) and hands the expression only that stretch of text, so the expression
 * still makes the result but never searches through text that cannot match.
 * The result is the same as matching over the whole text from its start.
 */
#include "velmora_feed_patterns.h"

#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view kLinkPage = "/gp/aw/d.html";
constexpr std::string_view kPictureAttribute = "src=\"";
constexpr std::string_view kAnchorEnd = "</a>";
constexpr auto kNoFlags = static_cast<GRegexMatchFlags>(0);

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

/* Position of the first line end in text[from, text.size()) (text.size() when
 * none), and its length in *end_length. */
gsize find_line_end(std::string_view text, gsize from, gsize *end_length) {
    for (gsize i = from; i < text.size(); i++) {
        switch (static_cast<guchar>(text[i])) {
        case '\n':
        case '\r':
        case '\v':
        case '\f':
        case 0xC2:
        case 0xE2:
            if ((*end_length = line_end_length(text, i)) != 0)
                return i;
            break;
        default:
            break;
        }
    }
    *end_length = 0;
    return text.size();
}

/* Calls visit(line, line end) for each line of text, in order, until it
 * returns false. */
template <typename Visit> void for_each_line(std::string_view text, Visit visit) {
    gsize begin = 0;
    while (true) {
        gsize end_length = 0;
        gsize end = find_line_end(text, begin, &end_length);
        if (!visit(text.substr(begin, end - begin), text.substr(end, end_length)))
            return;
        if (end >= text.size())
            return;
        begin = end + end_length;
    }
}

/* Could this byte belong to a decimal digit? ASCII digits and the lead bytes of
 * the other scripts' digits (all outside ASCII). */
bool may_start_digit(guchar byte) {
    return g_ascii_isdigit(byte) || byte >= 0x80;
}

/* Group n of the expression's first match in text, or null. */
gchar *nth_group(GRegex *regex, std::string_view text, gint n) {
    GMatchInfo *match = nullptr;
    gchar *group = nullptr;
    if (g_regex_match_full(regex, text.data(), text.size(), 0, kNoFlags, &match, nullptr))
        group = g_match_info_fetch(match, n);
    g_match_info_free(match);
    return group;
}

GRegex *compile(const gchar *pattern) {
    return g_regex_new(pattern, static_cast<GRegexCompileFlags>(0), kNoFlags, nullptr);
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
    /* The match starts at the first src=" whose value closes on its line. */
    std::string_view all(text);
    for (gsize start = all.find(kPictureAttribute); start != all.npos;
         start = all.find(kPictureAttribute, start + 1)) {
        gsize value = start + kPictureAttribute.size();
        gsize close = all.find('"', value);
        if (close == all.npos)
            return nullptr;
        gsize end_length;
        if (find_line_end(all.substr(0, close), value, &end_length) == close)
            return nth_group(patterns->picture_address, all.substr(start, close + 1 - start), 1);
    }
    return nullptr;
}

gchar *velmora_pattern_scale_picture(const VelmoraFeedPatterns *patterns, const gchar *address) {
    if (!std::strstr(address, "_SL75_"))
        return g_strdup(address);
    gchar *scaled = g_regex_replace_literal(patterns->picture_size, address, -1, 0, "_SL100_",
                                            kNoFlags, nullptr);
    return scaled ? scaled : g_strdup(address);
}

gboolean velmora_pattern_is_price(const VelmoraFeedPatterns *patterns, const gchar *text,
                                  gsize length) {
    /* A match needs a digit right before and right after a point or comma, so
     * testing the characters around each of them decides it. ASCII digits are
     * digits to the expression too; only other scripts' digits are left to it. */
    for (gsize i = 1; i + 1 < length; i++) {
        if (text[i] != '.' && text[i] != ',')
            continue;
        if (!may_start_digit(text[i + 1]) || !may_start_digit(text[i - 1]))
            continue;
        if (g_ascii_isdigit(text[i - 1]) && g_ascii_isdigit(text[i + 1]))
            return TRUE;
        const gchar *before = g_utf8_find_prev_char(text, text + i);
        const gchar *after_end = g_utf8_find_next_char(text + i + 1, text + length);
        if (!before)
            continue;
        gssize window = (after_end ? after_end : text + length) - before;
        if (g_regex_match_full(patterns->price, before, window, 0, kNoFlags, nullptr, nullptr))
            return TRUE;
    }
    return FALSE;
}

gchar *velmora_pattern_rewrite_link(const VelmoraFeedPatterns *patterns, const gchar *link) {
    /* Per line: a match starts at the first "/gp/aw/d.html", takes the first
     * "a=" after it and the first '&' after that, and runs to the line's end;
     * any later start on the line would fail too. */
    std::string_view text(link);
    GString *rewritten = g_string_sized_new(text.size() + 1);
    for_each_line(text, [&](std::string_view line, std::string_view line_end) {
        gsize page = line.find(kLinkPage);
        gsize value = page == line.npos ? page : line.find("a=", page + kLinkPage.size());
        gsize ampersand = value == line.npos ? value : line.find('&', value + 2);
        /* The match runs to the line's end, so it is the line's only one: its
         * replacement, "/dp/" and group 2, takes the place of all that follows. */
        gchar *value_text = nullptr;
        if (ampersand != line.npos)
            value_text =
                nth_group(patterns->link_rewrite, line.substr(page, ampersand + 1 - page), 2);
        if (value_text) {
            g_string_append_len(rewritten, line.data(), page);
            g_string_append(rewritten, "/dp/");
            g_string_append(rewritten, value_text);
            g_free(value_text);
        } else {
            g_string_append_len(rewritten, line.data(), line.size());
        }
        g_string_append_len(rewritten, line_end.data(), line_end.size());
        return true;
    });
    return g_string_free(rewritten, FALSE);
}

gchar *velmora_pattern_author(const VelmoraFeedPatterns *patterns, const gchar *text) {
    /* The first line whose first '>' has a "</a>" at least one character after
     * it holds the match: from that '>' to the line's last "</a>". */
    gchar *name = nullptr;
    for_each_line(text, [&](std::string_view line, std::string_view) {
        gsize open = line.find('>');
        gsize close = line.rfind(kAnchorEnd);
        if (open == line.npos || close == line.npos || close < open + 2)
            return true;
        name = nth_group(patterns->author, line.substr(open, close + kAnchorEnd.size() - open), 1);
        return false;
    });
    return name;
}
