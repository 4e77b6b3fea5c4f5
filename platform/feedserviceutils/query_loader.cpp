// query_loader.cpp - catalogues of named entries.
#include "feedserviceutils.h"

QueryLoader *query_loader_new(const gchar *) {
    return nullptr;
}
void query_loader_free(QueryLoader *) {}
gchar *query_loader_load_query(QueryLoader *, const gchar *) {
    return nullptr;
}
gchar *query_loader_load_query_by_section(QueryLoader *, const gchar *, const gchar *) {
    return nullptr;
}
