/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * fuzz_patterns.cpp - the five pattern matchers of the feed parser against
 * GRegex with the same expressions (differential: any difference aborts), on
 * arbitrary bytes, invalid UTF-8 included. The first byte picks the matcher,
 * the rest is the text.
 */
#include "fuzz_support.h"
#include "velmora_feed_patterns.h"

#include <cstring>

namespace {

VelmoraFeedPatterns *patterns;

struct Reference {
    GRegex *picture_address, *picture_size, *price, *link_rewrite, *author;
} reference;

GRegex *compile(const gchar *pattern) {
    return g_regex_new(pattern, static_cast<GRegexCompileFlags>(0),
                       static_cast<GRegexMatchFlags>(0), nullptr);
}

/* Group 1 of the first match; *failed when GRegex gave up (its match limit). */
gchar *first_group(GRegex *regex, const gchar *text, gssize length, bool *failed) {
    GMatchInfo *match = nullptr;
    GError *error = nullptr;
    gchar *group = nullptr;
    if (g_regex_match_full(regex, text, length, 0, static_cast<GRegexMatchFlags>(0), &match,
                           &error))
        group = g_match_info_fetch(match, 1);
    /* Invalid UTF-8 is refused with an error too; only a match limit hides the answer. */
    *failed = error != nullptr && g_utf8_validate(text, length, nullptr);
    g_clear_error(&error);
    g_match_info_free(match);
    return group;
}

/* The replacement as the parser uses it: the text unchanged where GRegex refuses it. */
gchar *replaced(GRegex *regex, const gchar *text, const gchar *replacement, bool literal,
                bool *failed) {
    GError *error = nullptr;
    gchar *result = literal ? g_regex_replace_literal(regex, text, -1, 0, replacement,
                                                      static_cast<GRegexMatchFlags>(0), &error)
                            : g_regex_replace(regex, text, -1, 0, replacement,
                                              static_cast<GRegexMatchFlags>(0), &error);
    /* Invalid UTF-8 is refused with an error too; only a match limit hides the answer. */
    *failed = error != nullptr && g_utf8_validate(text, -1, nullptr);
    g_clear_error(&error);
    return result ? result : g_strdup(text);
}

void same(const gchar *got, const gchar *expected, const gchar *what, const gchar *text) {
    FUZZ_CHECK(g_strcmp0(got, expected) == 0, "%s of \"%s\": got \"%s\", GRegex gives \"%s\"", what,
               text, got ? got : "(null)", expected ? expected : "(null)");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::quiet_logs();
    patterns = velmora_feed_patterns_new();
    reference = {compile("src=\"(.*?)\""), compile("_SL75_"), compile("\\d+[\\.,]\\d+"),
                 compile("(/gp/aw/d\\.html.*?)a=(.*?)&.*"), compile(">(.+)</a>")};
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1)
        return 0;
    const gchar *bytes = reinterpret_cast<const gchar *>(data + 1);
    const gsize length = size - 1;
    g_autofree gchar *text = g_strndup(bytes, length); /* up to the first NUL */
    bool failed = false;
    switch (data[0] % 5) {
    case 0: {
        g_autofree gchar *got = velmora_pattern_picture_address(patterns, text);
        g_autofree gchar *expected = first_group(reference.picture_address, text, -1, &failed);
        if (!failed)
            same(got, expected, "picture address", text);
        break;
    }
    case 1: {
        g_autofree gchar *got = velmora_pattern_scale_picture(patterns, text);
        g_autofree gchar *expected =
            replaced(reference.picture_size, text, "_SL100_", true, &failed);
        if (!failed)
            same(got, expected, "scaled picture", text);
        break;
    }
    case 2: {
        /* The price test takes a length: the raw bytes, NULs included. */
        const bool got = velmora_pattern_is_price(patterns, bytes, length);
        GError *error = nullptr;
        const bool expected = g_regex_match_full(reference.price, bytes, length, 0,
                                                 static_cast<GRegexMatchFlags>(0), nullptr, &error);
        failed = error != nullptr && g_utf8_validate(bytes, length, nullptr);
        g_clear_error(&error);
        if (!failed)
            FUZZ_CHECK(got == expected, "price test of \"%s\": got %d, GRegex gives %d", text, got,
                       expected);
        break;
    }
    case 3: {
        g_autofree gchar *got = velmora_pattern_rewrite_link(patterns, text);
        g_autofree gchar *expected =
            replaced(reference.link_rewrite, text, "/dp/\\2", false, &failed);
        if (!failed)
            same(got, expected, "rewritten link", text);
        break;
    }
    default: {
        g_autofree gchar *got = velmora_pattern_author(patterns, text);
        g_autofree gchar *expected = first_group(reference.author, text, -1, &failed);
        if (!failed)
            same(got, expected, "author", text);
        break;
    }
    }
    return 0;
}
