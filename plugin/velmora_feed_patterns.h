/*
 * velmora_feed_patterns.h - the five regular expressions that cut data out of
 * feed texts (picture address, picture size, price test, link rewrite, author
 * name), compiled once per parse.
 *
 * Three of the expressions backtrack badly on hostile text: a line of many
 * '>' without "</a>", a long run of digits, or many "/gp/aw/d.html" without
 * "a=...&" cost seconds to minutes for tens of kilobytes. Each of those is
 * therefore run only where a linear scan has shown that it matches (or, for the
 * price test, on the few characters around each point or comma), which gives
 * exactly the result of running it over the whole text.
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
/* address with every "_SL75_" replaced by "_SL100_" (a new text). */
gchar *velmora_pattern_scale_picture(const VelmoraFeedPatterns *patterns, const gchar *address);
/* Whether text (length bytes) holds digits, a point or comma, digits. */
gboolean velmora_pattern_is_price(const VelmoraFeedPatterns *patterns, const gchar *text,
                                  gsize length);
/* link with the link rewrite applied (a new text). */
gchar *velmora_pattern_rewrite_link(const VelmoraFeedPatterns *patterns, const gchar *link);
/* Group 1 of the first author match in text, or null. */
gchar *velmora_pattern_author(const VelmoraFeedPatterns *patterns, const gchar *text);

#endif /* VELMORA_FEED_PATTERNS_H */
