/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * libhildondesktop.h - home desktop widget API: the plug-in item interface, the
 * home plug-in item base class and the plug-in module through which the desktop
 * loads widgets.
 */
#ifndef LIBHILDONDESKTOP_H
#define LIBHILDONDESKTOP_H

#include <libhildondesktop/hd-plugin-item.h>
#include <libhildondesktop/hd-home-plugin-item.h>
#include <libhildondesktop/hd-plugin-module.h>

#endif /* LIBHILDONDESKTOP_H */
