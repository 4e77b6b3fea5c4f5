/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hildon.h - the handheld widget library: touch selectors, buttons, picker
 * buttons and logical fonts.
 */
#ifndef HILDON_H
#define HILDON_H

#include <hildon/hildon-gtk.h>
#include <hildon/hildon-enum-types.h>
#include <hildon/hildon-button.h>
#include <hildon/hildon-helper.h>
#include <hildon/hildon-picker-button.h>
#include <hildon/hildon-touch-selector.h>

#endif /* HILDON_H */
