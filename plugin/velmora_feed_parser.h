/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_feed_parser.h - the feed parser's parse context and its exported
 * helpers. The parser is an event-driven (SAX version 1) reader of the feed
 * documents of a run; during a run it also stores each item the moment it
 * closes and reports it to the daemon.
 */
#ifndef VELMORA_FEED_PARSER_H
#define VELMORA_FEED_PARSER_H

#include "velmora_service_plugin.h"

G_BEGIN_DECLS

/* Every text the parser keeps is at most this many bytes (cut at a character
 * boundary): a feed can make a single text grow without end, and nothing shown
 * on the widget needs more. */
#define VELMORA_MAX_TEXT_BYTES (64 * 1024)

/* At most this many items are taken from one run's documents; later items are
 * dropped. Every stored item makes the item store walk all items stored so far,
 * so the cost of a run grows with the square of its items. */
#define VELMORA_MAX_ITEMS_PER_RUN 1000

typedef struct VelmoraFeedPatterns VelmoraFeedPatterns;
struct VelmoraStorePass;
struct _xmlParserCtxt;

/* Length and allocated size of a text that grows chunk by chunk. */
typedef struct {
    gsize length;
    gsize capacity;
    gboolean full; /* reached VELMORA_MAX_TEXT_BYTES: further chunks are dropped */
} VelmoraTextBuffer;

/* The user data of the SAX handlers for one call of
 * do_velmora_item_parse_and_save. */
typedef struct {
    int in_item;
    VelmoraItemArray *items;
    VelmoraItem *current_item;
    const gchar *current_element; /* a constant: one of the names the parser reads */
    gchar *rank_text;
    QueryLoader *urls;
    DBInterface **database_slot; /* read anew at every use */
    FileWatcher **watcher_slot;  /* the database file's watcher; null: a deletion goes unseen */
    const gchar *database_path;
    QueryLoader *queries;
    const gchar *image_cache_dir;
    const gchar *region;
    /* The categories (comma-separated) the documents were fetched for; null when
     * the caller does not say. */
    const gchar *categories;
    gchar *creator_text;
    gpointer user_data;
    VelmoraStatusCallback callback;

    /* The expressions, compiled once per call. */
    VelmoraFeedPatterns *patterns;
    /* The region's link suffix (null when the catalogue has none), looked up once. */
    gchar *link_suffix;
    /* How far the growing texts of the current item and creator_text have got. */
    VelmoraTextBuffer title_buffer;
    VelmoraTextBuffer store_buffer;
    VelmoraTextBuffer link_buffer;
    VelmoraTextBuffer authors_buffer;
    VelmoraTextBuffer creator_buffer;

    /* The document's parser: an item during which it reported a flaw it stepped over
     * is dropped, since what it holds is only part of what the feed meant. */
    struct _xmlParserCtxt *parser;
    /* Errors the parser reported in the current document; past a bound it is stopped. */
    guint flaws;

    /* Storing during a run: how the pass's items go into the store, the first item not
     * handed to it for the current database file, whether a failed insert has been
     * logged, whether the latest stored item's status waits for the store to show it,
     * and whether the cap on items has been logged. */
    struct VelmoraStorePass *store_pass;
    guint unstored_from;
    gboolean failure_logged;
    gboolean status_pending;
    gboolean cap_logged;
} VelmoraParseContext;

/* do_velmora_item_parse_and_save for an update run that also hands in the categories
 * the documents were fetched for (recorded in the store with region and items), the slot
 * of the database file's watcher and the file's path: an item completed after the file was
 * deleted is stored into a new file (ensure_database), together with the items that
 * went into the deleted one. */
VelmoraItemArray *velmora_item_parse_and_store(VelmoraItemRawData *raw, const gchar *region,
                                               const gchar *categories, QueryLoader *urls,
                                               DBInterface **database_slot,
                                               FileWatcher **watcher_slot,
                                               const gchar *database_path, QueryLoader *queries,
                                               gpointer user_data, const gchar *image_cache_dir,
                                               VelmoraStatusCallback callback);

/* Takes the picture address out of an HTML fragment into the current item's
 * image_url and raises its size; frees chunk. */
void parse_image(VelmoraParseContext *context, gchar *chunk);
/* Replaces every "_SL75_" of the current item's image_url by "_SL100_". */
void set_image_scale(VelmoraParseContext *context);

G_END_DECLS

#endif /* VELMORA_FEED_PARSER_H */
