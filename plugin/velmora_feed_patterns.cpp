/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_feed_patterns.cpp - the regular expressions of the feed parser and
 * the linear scans that settle them.
 *
 * Each scan finds where the expression's first match lies and what its groups
 * hold, or that there is none, in one pass over the text: the result is the
 * same as matching the expression over the whole text from its start, without
 * the cost of a regular-expression call per item and without the backtracking
 * that hostile text provokes. The compiled expressions decide what a scan
 * cannot: digits of other scripts around a price's point or comma, and text
 * that is not valid UTF-8, which GRegex refuses outright (no match, no
 * replacement) before it looks at a single character. The parser only hands
 * over valid UTF-8, as libxml2 delivers it, so that path is for other callers.
 *
 * What the scans rely on: "." matches any character but a line end, so no
 * match spans lines; the literal parts are ASCII, which never occurs inside a
 * multibyte UTF-8 character, so byte searches find exactly the characters.
 */
#include "velmora_feed_patterns.h"

#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view kLinkPage = "/gp/aw/d.html";
constexpr std::string_view kPictureAttribute = "src=\"";
constexpr std::string_view kAnchorEnd = "</a>";
constexpr char kSmallPicture[] = "_SL75_";
constexpr char kLargePicture[] = "_SL100_";
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

/* Whether GRegex refuses text: it matches nothing in text that is not valid
 * UTF-8, and checks that before matching, so handing such text to it whole
 * costs one pass and no backtracking. */
bool regex_refuses(std::string_view text) {
    return !g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
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
    std::string_view all(text);
    if (regex_refuses(all))
        return nth_group(patterns->picture_address, all, 1);
    /* The match starts at the first src=" whose value closes on its line, and group 1
     * is that value: the lazy (.*?) stops at the first double quote. */
    for (gsize start = all.find(kPictureAttribute); start != all.npos;
         start = all.find(kPictureAttribute, start + 1)) {
        gsize value = start + kPictureAttribute.size();
        gsize close = all.find('"', value);
        if (close == all.npos)
            return nullptr; /* no later start has a closing quote either */
        gsize end_length;
        if (find_line_end(all.substr(0, close), value, &end_length) == close)
            return g_strndup(all.data() + value, close - value);
    }
    return nullptr;
}

gchar *velmora_pattern_scale_picture(const VelmoraFeedPatterns *patterns, const gchar *address) {
    const gchar *found = std::strstr(address, kSmallPicture);
    if (!found)
        return g_strdup(address);
    if (regex_refuses(address)) {
        gchar *scaled = g_regex_replace_literal(patterns->picture_size, address, -1, 0,
                                                kLargePicture, kNoFlags, nullptr);
        return scaled ? scaled : g_strdup(address);
    }
    /* A literal ASCII text: replacing its occurrences from left to right, each search
     * going on after the last one replaced, is what the expression does. */
    GString *scaled = g_string_sized_new(std::strlen(address) + 8);
    const gchar *rest = address;
    for (; found; found = std::strstr(rest, kSmallPicture)) {
        g_string_append_len(scaled, rest, found - rest);
        g_string_append(scaled, kLargePicture);
        rest = found + std::strlen(kSmallPicture);
    }
    g_string_append(scaled, rest);
    return g_string_free(scaled, FALSE);
}

gboolean velmora_pattern_is_price(const VelmoraFeedPatterns *patterns, const gchar *text,
                                  gsize length) {
    if (regex_refuses(std::string_view(text, length)))
        return g_regex_match_full(patterns->price, text, length, 0, kNoFlags, nullptr, nullptr);
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
    std::string_view text(link);
    if (regex_refuses(text)) {
        gchar *rewritten =
            g_regex_replace(patterns->link_rewrite, link, -1, 0, "/dp/\\2", kNoFlags, nullptr);
        return rewritten ? rewritten : g_strdup(link);
    }
    /* Per line: a match starts at the first "/gp/aw/d.html", takes the first
     * "a=" after it and the first '&' after that, and runs to the line's end;
     * any later start on the line would fail too. Group 2 is the text between
     * that "a=" and that '&'. */
    GString *rewritten = g_string_sized_new(text.size() + 1);
    for_each_line(text, [&](std::string_view line, std::string_view line_end) {
        gsize page = line.find(kLinkPage);
        gsize value = page == line.npos ? page : line.find("a=", page + kLinkPage.size());
        gsize ampersand = value == line.npos ? value : line.find('&', value + 2);
        if (ampersand != line.npos) {
            /* The match runs to the line's end, so it is the line's only one: its
             * replacement, "/dp/" and group 2, takes the place of all that follows. */
            g_string_append_len(rewritten, line.data(), page);
            g_string_append(rewritten, "/dp/");
            g_string_append_len(rewritten, line.data() + value + 2, ampersand - value - 2);
        } else {
            g_string_append_len(rewritten, line.data(), line.size());
        }
        g_string_append_len(rewritten, line_end.data(), line_end.size());
        return true;
    });
    return g_string_free(rewritten, FALSE);
}

gchar *velmora_pattern_author(const VelmoraFeedPatterns *patterns, const gchar *text) {
    std::string_view all(text);
    if (regex_refuses(all))
        return nth_group(patterns->author, all, 1);
    /* The first line whose first '>' has a "</a>" at least one character after
     * it holds the match, and the greedy (.+) makes group 1 run from that '>' to
     * the line's last "</a>". */
    gchar *name = nullptr;
    for_each_line(all, [&](std::string_view line, std::string_view) {
        gsize open = line.find('>');
        gsize close = line.rfind(kAnchorEnd);
        if (open == line.npos || close == line.npos || close < open + 2)
            return true;
        name = g_strndup(line.data() + open + 1, close - open - 1);
        return false;
    });
    return name;
}
