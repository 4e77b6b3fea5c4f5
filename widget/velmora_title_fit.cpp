/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_title_fit.cpp - the card's price and title lines fitted into the
 * text column. The price line is one line that always shows the whole price;
 * the title takes the rest of the column, first in the label's own font, then
 * in a smaller one, so that a title of common length is shown whole with its
 * store and rank even in the languages with long words and captions.
 */
#include "velmora_title_fit.h"

#include <string>

namespace {

constexpr const char *kTitleWithStoreMarkup =
    "<span foreground=\"black\">%s #%s: </span><span underline=\"single\">%s</span>";
constexpr const char *kTitleWithoutStoreMarkup =
    "<span foreground=\"black\">#%s: </span><span underline=\"single\">%s</span>";
constexpr const char *kPriceMarkup =
    "<span foreground=\"black\">%s </span><span foreground=\"#990000\">%s</span>";
constexpr const char *kPriceAloneMarkup = "<span foreground=\"#990000\">%s</span>";
/* Around a line that does not fit in the label's own font. */
constexpr const char *kSmallerOpen = "<span size=\"smaller\">";
constexpr const char *kSmallerClose = "</span>";
/* Ends a title cut to fit its lines. */
constexpr const char *kEllipsis = "\u2026";
/* U+2060 WORD JOINER: no line break on either side of it. */
constexpr const char *kWordJoiner = "\u2060";

const gchar *or_empty(const gchar *text) {
    return text ? text : "";
}

gchar *smaller(const gchar *markup) {
    return g_strconcat(kSmallerOpen, markup, kSmallerClose, nullptr);
}

/* The title line's markup for a title text, which may be a cut one. */
gchar *title_markup(const VelmoraItemData *item, const gchar *title) {
    g_autofree gchar *joined = join_hyphenated_words(title);
    return item->store
               ? g_markup_printf_escaped(kTitleWithStoreMarkup, item->store, or_empty(item->rank),
                                         joined)
               : g_markup_printf_escaped(kTitleWithoutStoreMarkup, or_empty(item->rank), joined);
}

/* The title cut to its first `characters` characters and ended by "…". */
gchar *cut_title(const gchar *title, glong characters) {
    const gchar *end = g_utf8_offset_to_pointer(title, characters);
    g_autofree gchar *prefix = g_strndup(title, end - title);
    return g_strconcat(g_strchomp(prefix), kEllipsis, nullptr);
}

} // namespace

/* One Pango layout per measurement, made as the label would make it. */
TextExtent measure_markup(GtkWidget *label, const gchar *markup, int width) {
    PangoLayout *layout = gtk_widget_create_pango_layout(label, nullptr);
    pango_layout_set_markup(layout, markup, -1);
    pango_layout_set_width(layout, width * PANGO_SCALE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    TextExtent extent{0, 0, pango_layout_get_line_count(layout)};
    pango_layout_get_pixel_size(layout, &extent.width, &extent.height);
    g_object_unref(layout);
    if (*markup == '\0')
        extent = TextExtent{0, 0, 0};
    return extent;
}

gchar *join_hyphenated_words(const gchar *text) {
    if (!text)
        return nullptr;
    std::string joined;
    const gchar *previous = nullptr;
    for (const gchar *at = text; *at; at = g_utf8_next_char(at)) {
        const gchar *next = g_utf8_next_char(at);
        joined.append(at, next - at);
        const bool joins_word = *at == '-' && previous && *next &&
                                !g_unichar_isspace(g_utf8_get_char(previous)) &&
                                !g_unichar_isspace(g_utf8_get_char(next));
        if (joins_word)
            joined += kWordJoiner;
        previous = at;
    }
    return g_strdup(joined.c_str());
}

gchar *fitted_price_line(GtkWidget *label, const gchar *caption, const gchar *price, int width) {
    const auto one_line = [&](const gchar *markup) {
        const TextExtent extent = measure_markup(label, markup, width);
        return extent.lines <= 1 && extent.width <= width;
    };
    gchar *line = g_markup_printf_escaped(kPriceMarkup, or_empty(caption), price);
    if (one_line(line))
        return line;
    gchar *small = smaller(line);
    g_free(line);
    if (one_line(small))
        return small;
    g_free(small);
    /* Without the caption; a price longer than even that wraps rather than
     * being cut, so that it is still shown whole. */
    g_autofree gchar *alone = g_markup_printf_escaped(kPriceAloneMarkup, price);
    return smaller(alone);
}

gchar *fitted_title_line(GtkWidget *label, const VelmoraItemData *item, int width, int max_height) {
    const auto fits = [&](const gchar *markup) {
        return measure_markup(label, markup, width).height <= max_height;
    };
    gchar *whole = title_markup(item, item->title);
    if (fits(whole))
        return whole;
    gchar *small = smaller(whole);
    g_free(whole);
    if (fits(small))
        return small;
    g_free(small);

    /* The longest prefix, in characters, that fits with the ellipsis in the
     * smaller font; with no room even for one character the ellipsis alone
     * stands for the title. */
    const auto cut_line = [&](glong characters) {
        g_autofree gchar *cut = cut_title(item->title, characters);
        g_autofree gchar *markup = title_markup(item, cut);
        return smaller(markup);
    };
    glong fitting = 0, too_long = g_utf8_strlen(item->title, -1);
    gchar *best = cut_line(0);
    while (too_long - fitting > 1) {
        const glong middle = fitting + (too_long - fitting) / 2;
        gchar *line = cut_line(middle);
        if (fits(line)) {
            g_free(best);
            best = line;
            fitting = middle;
        } else {
            g_free(line);
            too_long = middle;
        }
    }
    return best;
}
