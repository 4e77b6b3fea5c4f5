/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_carousel.cpp - the carousel: its own copy of the stored items with
 * their pictures, the shown position, the 5000 ms tick and its start and stop
 * rules, the arrow buttons' steps, and the refresh that replaces the items.
 *
 * Only the records near the shown one carry their decoded picture: the shown
 * item and the two before and after it, so that a step either way, and the one
 * after it, finds its picture ready. A step decodes the one picture that comes
 * into that window and drops the one that leaves it, so what the widget holds
 * does not grow with the list. A refresh copies the new list but decodes only
 * pictures of the window whose files it has not decoded before (same path and
 * file identity, velmora_file_identity.h); the others are taken over from the
 * window shown so far.
 */
#include "velmora_file_identity.h"
#include "velmora_view.h"
#include "velmora_view_internal.h"

#include <glib/gstdio.h>

#include <algorithm>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

VelmoraItemDataArray *stored_data = nullptr;
int current_index = 0;
int item_count = 0;

namespace {

constexpr guint kTickMilliseconds = 5000;
/* How far from the shown item a record keeps its picture. */
constexpr int kPictureReach = 2;
/* Pictures with a side longer than this are not decoded at all: a small file
 * can claim a size that would take gigabytes once decoded. */
constexpr int kLargestDecodedSide = 4096;
/* No thumbnail comes near this; a larger file in the cache is not read. */
constexpr goffset kLargestPictureFile = 16 * 1024 * 1024;

/* "size-prepared" of the picture loader: refuses oversized pictures and
 * scales the others down, keeping their shape, to fit the item picture. */
void fit_item_picture(GdkPixbufLoader *loader, int width, int height, gpointer) {
    if (width > kLargestDecodedSide || height > kLargestDecodedSide) {
        gdk_pixbuf_loader_set_size(loader, 0, 0); /* a zero size stops the decoding */
        return;
    }
    if (width <= kItemPictureSize && height <= kItemPictureSize)
        return;
    if (width >= height)
        gdk_pixbuf_loader_set_size(loader, kItemPictureSize,
                                   MAX(1, height * kItemPictureSize / width));
    else
        gdk_pixbuf_loader_set_size(loader, MAX(1, width * kItemPictureSize / height),
                                   kItemPictureSize);
}

/* The picture in a file of at most kLargestPictureFile bytes; NULL when it is
 * broken or too large once decoded. */
GdkPixbuf *decode_item_picture(const gchar *path) {
    g_autofree gchar *contents = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(path, &contents, &length, nullptr) || length > kLargestPictureFile)
        return nullptr;
    g_autoptr(GdkPixbufLoader) loader = gdk_pixbuf_loader_new();
    g_signal_connect(loader, "size-prepared", G_CALLBACK(fit_item_picture), nullptr);
    const gboolean written = gdk_pixbuf_loader_write(
        loader, reinterpret_cast<const guchar *>(contents), length, nullptr);
    const gboolean closed = gdk_pixbuf_loader_close(loader, nullptr);
    GdkPixbuf *picture = written && closed ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
    return picture ? GDK_PIXBUF(g_object_ref(picture)) : nullptr;
}

/* A decoded picture (NULL for a file that does not decode) with the file it was
 * decoded from. Picture ids, and so the cache's file names, start again after the
 * plug-in clears the cache, so the path alone does not tell that the file is the
 * same one. */
struct DecodedPicture {
    VelmoraFileIdentity file;
    GdkPixbuf *picture;
};

/* The pictures of the window by path: a step or a refresh decodes only the
 * files it has not decoded before, and keeps only those of the new window. */
using PictureCache = std::unordered_map<std::string, DecodedPicture>;
PictureCache picture_cache;
/* The indexes of stored_data whose records carry a picture. */
std::vector<guint> window_indexes;

void drop_pictures(PictureCache &cache) {
    for (auto &entry : cache)
        if (entry.second.picture)
            g_object_unref(entry.second.picture);
    cache.clear();
}

/* The picture of an item, a new reference or NULL when the file is missing,
 * broken or too large. Taken from `previous` while the path names the same file,
 * else decoded; either way remembered in `current`. */
GdkPixbuf *item_picture(const gchar *path, PictureCache &previous, PictureCache &current) {
    GStatBuf status;
    if (!path || g_stat(path, &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size > kLargestPictureFile)
        return nullptr;
    const VelmoraFileIdentity file = velmora_file_identity(status);
    auto known = current.find(path);
    if (known == current.end() || known->second.file != file) {
        GdkPixbuf *picture = nullptr;
        auto earlier = previous.find(path);
        if (earlier != previous.end() && earlier->second.file == file)
            std::swap(picture, earlier->second.picture);
        else
            picture = decode_item_picture(path);
        if (known != current.end() && known->second.picture)
            g_object_unref(known->second.picture);
        known = current.insert_or_assign(path, DecodedPicture{file, picture}).first;
    }
    return known->second.picture ? GDK_PIXBUF(g_object_ref(known->second.picture)) : nullptr;
}

/* The carousel's own record of an item: copies of its texts; its picture comes
 * when it enters the window. */
VelmoraItemData *carousel_record(const VelmoraItemData *source) {
    VelmoraItemData *record = velmora_item_data_new();
    if (!source)
        return record;
    record->image_path = g_strdup(source->image_path);
    record->title = g_strdup(source->title);
    record->item_url = g_strdup(source->item_url);
    record->authors = g_strdup(source->authors);
    record->velmora_price = g_strdup(source->velmora_price);
    record->time_saved = g_strdup(source->time_saved);
    record->store = g_strdup(source->store);
    record->rank = g_strdup(source->rank);
    return record;
}

bool has_items() {
    return item_count > 0 && stored_data && stored_data->items && stored_data->items->len > 0;
}

/* index moved by step, wrapping at both ends of count items. */
int wrapped_index(int index, int step, int count) {
    return ((index + step) % count + count) % count;
}

VelmoraItemData *record_at(guint index) {
    return stored_data && stored_data->items && index < stored_data->items->len
               ? g_array_index(stored_data->items, VelmoraItemData *, index)
               : nullptr;
}

/* The indexes within kPictureReach of the shown one, each once. */
std::vector<guint> window_around(int index, int count) {
    std::vector<guint> window;
    index = std::clamp(index, 0, count - 1);
    for (int step = -kPictureReach; step <= kPictureReach; ++step) {
        const guint at = static_cast<guint>(wrapped_index(index, step, count));
        if (std::find(window.begin(), window.end(), at) == window.end())
            window.push_back(at);
    }
    return window;
}

/* Gives the records of the window around current_index their pictures, taken
 * from `source` (the window's pictures so far) where the file is the same, and
 * takes them from the records that left it. */
void fill_window(PictureCache &source) {
    std::vector<guint> window;
    if (has_items())
        window = window_around(current_index, static_cast<int>(stored_data->items->len));
    for (guint at : window_indexes)
        if (VelmoraItemData *record = record_at(at);
            record && std::find(window.begin(), window.end(), at) == window.end())
            g_clear_object(&record->picture);
    PictureCache current;
    for (guint at : window) {
        VelmoraItemData *record = record_at(at);
        if (!record)
            continue;
        GdkPixbuf *picture = item_picture(record->image_path, source, current);
        g_clear_object(&record->picture);
        record->picture = picture;
    }
    window_indexes = std::move(window);
    drop_pictures(source);
    picture_cache.swap(current);
}

/* Shared by both arrow buttons: the button's normal look returns on every
 * release or leave, and the carousel steps when the position the event carries
 * lies inside the button, its edges included. Release and crossing events keep
 * their position in different places, so it is read through the event. */
gboolean step_carousel(GtkWidget *button, GdkEvent *event, VelmoraView *view, int step) {
    release_arrow();
    gdouble x = 0, y = 0;
    if (!event || (event->type != GDK_BUTTON_RELEASE && event->type != GDK_LEAVE_NOTIFY) ||
        !gdk_event_get_coords(event, &x, &y) || !has_items())
        return FALSE;
    GdkEventButton position = {};
    position.x = x;
    position.y = y;
    if (!event_inside_widget(button, &position))
        return FALSE;
    step_items(view, step);
    return FALSE;
}

} // namespace

void step_items(VelmoraView *view, int step) {
    if (!has_items())
        return;
    current_index = wrapped_index(current_index, step, item_count);
    show_current_item(view);
    restart_scrolling(view);
}

gboolean carousel_tick(gpointer data) {
    if (has_items()) {
        current_index = wrapped_index(current_index, 1, item_count);
        show_current_item(static_cast<VelmoraView *>(data));
    }
    return TRUE;
}

gboolean up_step_handler(GtkWidget *button, GdkEvent *event, gpointer data) {
    return step_carousel(button, event, static_cast<VelmoraView *>(data), -1);
}

gboolean down_step_handler(GtkWidget *button, GdkEvent *event, gpointer data) {
    return step_carousel(button, event, static_cast<VelmoraView *>(data), 1);
}

void remove_timeout(VelmoraView *view) {
    if (view && view->timer_id != 0) {
        g_source_remove(view->timer_id);
        view->timer_id = 0;
    }
}

void restart_scrolling(VelmoraView *view) {
    if (!view || !stored_data || view->message_shown)
        return;
    remove_timeout(view);
    view->timer_id = g_timeout_add(kTickMilliseconds, carousel_tick, view);
}

void pause_scrolling(VelmoraView *view) {
    if (!view || !stored_data || view->message_shown)
        return;
    remove_timeout(view);
}

VelmoraItemData *carousel_current_item(void) {
    return current_index < 0 ? nullptr : record_at(static_cast<guint>(current_index));
}

void carousel_fill_window(void) {
    if (!stored_data)
        return;
    PictureCache source;
    source.swap(picture_cache);
    fill_window(source);
}

void clear_stored_data(void) {
    g_clear_pointer(&stored_data, velmora_item_data_array_free);
    window_indexes.clear();
    drop_pictures(picture_cache);
}

void update_view(VelmoraView *view, VelmoraSettings *settings, VelmoraItemDataArray *items,
                 gboolean restart) {
    if (!view || !items || !items->items || items->items->len == 0)
        return;
    if (view->message_shown)
        create_item_view(view, settings);

    item_count = static_cast<int>(items->items->len);
    if (current_index > item_count - 1)
        current_index = item_count - 1;
    if (current_index < 0)
        current_index = 0;

    /* The pictures of the window shown so far are kept until the new list has
     * taken those of the same files (when the current item is shown, which fills
     * its window); the rest go with the old list. */
    PictureCache previous;
    previous.swap(picture_cache);
    clear_stored_data();
    stored_data = velmora_item_data_array_new();
    for (guint i = 0; i < items->items->len; ++i) {
        VelmoraItemData *record =
            carousel_record(g_array_index(items->items, VelmoraItemData *, i));
        g_array_append_val(stored_data->items, record);
    }
    picture_cache.swap(previous);

    show_current_item(view);
    if (restart)
        restart_scrolling(view);
}
