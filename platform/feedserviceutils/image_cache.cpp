// image_cache.cpp - the picture cache.
#include "feedserviceutils.h"

gint ensure_directory(const gchar *) {
    return 0;
}
gint check_and_download_image(DBInterface *, const gchar *, QueryLoader *, gint32, gint32,
                              const gchar *, const gchar *, gint) {
    return 0;
}
gint delete_image_data_from_database(DBInterface *, QueryLoader *) {
    return 0;
}
