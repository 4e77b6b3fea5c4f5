/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_store_pass.h - how one pass of an update run stores its items, one by one as
 * the parser completes them, writing only what differs from the stored list.
 */
#ifndef VELMORA_STORE_PASS_H
#define VELMORA_STORE_PASS_H

#include "velmora_item_store.h"
#include "velmora_service_plugin.h"

#include <string>

struct VelmoraStorePass {
  public:
    VelmoraStorePass() = default;
    ~VelmoraStorePass();
    VelmoraStorePass(const VelmoraStorePass &) = delete;
    VelmoraStorePass &operator=(const VelmoraStorePass &) = delete;

    /* Stores items[0, count), the items of the pass not yet stored (one, unless the
     * store was made anew or nothing could be stored yet); true when the last one's
     * row holds it now. *error says why not. origin is what the items were fetched
     * for; the store records it with the first item. */
    bool store(DBInterface *db, QueryLoader *queries, VelmoraItem *const *items, guint count,
               const VelmoraStoreOrigin &origin, std::string *error);

    /* Whether what the pass stored is seen only once it ends (finish): a reader sees the
     * stored list until then, so the status of the latest item waits for the end. */
    bool defers() const { return mode_ == Mode::Matching || mode_ == Mode::Patching; }

    /* The store was made anew: every item of the pass is to be stored again. */
    void restart();

    /* Ends the pass: the stored rows beyond its items go, its changes are committed,
     * and pictures no item names any more are removed from image_cache_dir. */
    void finish(DBInterface *db, QueryLoader *queries, const gchar *image_cache_dir);

  private:
    enum class Mode {
        Fresh,    /* nothing stored yet */
        Matching, /* the items so far are the stored ones: nothing written */
        Patching, /* an open transaction updates the rows that differ */
        Growing,  /* the pass's items replaced the stored ones; each is appended */
    };

    bool store_fresh(DBInterface *db, QueryLoader *queries, VelmoraItem *const *items, guint count,
                     const VelmoraStoreOrigin &origin, std::string *error);
    bool store_kept(DBInterface *db, QueryLoader *queries, const VelmoraItem *item,
                    std::string *error);
    void clear_stored();

    Mode mode_ = Mode::Fresh;
    VelmoraItemArray *stored_ = nullptr; /* the stored list when the pass began */
    guint placed_ = 0;                   /* items of the pass in the store, in order */
};

#endif /* VELMORA_STORE_PASS_H */
