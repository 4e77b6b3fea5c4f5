/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_feed_patterns.h - the five regular expressions that cut data out of
 * feed texts (picture address, picture size, price test, link rewrite, author
 * name), compiled once per parse.
 *
 * Each function gives exactly what GRegex gives with its expression (compiled
 * with no options, matched over the whole text from its start), but takes the
 * result from a linear scan wherever the scan can decide it, and runs the
 * compiled expression only where it cannot (see the .cpp). That keeps a
 * regular-expression call off every item, and keeps hostile text (a line of
 * many '>' without "</a>", long runs of digits, many "/gp/aw/d.html" without
 * "a=...&") from making the expressions backtrack for seconds or minutes.
 */
#ifndef VELMORA_FEED_PATTERNS_H
#define VELMORA_FEED_PATTERNS_H

#include <glib.h>

struct VelmoraFeedPatterns {
    GRegex *picture_address; /* "src="(.*?)"" */
    GRegex *picture_size;    /* "_SL75_" */
    GRegex *price;           /* "\d+[\.,]\d+" */
    GRegex *link_rewrite;    /* "(/gp/aw/d\.html.*?)a=(.*?)&.*" */
    GRegex *author;          /* ">(.+)</a>" */
};

VelmoraFeedPatterns *velmora_feed_patterns_new();
void velmora_feed_patterns_free(VelmoraFeedPatterns *patterns);

/* Group 1 of the first picture address match in text, or null. */
gchar *velmora_pattern_picture_address(const VelmoraFeedPatterns *patterns, const gchar *text);
/* address with every "_SL75_" replaced by "_SL100_" (a new text; unchanged
 * where GRegex refuses the text). */
gchar *velmora_pattern_scale_picture(const VelmoraFeedPatterns *patterns, const gchar *address);
/* Whether text (length bytes) holds digits, a point or comma, digits. */
gboolean velmora_pattern_is_price(const VelmoraFeedPatterns *patterns, const gchar *text,
                                  gsize length);
/* link with every match of the link rewrite replaced by "/dp/" and its group 2
 * (a new text; unchanged where GRegex refuses the text). */
gchar *velmora_pattern_rewrite_link(const VelmoraFeedPatterns *patterns, const gchar *link);
/* Group 1 of the first author match in text, or null. */
gchar *velmora_pattern_author(const VelmoraFeedPatterns *patterns, const gchar *text);

#endif /* VELMORA_FEED_PATTERNS_H */
