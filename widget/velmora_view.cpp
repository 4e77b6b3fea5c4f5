/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_view.cpp - the widget's card: the item layout (logo, feed title,
 * item picture, title and price lines, arrow buttons) and the message layout
 * (logo and one centred text), the translucent drawing of the card and the
 * arrow buttons, and the taps that open an item or the storefront's home page
 * in the device's browser.
 */
#include "velmora_view.h"
#include "velmora_view_internal.h"

#include <string>

#include <hildon/hildon.h>

#include "velmora_paths.h"
#include "velmora_contract.h"
#include "velmora_price_age.h"

/* Cairo's own types get g_autoptr() cleanups here; GTK+ 2 defines none. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC(cairo_t, cairo_destroy)
G_DEFINE_AUTOPTR_CLEANUP_FUNC(cairo_surface_t, cairo_surface_destroy)

/* The widget's libosso context; set and cleared by the plug-in instance. */
osso_context_t *osso_context = nullptr;

gboolean button_pressed = FALSE;

namespace {

constexpr int kCardWidth = 396;
constexpr int kCardHeight = 200;
constexpr int kLogoBandHeight = 60;
constexpr int kArrowButtonWidth = 68;
constexpr int kArrowButtonHeight = 69;
constexpr int kTextColumnWidth = 202;
constexpr int kTextColumnHeight = 100;
constexpr int kItemPicturePadding = 8;
constexpr int kFeedTitleLeft = 8;
constexpr int kArrowColumnLeft = 327;

constexpr const char *kItemBackground = "icons/Velmora_Background.png";
constexpr const char *kMessageBackground = "icons/VelmoraBackgroundNoButtons.png";
constexpr const char *kUpArrow = "icons/Velmora_Up_Arrow.png";
constexpr const char *kDownArrow = "icons/Velmora_Down_Arrow.png";
constexpr const char *kUpButtonBackground = "icons/velmora_button_up_bg.png";
constexpr const char *kUpButtonBackgroundPressed = "icons/velmora_button_up_bg_pressed.png";
constexpr const char *kDownButtonBackground = "icons/velmora_button_down_bg.png";
constexpr const char *kDownButtonBackgroundPressed = "icons/velmora_button_down_bg_pressed.png";
constexpr const char *kUrlCatalogue = VELMORA_URLS_FILE;
constexpr const char *kTextCatalogue = VELMORA_APPLET_TEXTS_FILE;

/* Logos by the region's index in the settings' region table. */
constexpr const char *kRegionLogos[] = {
    "icons/VelmoraCaHomepageLogo.png",   /* 0: Canada */
    "icons/VelmoraCoUkHomepageLogo.png", /* 1: United Kingdom */
    "icons/VelmoraComHomepageLogo.png",  /* 2: United States */
    "icons/VelmoraDeHomepageLogo.png",   /* 3: Germany */
    "icons/VelmoraFrHomepageLogo.png",   /* 4: France */
};
constexpr int kUnitedStatesLogo = 2;

/* The storefront's home page, opened in place of an address that is missing or
 * not a web page. It is the United States "homepage" entry of the URL
 * catalogue, kept here so that no tap has to read the catalogue again. */
constexpr const char *kStorefrontHomePage = "https://www.velmora.com/";

constexpr const char *kTitleWithStoreMarkup =
    "<span foreground=\"black\">%s #%s: </span><span underline=\"single\">%s</span>";
constexpr const char *kTitleWithoutStoreMarkup =
    "<span foreground=\"black\">#%s: </span><span underline=\"single\">%s</span>";
constexpr const char *kPriceMarkup =
    "<span foreground=\"black\">%s </span><span foreground=\"#990000\">%s</span>";
/* The price line when caption and price do not fit on one line: the price
 * starts a line of its own, so that it is never split after its caption. */
constexpr const char *kPriceMarkupTwoLines =
    "<span foreground=\"black\">%s\n</span><span foreground=\"#990000\">%s</span>";
/* Ends a title cut to fit its lines. */
constexpr const char *kEllipsis = "\u2026";

/* Height of the title block in a layout without an item. */
constexpr int kTitleHeight = 64;
/* Height of the price line when it is empty or one line of its font. */
constexpr int kPriceLineHeight = 20;

constexpr const char *kTextDomain = "velmora";

QueryLoader *load_catalogue(const char *file) {
    return query_loader_new(velmora_data_path(file).c_str());
}

/* The entry `name` in the current region's section of the catalogue, or NULL. */
gchar *region_entry(QueryLoader *catalogue, const gchar *name) {
    if (!catalogue)
        return nullptr;
    g_autofree gchar *region = get_region_from_gconf();
    return query_loader_load_query_by_section(catalogue, region, name);
}

/* The entry `name` in the current region's section of the text catalogue, or
 * NULL. The catalogue is read again only when the region has changed since the
 * view last read it (or when it could not be read). */
gchar *region_text(VelmoraView *view, const gchar *name) {
    g_autofree gchar *region = get_region_from_gconf();
    if (!view->text_catalogue || g_strcmp0(region, view->text_region) != 0) {
        g_clear_pointer(&view->text_catalogue, query_loader_free);
        view->text_catalogue = load_catalogue(kTextCatalogue);
        g_free(view->text_region);
        view->text_region = g_strdup(region);
    }
    if (!view->text_catalogue)
        return nullptr;
    return query_loader_load_query_by_section(view->text_catalogue, region, name);
}

const gchar *or_empty(const gchar *text) {
    return text ? text : "";
}

/* Height in pixels of markup laid out in the label's font, wrapped to the text
 * column's width as the label wraps it. */
int text_height(GtkWidget *label, const gchar *markup) {
    PangoLayout *layout = gtk_widget_create_pango_layout(label, nullptr);
    pango_layout_set_markup(layout, markup, -1);
    pango_layout_set_width(layout, kTextColumnWidth * PANGO_SCALE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    int height = 0;
    pango_layout_get_pixel_size(layout, nullptr, &height);
    const int lines = pango_layout_get_line_count(layout);
    g_object_unref(layout);
    return lines > 0 ? height : 0;
}

int text_lines(GtkWidget *label, const gchar *markup) {
    PangoLayout *layout = gtk_widget_create_pango_layout(label, nullptr);
    pango_layout_set_markup(layout, markup, -1);
    pango_layout_set_width(layout, kTextColumnWidth * PANGO_SCALE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    const int lines = pango_layout_get_line_count(layout);
    g_object_unref(layout);
    return lines;
}

/* The title line's markup; the title is cut at a character and ended by "…"
 * where the whole of it would take more than max_height pixels. */
gchar *fitted_title_line(GtkWidget *label, const VelmoraItemData *item, int max_height) {
    const auto format = [item](const gchar *title) {
        return item->store
                   ? g_markup_printf_escaped(kTitleWithStoreMarkup, item->store,
                                             or_empty(item->rank), title)
                   : g_markup_printf_escaped(kTitleWithoutStoreMarkup, or_empty(item->rank), title);
    };
    gchar *whole = format(item->title);
    if (text_height(label, whole) <= max_height)
        return whole;
    g_free(whole);

    /* The longest prefix, in characters, that fits with the ellipsis; with no
     * room even for one character the ellipsis alone stands for the title. */
    const auto cut_line = [&](glong characters) {
        const gchar *end = g_utf8_offset_to_pointer(item->title, characters);
        g_autofree gchar *prefix = g_strndup(item->title, end - item->title);
        g_autofree gchar *cut = g_strconcat(g_strchomp(prefix), kEllipsis, nullptr);
        return format(cut);
    };
    glong fits = 0, too_long = g_utf8_strlen(item->title, -1);
    gchar *best = cut_line(0);
    while (too_long - fits > 1) {
        const glong middle = fits + (too_long - fits) / 2;
        gchar *line = cut_line(middle);
        if (text_height(label, line) <= max_height) {
            g_free(best);
            best = line;
            fits = middle;
        } else {
            g_free(line);
            too_long = middle;
        }
    }
    return best;
}

/* The item as a screen reader says it: title line and price line as plain
 * text, the title uncut; an item without a title keeps the title line shown. */
gchar *spoken_item(const VelmoraItemData *item, VelmoraView *view) {
    GString *text = g_string_new(nullptr);
    if (!item->title)
        g_string_append(text, gtk_label_get_text(GTK_LABEL(view->title_label)));
    else if (item->store)
        g_string_append_printf(text, "%s #%s: %s", item->store, or_empty(item->rank), item->title);
    else
        g_string_append_printf(text, "#%s: %s", or_empty(item->rank), item->title);
    const gchar *price = gtk_label_get_text(GTK_LABEL(view->price_label));
    if (*price)
        g_string_append_printf(text, ". %s", price);
    return g_strdelimit(g_string_free(text, FALSE), "\n", ' ');
}

/* Names a widget for assistive technology and tells what it is. */
void set_accessible(GtkWidget *widget, const gchar *name, AtkRole role) {
    AtkObject *accessible = gtk_widget_get_accessible(widget);
    if (!accessible)
        return;
    if (name)
        atk_object_set_name(accessible, name);
    atk_object_set_role(accessible, role);
}

/* A picture from the data directory; NULL when it cannot be loaded. */
GdkPixbuf *load_data_picture(const char *file) {
    return gdk_pixbuf_new_from_file(velmora_data_path(file).c_str(), nullptr);
}

/* An image of a picture from the data directory; empty when it cannot be loaded. */
GtkWidget *image_from_data_picture(const char *file) {
    g_autoptr(GdkPixbuf) picture = load_data_picture(file);
    return gtk_image_new_from_pixbuf(picture);
}

/* Only web pages are handed to the browser: an item link comes from a feed and
 * may name anything. The text also has to be valid UTF-8 to travel on D-Bus. */
bool is_web_address(const gchar *address) {
    if (!address || !g_utf8_validate(address, -1, nullptr))
        return false;
    g_autoptr(GUri) uri = g_uri_parse(address, G_URI_FLAGS_PARSE_RELAXED, nullptr);
    if (!uri)
        return false;
    const gchar *scheme = g_uri_get_scheme(uri);
    const gchar *host = g_uri_get_host(uri);
    return (g_ascii_strcasecmp(scheme, "http") == 0 || g_ascii_strcasecmp(scheme, "https") == 0) &&
           host && *host;
}

VelmoraItemData *current_item() {
    if (!stored_data || !stored_data->items || current_index < 0 ||
        static_cast<guint>(current_index) >= stored_data->items->len)
        return nullptr;
    return g_array_index(stored_data->items, VelmoraItemData *, current_index);
}

/* Makes the widget's own surface fully transparent wherever it is exposed, so
 * that the card's children are drawn over nothing. */
gboolean clear_exposed_area(GtkWidget *widget, GdkEventExpose *event, gpointer) {
    g_autoptr(cairo_t) cr = gdk_cairo_create(widget->window);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    gdk_cairo_region(cr, event->region);
    cairo_fill(cr);
    return FALSE;
}

/* "button-release-event" of item_box and feed_title_box. */
gboolean on_item_tapped(GtkWidget *box, GdkEventButton *event, gpointer) {
    if (!event_inside_widget(box, event))
        return FALSE;
    VelmoraItemData *item = current_item();
    if (item)
        launch_browser(item->item_url);
    return FALSE;
}

/* "button-release-event" of logo_box: the region's home page. */
gboolean on_logo_tapped(GtkWidget *box, GdkEventButton *event, gpointer data) {
    auto *view = static_cast<VelmoraView *>(data);
    if (!event_inside_widget(box, event))
        return FALSE;
    g_autofree gchar *home = region_entry(view->url_catalogue, "homepage");
    launch_browser(home);
    return FALSE;
}

/* "style-set" of the title and price labels: a new font (a theme, or the
 * logical font arriving once the label is on screen) takes a new fit. */
void on_text_style_set(GtkWidget *, GtkStyle *, gpointer data) {
    show_current_item(static_cast<VelmoraView *>(data));
}

/* "button-press-event" of either arrow button: draw it pressed. The press is
 * the button's own, so it goes no further. */
gboolean on_arrow_pressed(GtkWidget *button, GdkEventButton *, gpointer) {
    button_pressed = TRUE;
    gtk_widget_queue_draw(button);
    return TRUE;
}

/* The arrow buttons' background pictures, indexes into view->button_pictures. */
enum ButtonPicture { kUpPicture, kUpPressedPicture, kDownPicture, kDownPressedPicture };

constexpr const char *kButtonPictureFiles[] = {kUpButtonBackground, kUpButtonBackgroundPressed,
                                               kDownButtonBackground, kDownButtonBackgroundPressed};

/* The view's copy of a button picture, read from disk the first time it is
 * drawn. A missing or broken file gives cairo's error surface, which paints
 * nothing, as it did when read at every expose. */
cairo_surface_t *button_picture(VelmoraView *view, ButtonPicture which) {
    cairo_surface_t *&picture = view->button_pictures[which];
    if (!picture) {
        const std::string path = velmora_data_path(kButtonPictureFiles[which]);
        picture = cairo_image_surface_create_from_png(path.c_str());
    }
    return picture;
}

/* Paints surface into the exposed part of the button; the caller keeps
 * ownership of both the context and the surface. */
void paint_button_background(cairo_t *cr, cairo_surface_t *surface, GdkEventExpose *event) {
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, surface, 0, 0);
    gdk_cairo_region(cr, event->region);
    gdk_cairo_rectangle(cr, &event->area);
    cairo_clip(cr);
    cairo_paint(cr);
}

/* Paints an arrow button's background, pressed or normal; the arrow image is
 * drawn over it by the button's own expose handler. */
gboolean draw_arrow_button(VelmoraView *view, GtkWidget *button, GdkEventExpose *event,
                           ButtonPicture normal, ButtonPicture pressed) {
    g_autoptr(cairo_t) cr = gdk_cairo_create(button->window);
    paint_button_background(cr, button_picture(view, button_pressed ? pressed : normal), event);
    return FALSE;
}

gboolean on_up_button_expose(GtkWidget *button, GdkEventExpose *event, gpointer data) {
    return draw_arrow_button(static_cast<VelmoraView *>(data), button, event, kUpPicture,
                             kUpPressedPicture);
}

gboolean on_down_button_expose(GtkWidget *button, GdkEventExpose *event, gpointer data) {
    return draw_arrow_button(static_cast<VelmoraView *>(data), button, event, kDownPicture,
                             kDownPressedPicture);
}

const char *logo_path_for_region(VelmoraSettings *settings) {
    int index = -1;
    if (settings) {
        g_autofree gchar *region = get_region_from_gconf();
        index = get_setting_item_index(settings->regions, region, "region");
    }
    if (index < 0 || index >= static_cast<int>(G_N_ELEMENTS(kRegionLogos)))
        index = kUnitedStatesLogo;
    return kRegionLogos[index];
}

/* An event box without a visible window that takes the events of its child. */
GtkWidget *new_input_box(GtkWidget *child) {
    GtkWidget *box = gtk_event_box_new();
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(box), FALSE);
    gtk_event_box_set_above_child(GTK_EVENT_BOX(box), TRUE);
    if (child)
        gtk_container_add(GTK_CONTAINER(box), child);
    return box;
}

/* Replaces the current layout by an empty one holding only the logo box.
 * Every widget of the previous layout is destroyed, so its pointers go too. */
void reset_layout(VelmoraView *view) {
    GtkWidget *old = gtk_bin_get_child(GTK_BIN(view->widget));
    if (old)
        gtk_container_remove(GTK_CONTAINER(view->widget), old);
    view->fixed = view->item_image = view->text_column = view->background = nullptr;
    view->logo_image = view->logo_box = view->feed_title_box = view->item_box = nullptr;
    view->up_button = view->down_button = nullptr;
    view->feed_title_label = view->title_label = view->price_label = nullptr;
    view->message_label = nullptr;

    view->fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(view->widget), view->fixed);

    /* set_logo, which every layout build calls next, loads the picture. */
    view->logo_image = gtk_image_new();
    view->logo_box = new_input_box(view->logo_image);
    set_accessible(view->logo_box, g_dgettext(kTextDomain, "Store home page"), ATK_ROLE_LINK);
    g_signal_connect(view->logo_box, "button-release-event", G_CALLBACK(on_logo_tapped), view);
    gtk_widget_show_all(view->fixed);
}

void set_background(VelmoraView *view, const char *file) {
    view->background = image_from_data_picture(file);
    gtk_fixed_put(GTK_FIXED(view->fixed), view->background, 0, 0);
}

GtkWidget *create_label(int width, int height, const char *colour, const char *font, gfloat x_align,
                        gfloat y_align, gboolean wrap) {
    GtkWidget *label = gtk_label_new(nullptr);
    gtk_widget_set_size_request(label, width, height);
    hildon_helper_set_logical_font(label, font);
    GdkColor color;
    if (gdk_color_parse(colour, &color))
        gtk_widget_modify_fg(label, GTK_STATE_NORMAL, &color);
    gtk_misc_set_alignment(GTK_MISC(label), x_align, y_align);
    gtk_label_set_line_wrap(GTK_LABEL(label), wrap);
    /* A word longer than the line (a link, a long number) breaks between
     * characters rather than running out of the label. */
    gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
    return label;
}

GtkWidget *create_arrow_button(const char *arrow) {
    GtkWidget *button = gtk_event_box_new();
    gtk_widget_set_size_request(button, kArrowButtonWidth, kArrowButtonHeight);
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(button), TRUE);
    gtk_event_box_set_above_child(GTK_EVENT_BOX(button), TRUE);
    GdkColor white;
    gdk_color_parse("white", &white);
    gtk_widget_modify_bg(button, GTK_STATE_NORMAL, &white);
    gtk_container_add(GTK_CONTAINER(button), image_from_data_picture(arrow));
    return button;
}

} // namespace

/* The event's position is relative to the widget's own window; both ends of
 * the allocation count as inside. */
gboolean event_inside_widget(GtkWidget *widget, GdkEventButton *event) {
    if (!widget || !event)
        return FALSE;
    return event->x >= 0 && event->x <= widget->allocation.width && event->y >= 0 &&
           event->y <= widget->allocation.height;
}

VelmoraView *initialize_view(GtkWidget *widget) {
    auto *view = g_new0(VelmoraView, 1);
    view->widget = widget;

    gtk_widget_set_size_request(widget, kCardWidth, kCardHeight);
    gtk_widget_set_app_paintable(widget, TRUE);
    GdkColormap *rgba = gdk_screen_get_rgba_colormap(gdk_screen_get_default());
    if (rgba)
        gtk_widget_set_colormap(widget, rgba);
    g_signal_connect(widget, "expose-event", G_CALLBACK(clear_exposed_area), nullptr);

    view->message_shown = FALSE;
    clear_stored_data(); /* a list left by an earlier widget of this module */
    stored_data = velmora_item_data_array_new();
    view->url_catalogue = query_loader_new(velmora_data_path(kUrlCatalogue).c_str());
    return view;
}

void set_logo(VelmoraView *view, VelmoraSettings *settings) {
    g_autoptr(GdkPixbuf) logo = load_data_picture(logo_path_for_region(settings));
    const int width = logo ? gdk_pixbuf_get_width(logo) : 0;
    const int height = logo ? gdk_pixbuf_get_height(logo) : 0;
    gtk_image_set_from_pixbuf(GTK_IMAGE(view->logo_image), logo);
    /* Integer division truncates toward zero, also for a logo wider than the card. */
    gtk_fixed_put(GTK_FIXED(view->fixed), view->logo_box, (kCardWidth - width) / 2,
                  (kLogoBandHeight - height) / 2);
}

void set_feed_title_and_our_price_string(VelmoraView *view, VelmoraSettings *) {
    GSList *categories = get_categories_from_gconf();
    const gchar *feed = categories && categories->data
                            ? static_cast<const gchar *>(categories->data)
                            : VELMORA_DEFAULT_CATEGORY;

    g_autofree gchar *feed_title = region_text(view, feed);
    if (!view->message_shown && view->feed_title_label) {
        gtk_label_set_text(GTK_LABEL(view->feed_title_label), or_empty(feed_title));
        if (view->feed_title_box)
            atk_object_set_name(gtk_widget_get_accessible(view->feed_title_box),
                                or_empty(feed_title));
    }
    g_free(view->our_price_text);
    view->our_price_text = region_text(view, "our_price");

    g_slist_free_full(categories, g_free);
}

void create_item_view(VelmoraView *view, VelmoraSettings *settings) {
    current_index = 0;
    view->message_shown = FALSE;

    reset_layout(view);
    set_background(view, kItemBackground);
    set_logo(view, settings);

    view->up_button = create_arrow_button(kUpArrow);
    view->down_button = create_arrow_button(kDownArrow);

    /* The feed title ends left of the arrow column; a title too long for it
     * ends in "…" instead of running under the buttons. */
    view->feed_title_label = create_label(kArrowColumnLeft - kFeedTitleLeft, 24, "#e47911",
                                          "EmpSmallSystemFont", 0.0, 0.5, FALSE);
    gtk_label_set_ellipsize(GTK_LABEL(view->feed_title_label), PANGO_ELLIPSIZE_END);
    view->feed_title_box = new_input_box(view->feed_title_label);

    view->item_image = gtk_image_new();
    gtk_widget_set_size_request(view->item_image, kItemPictureSize, kItemPictureSize);

    view->title_label = create_label(kTextColumnWidth, kTitleHeight, "#004b91",
                                     "EmpSmallSystemFont", 0.0, 0.5, TRUE);
    /* Wrapped, so that a price too long for one line is shown whole on two
     * (show_current_item gives it the height it needs). */
    view->price_label = create_label(kTextColumnWidth, kPriceLineHeight, "#990000",
                                     "SmallSystemFont", 0.0, 0.5, TRUE);

    view->text_column = gtk_vbox_new(FALSE, 0);
    gtk_widget_set_size_request(view->text_column, kTextColumnWidth, kTextColumnHeight);
    gtk_box_pack_start(GTK_BOX(view->text_column), view->title_label, TRUE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(view->text_column), view->price_label, TRUE, FALSE, 0);

    GtkWidget *item_row = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(item_row), view->item_image, FALSE, FALSE, kItemPicturePadding);
    gtk_box_pack_start(GTK_BOX(item_row), view->text_column, FALSE, FALSE, 0);
    view->item_box = new_input_box(item_row);

    set_accessible(view->up_button, g_dgettext(kTextDomain, "Previous item"), ATK_ROLE_PUSH_BUTTON);
    set_accessible(view->down_button, g_dgettext(kTextDomain, "Next item"), ATK_ROLE_PUSH_BUTTON);
    set_accessible(view->item_box, nullptr, ATK_ROLE_LINK);
    atk_object_set_description(gtk_widget_get_accessible(view->item_box),
                               g_dgettext(kTextDomain, "Opens the item in the browser"));
    set_accessible(view->feed_title_box, nullptr, ATK_ROLE_LINK);

    set_feed_title_and_our_price_string(view, settings);

    GtkFixed *fixed = GTK_FIXED(view->fixed);
    gtk_fixed_put(fixed, view->feed_title_box, kFeedTitleLeft, kLogoBandHeight);
    gtk_fixed_put(fixed, view->item_box, 0, 92);
    gtk_fixed_put(fixed, view->up_button, kArrowColumnLeft, kLogoBandHeight);
    gtk_fixed_put(fixed, view->down_button, kArrowColumnLeft, 130);

    g_signal_connect(view->up_button, "leave-notify-event", G_CALLBACK(up_step_handler), view);
    g_signal_connect(view->up_button, "button-release-event", G_CALLBACK(up_step_handler), view);
    g_signal_connect(view->down_button, "leave-notify-event", G_CALLBACK(down_step_handler), view);
    g_signal_connect(view->down_button, "button-release-event", G_CALLBACK(down_step_handler),
                     view);
    g_signal_connect(view->feed_title_box, "button-release-event", G_CALLBACK(on_item_tapped),
                     view);
    g_signal_connect(view->item_box, "button-release-event", G_CALLBACK(on_item_tapped), view);
    g_signal_connect_after(view->title_label, "style-set", G_CALLBACK(on_text_style_set), view);
    g_signal_connect_after(view->price_label, "style-set", G_CALLBACK(on_text_style_set), view);
    g_signal_connect(view->up_button, "button-press-event", G_CALLBACK(on_arrow_pressed), view);
    g_signal_connect(view->down_button, "button-press-event", G_CALLBACK(on_arrow_pressed), view);
    gtk_widget_set_app_paintable(view->up_button, TRUE);
    gtk_widget_set_app_paintable(view->down_button, TRUE);
    g_signal_connect(view->up_button, "expose-event", G_CALLBACK(on_up_button_expose), view);
    g_signal_connect(view->down_button, "expose-event", G_CALLBACK(on_down_button_expose), view);

    gtk_widget_show_all(view->fixed);
}

void create_message_view(VelmoraView *view, VelmoraSettings *settings, const gchar *key) {
    view->message_shown = TRUE;
    remove_timeout(view);

    reset_layout(view);
    set_background(view, kMessageBackground);
    set_logo(view, settings);

    view->message_label = create_label(380, 140, "black", "EmpSmallSystemFont", 0.5, 0.5, FALSE);
    g_autofree gchar *message = key ? region_text(view, key) : nullptr;
    gtk_label_set_text(GTK_LABEL(view->message_label), or_empty(message));

    gtk_fixed_put(GTK_FIXED(view->fixed), view->message_label, 8, kLogoBandHeight);
    gtk_widget_show_all(view->fixed);
}

void show_current_item(VelmoraView *view) {
    carousel_fill_window();
    VelmoraItemData *item = current_item();
    /* The item widgets exist only while the item layout is shown. */
    if (!view || !item || !view->item_image || !view->title_label || !view->price_label)
        return;

    gtk_image_set_from_pixbuf(GTK_IMAGE(view->item_image), item->picture);

    /* The labels are measured in their own fonts, which they take with their
     * style; a label not yet sized or drawn may not have it yet. */
    gtk_widget_ensure_style(view->title_label);
    gtk_widget_ensure_style(view->price_label);

    /* The price line gets the height it needs, one line or two, and the title
     * what is left of the text column: three lines beside a one-line price. */
    g_autofree gchar *price_line = nullptr;
    if (item->velmora_price && price_is_fresh(item->time_saved)) {
        price_line = g_markup_printf_escaped(kPriceMarkup, or_empty(view->our_price_text),
                                             item->velmora_price);
        if (text_lines(view->price_label, price_line) > 1) {
            g_free(price_line);
            price_line = g_markup_printf_escaped(
                kPriceMarkupTwoLines, or_empty(view->our_price_text), item->velmora_price);
        }
    }
    const int price_height =
        MAX(kPriceLineHeight, price_line ? text_height(view->price_label, price_line) : 0);
    const int title_height = kTextColumnHeight - price_height;
    gtk_widget_set_size_request(view->price_label, kTextColumnWidth, price_height);
    gtk_widget_set_size_request(view->title_label, kTextColumnWidth, title_height);

    if (item->title) {
        g_autofree gchar *title_line = fitted_title_line(view->title_label, item, title_height);
        gtk_label_set_markup(GTK_LABEL(view->title_label), title_line);
    }
    if (price_line)
        gtk_label_set_markup(GTK_LABEL(view->price_label), price_line);
    else
        gtk_label_set_text(GTK_LABEL(view->price_label), "");

    /* A screen reader reads the whole item, the title uncut. */
    g_autofree gchar *spoken = spoken_item(item, view);
    atk_object_set_name(gtk_widget_get_accessible(view->item_box), spoken);
}

void de_initialize_view(VelmoraView *view) {
    if (!view)
        return;
    clear_stored_data();
    remove_timeout(view);
    query_loader_free(view->url_catalogue);
    query_loader_free(view->text_catalogue);
    g_free(view->text_region);
    for (cairo_surface_t *picture : view->button_pictures)
        if (picture)
            cairo_surface_destroy(picture);
    g_free(view->our_price_text);
    g_free(view);
}

gint launch_browser(const gchar *address) {
    if (!is_web_address(address))
        address = kStorefrontHomePage;
    if (!osso_context)
        return OSSO_INVALID;
    return osso_rpc_run_with_defaults(osso_context, "osso_browser", "open_new_window", nullptr,
                                      DBUS_TYPE_STRING, address, DBUS_TYPE_BOOLEAN, FALSE,
                                      DBUS_TYPE_INVALID);
}
