/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_file_identity.h - the widget's one record of which file a path names, and
 * in which state: device, inode, size, and the modification and change times in
 * nanoseconds. Two looks at a path give equal records only while no other file was
 * put in its place and the file was not written, renamed or changed otherwise (a new
 * file may get a freed inode number back, so the inode alone does not tell). Used by
 * the carousel's decoded pictures.
 */
#ifndef VELMORA_FILE_IDENTITY_H
#define VELMORA_FILE_IDENTITY_H

#include <glib.h>
#include <glib/gstdio.h>

#include <sys/stat.h>

struct VelmoraFileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    gint64 size = 0;
    gint64 mtime_ns = 0;
    gint64 ctime_ns = 0;

    bool operator==(const VelmoraFileIdentity &other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               mtime_ns == other.mtime_ns && ctime_ns == other.ctime_ns;
    }
    bool operator!=(const VelmoraFileIdentity &other) const { return !(*this == other); }
};

/* The identity of the file whose status is given. */
inline VelmoraFileIdentity velmora_file_identity(const GStatBuf &status) {
    constexpr gint64 kNsPerSecond = G_GINT64_CONSTANT(1000000000);
    return VelmoraFileIdentity{
        status.st_dev, status.st_ino, gint64(status.st_size),
        gint64(status.st_mtim.tv_sec) * kNsPerSecond + status.st_mtim.tv_nsec,
        gint64(status.st_ctim.tv_sec) * kNsPerSecond + status.st_ctim.tv_nsec};
}

/* The identity of what path names; false when there is nothing (or it cannot be
 * looked at). */
inline bool velmora_file_identity_of(const gchar *path, VelmoraFileIdentity *identity) {
    GStatBuf status;
    if (path == nullptr || g_stat(path, &status) != 0)
        return false;
    *identity = velmora_file_identity(status);
    return true;
}

#endif /* VELMORA_FILE_IDENTITY_H */
