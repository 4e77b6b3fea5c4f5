/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_view.cpp - the widget's card: the item layout (logo, feed title,
 * item picture, title and price lines, arrow buttons) and the message layout
 * (logo and one centred text), the translucent drawing of the card and the
 * arrow buttons, and the current item put into the layout. The texts are
 * fitted in velmora_title_fit.cpp, taps go to velmora_taps.cpp and the
 * keyboard path is in velmora_card_keys.cpp.
 */
#include "velmora_view.h"
#include "velmora_view_internal.h"

#include <string>

#include <hildon/hildon.h>

#include "velmora_paths.h"
#include "velmora_contract.h"
#include "velmora_price_age.h"
#include "velmora_card_part.h"
#include "velmora_taps.h"
#include "velmora_title_fit.h"
#include "velmora_regions.h"

/* Cairo's own types get g_autoptr() cleanups here; GTK+ 2 defines none. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC(cairo_t, cairo_destroy)
G_DEFINE_AUTOPTR_CLEANUP_FUNC(cairo_surface_t, cairo_surface_destroy)

/* The widget's libosso context; set and cleared by the plug-in instance. */
osso_context_t *osso_context = nullptr;

gboolean button_pressed = FALSE;
GtkWidget *pressed_arrow = nullptr;

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
constexpr const char *kNoPicture = "icons/Velmora_No_Picture.png";
constexpr const char *kUrlCatalogue = VELMORA_URLS_FILE;
constexpr const char *kTextCatalogue = VELMORA_APPLET_TEXTS_FILE;

/* Height of the title block in a layout without an item. */
constexpr int kTitleHeight = 64;
/* Height of the price line when it is empty. */
constexpr int kPriceLineHeight = 20;
/* Where the item row starts and how far the arrow column lies below its top. */
constexpr int kItemRowTop = 92;
constexpr int kDownButtonTop = 130;

constexpr const char *kTextDomain = "velmora";

QueryLoader *load_catalogue(const char *file) {
    return query_loader_new(velmora_data_path(file).c_str());
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

/* Makes the widget's own surface fully transparent wherever it is exposed, so
 * that the card's children are drawn over nothing. */
gboolean clear_exposed_area(GtkWidget *widget, GdkEventExpose *event, gpointer) {
    g_autoptr(cairo_t) cr = gdk_cairo_create(widget->window);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    gdk_cairo_region(cr, event->region);
    cairo_fill(cr);
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
    press_arrow(button);
    return TRUE;
}

/* A release anywhere on the card, a grab that the desktop broke, or an arrow
 * going away: no arrow stays drawn pressed. */
gboolean on_pointer_let_go(GtkWidget *, GdkEvent *, gpointer) {
    release_arrow();
    return FALSE;
}

void on_arrow_destroyed(GtkWidget *button, gpointer) {
    if (pressed_arrow == button) {
        pressed_arrow = nullptr;
        button_pressed = FALSE;
    }
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
    const bool drawn_pressed = button_pressed && pressed_arrow == button;
    paint_button_background(cr, button_picture(view, drawn_pressed ? pressed : normal), event);
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
    if (!settings)
        return velmora_region_logo(VELMORA_DEFAULT_REGION);
    g_autofree gchar *region = get_region_from_gconf();
    return velmora_region_logo(region);
}

/* An event box without a visible window that takes the events of its child. */
GtkWidget *new_input_box(GtkWidget *child) {
    GtkWidget *box = velmora_card_part_new();
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
    if (view->notice_timer_id != 0) {
        g_source_remove(view->notice_timer_id);
        view->notice_timer_id = 0;
    }

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
    GtkWidget *button = velmora_card_part_new();
    gtk_widget_set_size_request(button, kArrowButtonWidth, kArrowButtonHeight);
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(button), TRUE);
    gtk_event_box_set_above_child(GTK_EVENT_BOX(button), TRUE);
    GdkColor white;
    gdk_color_parse("white", &white);
    gtk_widget_modify_bg(button, GTK_STATE_NORMAL, &white);
    gtk_container_add(GTK_CONTAINER(button), image_from_data_picture(arrow));
    g_signal_connect(button, "button-press-event", G_CALLBACK(on_arrow_pressed), nullptr);
    g_signal_connect(button, "grab-broken-event", G_CALLBACK(on_pointer_let_go), nullptr);
    g_signal_connect(button, "destroy", G_CALLBACK(on_arrow_destroyed), nullptr);
    gtk_widget_set_app_paintable(button, TRUE);
    return button;
}

/* The item picture, 100 by 100, in the row with the text column of the title
 * and price lines; item_box takes the row's taps. */
void create_item_row(VelmoraView *view) {
    view->item_image = gtk_image_new();
    gtk_widget_set_size_request(view->item_image, kItemPictureSize, kItemPictureSize);

    view->title_label = create_label(kTextColumnWidth, kTitleHeight, "#004b91",
                                     "EmpSmallSystemFont", 0.0, 0.5, TRUE);
    /* Wrapped, so that a price longer than the column even in the smaller font
     * is still shown whole (show_current_item gives it the height it needs). */
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
}

/* Accessible names and roles of the item layout's parts. */
void name_item_parts(VelmoraView *view) {
    set_accessible(view->up_button, g_dgettext(kTextDomain, "Previous item"), ATK_ROLE_PUSH_BUTTON);
    set_accessible(view->down_button, g_dgettext(kTextDomain, "Next item"), ATK_ROLE_PUSH_BUTTON);
    set_accessible(view->item_box, nullptr, ATK_ROLE_LINK);
    atk_object_set_description(gtk_widget_get_accessible(view->item_box),
                               g_dgettext(kTextDomain, "Opens the item in the browser"));
    set_accessible(view->feed_title_box, nullptr, ATK_ROLE_LINK);
}

void connect_item_handlers(VelmoraView *view) {
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
    g_signal_connect(view->up_button, "expose-event", G_CALLBACK(on_up_button_expose), view);
    g_signal_connect(view->down_button, "expose-event", G_CALLBACK(on_down_button_expose), view);
}

/* The price line for the item, or NULL when no price is to be shown: only a
 * price stored at most an hour ago is. */
gchar *price_line_for(VelmoraView *view, const VelmoraItemData *item) {
    if (!item->velmora_price || !price_is_fresh(item->time_saved))
        return nullptr;
    return fitted_price_line(view->price_label, view->our_price_text, item->velmora_price,
                             kTextColumnWidth);
}

/* The picture shown for the item: its own, else the placeholder. */
GdkPixbuf *shown_picture(VelmoraView *view, const VelmoraItemData *item) {
    if (item->picture)
        return item->picture;
    if (!view->placeholder_picture)
        view->placeholder_picture = load_data_picture(kNoPicture);
    return view->placeholder_picture;
}

} // namespace

VelmoraView *initialize_view(GtkWidget *widget) {
    auto *view = g_new0(VelmoraView, 1);
    view->widget = widget;

    gtk_widget_set_size_request(widget, kCardWidth, kCardHeight);
    gtk_widget_set_app_paintable(widget, TRUE);
    GdkColormap *rgba = gdk_screen_get_rgba_colormap(gdk_screen_get_default());
    if (rgba)
        gtk_widget_set_colormap(widget, rgba);
    g_signal_connect(widget, "expose-event", G_CALLBACK(clear_exposed_area), nullptr);
    g_signal_connect(widget, "button-release-event", G_CALLBACK(on_pointer_let_go), nullptr);
    /* The widget may go before the view: its pointer is then cleared. */
    g_object_add_weak_pointer(G_OBJECT(widget), reinterpret_cast<gpointer *>(&view->widget));
    listen_to_card_keys(view);

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
    show_feed_title(view);
    g_free(view->our_price_text);
    view->our_price_text = region_text(view, "our_price");
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

    create_item_row(view);
    name_item_parts(view);
    set_feed_title_and_our_price_string(view, settings);

    GtkFixed *fixed = GTK_FIXED(view->fixed);
    gtk_fixed_put(fixed, view->feed_title_box, kFeedTitleLeft, kLogoBandHeight);
    gtk_fixed_put(fixed, view->item_box, 0, kItemRowTop);
    gtk_fixed_put(fixed, view->up_button, kArrowColumnLeft, kLogoBandHeight);
    gtk_fixed_put(fixed, view->down_button, kArrowColumnLeft, kDownButtonTop);

    connect_item_handlers(view);
    connect_card_keys(view);
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
    connect_card_keys(view);
    gtk_widget_show_all(view->fixed);
}

void show_current_item(VelmoraView *view) {
    carousel_fill_window();
    VelmoraItemData *item = carousel_current_item();
    /* The item widgets exist only while the item layout is shown. */
    if (!view || !item || !view->item_image || !view->title_label || !view->price_label)
        return;

    gtk_image_set_from_pixbuf(GTK_IMAGE(view->item_image), shown_picture(view, item));

    /* The labels are measured in their own fonts, which they take with their
     * style; a label not yet sized or drawn may not have it yet. */
    gtk_widget_ensure_style(view->title_label);
    gtk_widget_ensure_style(view->price_label);

    /* The price line is one line (or, for a price wider than the column, the
     * lines it needs), and the title takes what is left of the column. */
    g_autofree gchar *price_line = price_line_for(view, item);
    const int price_height = MAX(
        kPriceLineHeight,
        price_line ? measure_markup(view->price_label, price_line, kTextColumnWidth).height : 0);
    const int title_height = kTextColumnHeight - price_height;
    gtk_widget_set_size_request(view->price_label, kTextColumnWidth, price_height);
    gtk_widget_set_size_request(view->title_label, kTextColumnWidth, title_height);

    if (item->title) {
        g_autofree gchar *title_line =
            fitted_title_line(view->title_label, item, kTextColumnWidth, title_height);
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

void show_feed_title(VelmoraView *view) {
    if (view->message_shown || !view->feed_title_label)
        return;
    GSList *categories = get_categories_from_gconf();
    const gchar *feed = categories && categories->data
                            ? static_cast<const gchar *>(categories->data)
                            : VELMORA_DEFAULT_CATEGORY;
    g_autofree gchar *feed_title = region_text(view, feed);
    gtk_label_set_text(GTK_LABEL(view->feed_title_label), or_empty(feed_title));
    if (view->feed_title_box)
        atk_object_set_name(gtk_widget_get_accessible(view->feed_title_box), or_empty(feed_title));
    g_slist_free_full(categories, g_free);
}

void press_arrow(GtkWidget *button) {
    if (pressed_arrow && pressed_arrow != button)
        gtk_widget_queue_draw(pressed_arrow);
    pressed_arrow = button;
    button_pressed = TRUE;
    gtk_widget_queue_draw(button);
}

void release_arrow(void) {
    if (pressed_arrow)
        gtk_widget_queue_draw(pressed_arrow);
    pressed_arrow = nullptr;
    button_pressed = FALSE;
}

void de_initialize_view(VelmoraView *view) {
    if (!view)
        return;
    clear_stored_data();
    remove_timeout(view);
    if (view->widget) {
        forget_card_keys(view);
        g_object_remove_weak_pointer(G_OBJECT(view->widget),
                                     reinterpret_cast<gpointer *>(&view->widget));
    }
    query_loader_free(view->url_catalogue);
    query_loader_free(view->text_catalogue);
    g_free(view->text_region);
    for (cairo_surface_t *picture : view->button_pictures)
        if (picture)
            cairo_surface_destroy(picture);
    g_clear_object(&view->placeholder_picture);
    if (view->notice_timer_id != 0)
        g_source_remove(view->notice_timer_id);
    g_free(view->our_price_text);
    g_free(view);
}
