// SPDX-License-Identifier: LGPL-2.1-or-later
// bench_thumbnail.h - the product-like picture that the view benchmarks decode: smooth
// shading with some noise, so that it compresses and decodes like a photograph rather
// than a flat colour. Header-only.
#ifndef VELMORA_BENCH_THUMBNAIL_H
#define VELMORA_BENCH_THUMBNAIL_H

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <string>

namespace bench {

// Writes picture number n, 100 x 100 PNG, to path.
inline void write_thumbnail(const std::string &path, int n) {
    GdkPixbuf *pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 100, 100);
    guchar *pixels = gdk_pixbuf_get_pixels(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    guint32 noise = 2463534242u + n;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            guchar *p = pixels + y * stride + x * 3;
            p[0] = guchar((x * 2 + n * 7) + (noise & 15));
            p[1] = guchar((y * 2 + n * 3) + ((noise >> 4) & 15));
            p[2] = guchar(((x + y) + n * 11) + ((noise >> 8) & 15));
        }
    gdk_pixbuf_save(pixbuf, path.c_str(), "png", nullptr, nullptr);
    g_object_unref(pixbuf);
}

} // namespace bench

#endif
