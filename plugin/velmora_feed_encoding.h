/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_feed_encoding.h - reading a feed whose bytes do not match its encoding.
 */
#ifndef VELMORA_FEED_ENCODING_H
#define VELMORA_FEED_ENCODING_H

#include <glib.h>

#include <string>

/* The document as the parser is to read it. Empty when its bytes are valid in the
 * encoding it declares (UTF-8 when it declares none), or it is UTF-16/32, or declares an
 * encoding this system does not know: it is read as it is. Otherwise (Latin-1 bytes in a
 * document that claims UTF-8, say) its bytes read as Windows-1252 (the five bytes that
 * leave undefined as Latin-1), converted to UTF-8, with its encoding declaration, if
 * any, saying UTF-8. */
std::string velmora_feed_readable_copy(const guint8 *bytes, gsize length);

/* A text the parser hands on as UTF-8, as UTF-8: empty when it is valid already,
 * otherwise its bytes read as Windows-1252. The parser passes on the bytes of a document
 * as they stand when it does not take the document's declaration (a malformed one,
 * say), so a document in a declared 8-bit encoding can reach the handlers unconverted. */
std::string velmora_feed_readable_text(const gchar *text, gsize length);

#endif /* VELMORA_FEED_ENCODING_H */
