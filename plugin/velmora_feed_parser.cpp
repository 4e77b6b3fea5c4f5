/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_feed_parser.cpp - turns the feed documents of a run into items with a
 * libxml2 SAX version 1 parser, and during a run stores each item, has its
 * picture fetched and reports status 0 the moment its element closes.
 *
 * The handler set has only the predefined-entity lookup besides the document,
 * element and text handlers: no DTD, entity declaration or subset handler, so
 * the parser never loads an external DTD or entity and never expands an entity
 * a document declares (a reference to one is a fatal error of that document).
 * A document that breaks off keeps the items completed before the break: they
 * have already been stored and shown, which is the point of storing as we go. A flaw
 * the parser can step over (a raw control character, an undeclared entity such as
 * &nbsp;) is stepped over in recovery mode, and a document whose bytes do not fit its
 * encoding is read as Windows-1252 (velmora_feed_encoding.cpp). Errors are only
 * counted, and a document with too many is stopped.
 *
 * The stored items of the previous run stay until this run has an item to put in
 * their place, and the run writes only what differs from them (velmora_store_pass.cpp),
 * so a run whose documents bring no item (a portal page, a feed cut before its first
 * item) leaves the store as it was, and a reader never finds it empty. Status 0 is
 * reported only for an item whose row holds it, once a reader can see it.
 */
#include "velmora_feed_parser.h"
#include "velmora_feed_encoding.h"
#include "velmora_feed_patterns.h"
#include "velmora_item_store.h"
#include "velmora_store_pass.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/entities.h>

#include <cstring>

namespace {

/* The names of the elements the parser reads. current_element points at one of
 * these (or is absent), so the handlers compare pointers, not texts. */
constexpr char kItem[] = "item";
constexpr char kRank[] = "rank";
constexpr char kTitle[] = "title";
constexpr char kStore[] = "store";
constexpr char kListPrice[] = "listPriceAmount";
constexpr char kOurPrice[] = "ourPriceAmount";
constexpr char kCreator[] = "creator";
constexpr char kImage[] = "image";
constexpr char kLink[] = "link";

/* The parser's own constant for an element name (compared exactly, prefix and
 * case included), or null for an element it does not read. Called for every
 * element start and end, so it picks the one candidate by the name's first
 * characters and compares only that. */
const gchar *known_element(const xmlChar *name) {
    const gchar *text = reinterpret_cast<const gchar *>(name);
    const gchar *candidate = nullptr;
    switch (text[0]) {
    case 'i':
        candidate = text[1] == 't' ? kItem : kImage;
        break;
    case 'l':
        /* "li" begins both; text[2] is read only when text[1] was no terminator */
        candidate = text[1] == 'i' && text[2] == 'n' ? kLink : kListPrice;
        break;
    case 'r':
        candidate = kRank;
        break;
    case 't':
        candidate = kTitle;
        break;
    case 's':
        candidate = kStore;
        break;
    case 'o':
        candidate = kOurPrice;
        break;
    case 'c':
        candidate = kCreator;
        break;
    default:
        return nullptr;
    }
    return std::strcmp(text, candidate) == 0 ? candidate : nullptr;
}

DBInterface *current_database(const VelmoraParseContext *context) {
    return context->database_slot ? *context->database_slot : nullptr;
}

/* Room a growing text gets at first: titles and links arrive in several
 * chunks, and most fit into this without a second allocation. */
constexpr gsize kFirstTextCapacity = 128;

/* How many bytes of text[0, length) fit into room, cut at a character start. */
gsize fitting_prefix(const gchar *text, gsize length, gsize room) {
    if (length <= room)
        return length;
    gsize cut = room;
    while (cut > 0 && (static_cast<guchar>(text[cut]) & 0xC0) == 0x80)
        cut--;
    return cut;
}

/* A NUL-terminated copy of a chunk, at most VELMORA_MAX_TEXT_BYTES long. */
gchar *copy_chunk(const gchar *chunk, gsize length) {
    return g_strndup(chunk, fitting_prefix(chunk, length, VELMORA_MAX_TEXT_BYTES));
}

/* Appends to a text that grows chunk by chunk; an absent text counts as empty
 * and becomes present. Stops growing at VELMORA_MAX_TEXT_BYTES. */
void append_text(gchar **text, VelmoraTextBuffer *buffer, const gchar *chunk, gsize length) {
    if (!*text)
        *buffer = VelmoraTextBuffer{};
    if (buffer->full)
        return;
    gsize take = fitting_prefix(chunk, length, VELMORA_MAX_TEXT_BYTES - buffer->length);
    if (take < length)
        buffer->full = TRUE;
    gsize needed = buffer->length + take + 1;
    if (needed > buffer->capacity) {
        buffer->capacity = MAX(needed, MAX(buffer->capacity * 2, kFirstTextCapacity));
        *text = static_cast<gchar *>(g_realloc(*text, buffer->capacity));
    }
    std::memcpy(*text + buffer->length, chunk, take);
    buffer->length += take;
    (*text)[buffer->length] = '\0';
}

/* Puts a new owned value in place of a growing text. */
void replace_text(gchar **text, VelmoraTextBuffer *buffer, gchar *value) {
    g_free(*text);
    *text = value;
    gsize length = value ? std::strlen(value) : 0;
    *buffer = VelmoraTextBuffer{length, value ? length + 1 : 0, length >= VELMORA_MAX_TEXT_BYTES};
}

void drop_creator_text(VelmoraParseContext *context) {
    g_free(context->creator_text);
    context->creator_text = nullptr;
    context->creator_buffer = VelmoraTextBuffer{};
}

/* At the end of "link": shorten the link and add the region's suffix. */
void finish_link(VelmoraParseContext *context) {
    VelmoraItem *item = context->current_item;
    if (!item->link)
        return; /* no link text: leave the link absent rather than a bare suffix */
    replace_text(&item->link, &context->link_buffer,
                 velmora_pattern_rewrite_link(context->patterns, item->link));
    if (context->link_suffix)
        append_text(&item->link, &context->link_buffer, context->link_suffix,
                    std::strlen(context->link_suffix));
}

/* At the end of "creator": add the author name found in its text. The text is
 * dropped in every case, so it never carries over into a later creator. */
void finish_creator(VelmoraParseContext *context) {
    VelmoraItem *item = context->current_item;
    if (item && context->creator_text && std::strstr(context->creator_text, "field-author=")) {
        g_autofree gchar *name = velmora_pattern_author(context->patterns, context->creator_text);
        if (name && *name) {
            if (item->authors && *item->authors)
                append_text(&item->authors, &context->authors_buffer, ", ", 2);
            append_text(&item->authors, &context->authors_buffer, name, std::strlen(name));
        }
    }
    drop_creator_text(context);
}

/* A database file deleted during the run is made anew before the next insert, and
 * the pass's items stored so far go into the new file with the next one. */
void reopen_if_deleted(VelmoraParseContext *context) {
    if (!context->watcher_slot || !file_watcher_is_file_deleted(*context->watcher_slot))
        return;
    ensure_database(context->database_slot, context->watcher_slot, context->database_path,
                    context->queries);
    context->store_pass->restart();
    context->unstored_from = 0;
}

/* Stores the item that just completed (the last of items), with those not yet in the
 * current database file; true when its row holds it. A failure is logged once per
 * pass, and the run goes on. */
bool store_completed_item(VelmoraParseContext *context) {
    reopen_if_deleted(context);
    GArray *items = context->items->items;
    std::string error;
    const guint from = context->unstored_from;
    const bool stored = context->store_pass->store(
        current_database(context), context->queries, &g_array_index(items, VelmoraItem *, from),
        items->len - from, {context->region, context->categories}, &error);
    context->unstored_from = items->len;
    if (!stored && !context->failure_logged) {
        g_warning("Cannot store an item: %s", error.c_str());
        context->failure_logged = TRUE;
    }
    return stored;
}

/* Status 0 for a stored item: at once when a reader sees it, else when the next item
 * is stored or the pass ends; the one held back so far goes first. */
void report_stored(VelmoraParseContext *context) {
    if (context->status_pending) {
        context->status_pending = FALSE;
        context->callback(context->user_data, VELMORA_STATUS_ITEM_STORED);
    }
    if (context->store_pass->defers())
        context->status_pending = TRUE;
    else
        context->callback(context->user_data, VELMORA_STATUS_ITEM_STORED);
}

/* At the end of "item": the item joins the result list and, during a run, is
 * stored, its picture fetched and status 0 reported. */
void complete_item(VelmoraParseContext *context) {
    VelmoraItem *item = context->current_item;
    context->current_item = nullptr;
    if (context->items->items->len >= VELMORA_MAX_ITEMS_PER_RUN) {
        if (!context->cap_logged)
            g_message("The feeds hold more than %d items; the later ones are left out",
                      VELMORA_MAX_ITEMS_PER_RUN);
        context->cap_logged = TRUE;
        velmora_item_free(item);
        return;
    }
    if (context->parser && context->parser->errNo != 0) {
        velmora_item_free(item); /* flawed: the flaw costs this item */
        return;
    }
    item->rank = g_strdup(context->rank_text);
    g_array_append_val(context->items->items, item);
    if (!context->callback || !store_completed_item(context))
        return;
    do_velmora_get_and_store_images(current_database(context), context->queries,
                                    context->image_cache_dir);
    report_stored(context);
}

/* After the last document: the pass's changes take effect, then the status held back. */
void finish_storing(VelmoraParseContext *context) {
    if (!context->callback)
        return;
    context->store_pass->finish(current_database(context), context->queries,
                                context->image_cache_dir);
    if (context->status_pending) {
        context->status_pending = FALSE;
        context->callback(context->user_data, VELMORA_STATUS_ITEM_STORED);
    }
}

/* What a document leaves behind is not carried into the next one. */
void end_document_state(VelmoraParseContext *context) {
    g_free(context->rank_text);
    context->rank_text = nullptr;
    context->current_element = nullptr;
    drop_creator_text(context);
    velmora_item_free(context->current_item); /* an item the document left open */
    context->current_item = nullptr;
    context->in_item = 0;
}

/* ---- SAX handlers ---- */

/* A document with this many errors is stopped there: it is not a feed with a stray flaw,
 * and stepping over millions of them would cost seconds. */
constexpr guint kMaxFlawsPerDocument = 64;

void on_error(void *user_data, const char *, ...) {
    auto *context = static_cast<VelmoraParseContext *>(user_data);
    if (++context->flaws == kMaxFlawsPerDocument && context->parser)
        xmlStopParser(context->parser);
}

xmlEntityPtr on_get_entity(void *, const xmlChar *name) {
    return xmlGetPredefinedEntity(name);
}

void on_start_document(void *user_data) {
    static_cast<VelmoraParseContext *>(user_data)->in_item = 0;
}

void on_end_document(void *) {}

void on_start_element(void *user_data, const xmlChar *name, const xmlChar **) {
    auto *context = static_cast<VelmoraParseContext *>(user_data);
    context->current_element = known_element(name);
    if (context->current_element != kItem)
        return;
    if (!context->items)
        context->items = velmora_item_array_new();
    context->in_item = 1;
    velmora_item_free(context->current_item); /* an item opened inside another replaces it */
    context->current_item = g_new0(VelmoraItem, 1);
    if (context->parser)
        context->parser->errNo = 0; /* flaws before the item are not the item's */
    context->title_buffer = context->store_buffer = VelmoraTextBuffer{};
    context->link_buffer = context->authors_buffer = VelmoraTextBuffer{};
}

void on_end_element(void *user_data, const xmlChar *name) {
    auto *context = static_cast<VelmoraParseContext *>(user_data);
    const gchar *element = known_element(name);
    context->current_element = nullptr;
    if (context->in_item && context->current_item && element == kLink)
        finish_link(context);
    if (element == kItem) {
        context->in_item = 0;
        if (context->current_item)
            complete_item(context);
    } else if (element == kCreator) {
        finish_creator(context);
    }
}

void on_characters(void *user_data, const xmlChar *characters, int length) {
    auto *context = static_cast<VelmoraParseContext *>(user_data);
    const gchar *element = context->current_element;
    const gchar *chunk = reinterpret_cast<const gchar *>(characters);
    if (!element || length < 0)
        return;
    gsize size = static_cast<gsize>(length);
    const std::string readable = velmora_feed_readable_text(chunk, size);
    if (!readable.empty()) {
        chunk = readable.data();
        size = readable.size();
    }
    if (element == kRank) {
        g_free(context->rank_text);
        context->rank_text = copy_chunk(chunk, size);
    }
    VelmoraItem *item = context->current_item;
    if (!context->in_item || !item)
        return;
    if (element == kTitle) {
        append_text(&item->title, &context->title_buffer, chunk, size);
    } else if (element == kStore) {
        append_text(&item->store, &context->store_buffer, chunk, size);
    } else if (element == kListPrice) {
        g_free(item->list_price);
        item->list_price = copy_chunk(chunk, size);
    } else if (element == kOurPrice) {
        gsize kept = fitting_prefix(chunk, size, VELMORA_MAX_TEXT_BYTES);
        g_autofree gchar *price = g_strndup(chunk, kept);
        g_clear_pointer(&item->our_price, g_free);
        if (velmora_pattern_is_price(context->patterns, price, kept))
            item->our_price = static_cast<gchar *>(g_steal_pointer(&price));
    } else if (element == kCreator) {
        append_text(&context->creator_text, &context->creator_buffer, chunk, size);
    } else if (element == kImage) {
        parse_image(context, copy_chunk(chunk, size));
    } else if (element == kLink) {
        append_text(&item->link, &context->link_buffer, chunk, size);
    }
}

/* Parses one document with the handler set, in libxml2's recovery mode: a stray control
 * character, an undeclared entity or a broken tag costs what it breaks (at most the item
 * it is in), not every item after it. A document cut short still ends at the cut. Bytes
 * not valid in the document's encoding are read as Windows-1252. */
void parse_document(xmlSAXHandler *handler, VelmoraParseContext *context, const GArray *document) {
    const std::string readable =
        velmora_feed_readable_copy(reinterpret_cast<const guint8 *>(document->data), document->len);
    const char *bytes = readable.empty() ? document->data : readable.data();
    const gsize length = readable.empty() ? document->len : readable.size();
    if (length > G_MAXINT)
        return;
    xmlParserCtxtPtr parser = xmlCreateMemoryParserCtxt(bytes, static_cast<int>(length));
    if (!parser)
        return;
    xmlSAXHandlerPtr own = parser->sax;
    parser->sax = handler; /* SAX version 1: xmlParseDocument sees `initialized` 0 */
    parser->userData = context;
    parser->recovery = 1;
    context->parser = parser;
    context->flaws = 0;
    xmlParseDocument(parser);
    context->parser = nullptr;
    parser->sax = own;
    parser->userData = nullptr;
    /* A document type declaration makes the parser build a document of its own to hold
     * it (and its entities), which the context does not free. */
    if (parser->myDoc) {
        xmlFreeDoc(parser->myDoc);
        parser->myDoc = nullptr;
    }
    xmlFreeParserCtxt(parser);
}

} // namespace

extern "C" {

void parse_image(VelmoraParseContext *context, gchar *chunk) {
    if (context && chunk && context->current_item) {
        gchar *address = velmora_pattern_picture_address(context->patterns, chunk);
        if (address) {
            g_free(context->current_item->image_url);
            context->current_item->image_url = address;
            set_image_scale(context);
        }
    }
    g_free(chunk);
}

void set_image_scale(VelmoraParseContext *context) {
    if (!context || !context->current_item || !context->current_item->image_url)
        return;
    VelmoraItem *item = context->current_item;
    gchar *scaled = velmora_pattern_scale_picture(context->patterns, item->image_url);
    g_free(item->image_url);
    item->image_url = scaled;
}

VelmoraItemArray *velmora_item_parse_and_store(VelmoraItemRawData *raw, const gchar *region,
                                               const gchar *categories, QueryLoader *urls,
                                               DBInterface **database_slot,
                                               FileWatcher **watcher_slot,
                                               const gchar *database_path, QueryLoader *queries,
                                               gpointer user_data, const gchar *image_cache_dir,
                                               VelmoraStatusCallback callback) {
    xmlInitParser();
    auto *context = g_new0(VelmoraParseContext, 1);
    context->items = velmora_item_array_new();
    context->urls = urls;
    context->database_slot = database_slot;
    context->watcher_slot = database_path ? watcher_slot : nullptr;
    context->database_path = database_path;
    context->queries = queries;
    context->image_cache_dir = image_cache_dir;
    context->region = region;
    context->categories = categories;
    context->user_data = user_data;
    context->callback = callback;
    context->patterns = velmora_feed_patterns_new();
    context->store_pass = new VelmoraStorePass();
    if (callback)
        velmora_begin_picture_pass();
    /* The catalogue does not change during a parse: the suffix is looked up once. */
    context->link_suffix = query_loader_load_query_by_section(urls, region, "link_url_suffix");

    /* SAX version 1: `initialized` stays 0, so elements arrive by plain name
     * and CDATA content reaches on_characters in one piece. */
    g_autofree xmlSAXHandler *handler = g_new0(xmlSAXHandler, 1);
    handler->getEntity = on_get_entity;
    handler->startDocument = on_start_document;
    handler->endDocument = on_end_document;
    handler->startElement = on_start_element;
    handler->endElement = on_end_element;
    handler->characters = on_characters;
    /* Only counted: a document with too many errors is stopped (parse_document). */
    handler->error = on_error;

    for (guint i = 0; raw && raw->downloads && i < raw->downloads->len; i++) {
        GArray *document = g_array_index(raw->downloads, GArray *, i);
        if (document && document->len > 0 && document->len <= G_MAXINT)
            parse_document(handler, context, document);
        end_document_state(context);
    }
    finish_storing(context);

    VelmoraItemArray *items = context->items;
    delete context->store_pass;
    velmora_feed_patterns_free(context->patterns);
    g_free(context->link_suffix);
    g_free(context);
    return items;
}

VelmoraItemArray *do_velmora_item_parse_and_save(VelmoraItemRawData *raw, const gchar *region,
                                                 QueryLoader *urls, DBInterface **database_slot,
                                                 QueryLoader *queries, gpointer user_data,
                                                 const gchar *image_cache_dir,
                                                 VelmoraStatusCallback callback) {
    return velmora_item_parse_and_store(raw, region, nullptr, urls, database_slot, nullptr, nullptr,
                                        queries, user_data, image_cache_dir, callback);
}

VelmoraItemArray *do_velmora_item_parse(VelmoraItemRawData *raw, const gchar *region,
                                        QueryLoader *urls) {
    return do_velmora_item_parse_and_save(raw, region, urls, nullptr, nullptr, nullptr, nullptr,
                                          nullptr);
}

} // extern "C"
