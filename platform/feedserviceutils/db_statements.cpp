// db_statements.cpp - SQL literals and filling statement templates.
#include "feedserviceutils.h"

DBSymTable *db_symtable_new(void) {
    return nullptr;
}
void db_add_symbol(DBSymTable *, const gchar *) {}
void db_symtable_free(DBSymTable *) {}
gchar *db_make_string_param(const gchar *) {
    return nullptr;
}
gchar *db_make_string_param_from_int(gint32) {
    return nullptr;
}
gchar *db_format_query(DBSymTable *, const gchar *) {
    return nullptr;
}
