// db_interface.cpp - connections to the item database and their single pending result.
#include "feedserviceutils.h"

DBInterface *db_interface_new(const gchar *) {
    return nullptr;
}
void db_interface_free(DBInterface *) {}
gint db_interface_execute_query(DBInterface *, const gchar *) {
    return 0;
}
gint db_interface_step_result(DBInterface *) {
    return 0;
}
void db_interface_close_result(DBInterface *) {}
const gchar *db_get_text_column(DBInterface *, const gchar *, gint) {
    return nullptr;
}
gint32 db_get_int_column(DBInterface *, const gchar *, gint) {
    return 0;
}
gint db_interface_execute_update(DBInterface *, const gchar *) {
    return 0;
}
gint db_interface_execute_update_get_row_id(DBInterface *, const gchar *, gint64 *) {
    return 0;
}
