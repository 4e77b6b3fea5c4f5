/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_run_lock.h - the lock that keeps update runs of one store apart.
 */
#ifndef VELMORA_RUN_LOCK_H
#define VELMORA_RUN_LOCK_H

#include <glib.h>

#include <string>

/* An exclusive lock (flock) on the file at path, beside the store, held while the object
 * lives. Any process's run takes it, so two runs never write one store at once; readers
 * of the store never take it and are never blocked. */
class VelmoraRunLock {
  public:
    enum class State {
        Held,       /* this run has the store to itself */
        Busy,       /* another run held it for the whole wait */
        Unavailable /* the lock file cannot be made (a read-only store, say) */
    };

    /* Waits up to wait_ms for the lock; a link in the lock file's place is replaced. */
    VelmoraRunLock(const std::string &path, gint64 wait_ms);
    ~VelmoraRunLock();
    VelmoraRunLock(const VelmoraRunLock &) = delete;
    VelmoraRunLock &operator=(const VelmoraRunLock &) = delete;

    State state() const { return state_; }

  private:
    int fd_ = -1;
    State state_ = State::Unavailable;
};

#endif /* VELMORA_RUN_LOCK_H */
