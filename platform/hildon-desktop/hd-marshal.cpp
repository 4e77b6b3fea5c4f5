/*
 * hd-marshal.cpp - the signal marshallers declared in hd-marshal.h.
 */
#include "libhildondesktop/hd-marshal.h"

void g_cclosure_user_marshal_VOID__STRING_INT(GClosure *closure, GValue *, guint n_param_values,
                                              const GValue *param_values, gpointer,
                                              gpointer marshal_data) {
    using Callback = void (*)(gpointer instance, const gchar *text, gint number, gpointer data);
    g_return_if_fail(n_param_values == 3);
    gpointer instance_data;
    gpointer closure_data;
    if (G_CCLOSURE_SWAP_DATA(closure)) {
        instance_data = closure->data;
        closure_data = g_value_peek_pointer(param_values + 0);
    } else {
        instance_data = g_value_peek_pointer(param_values + 0);
        closure_data = closure->data;
    }
    auto callback = reinterpret_cast<Callback>(
        marshal_data != nullptr ? marshal_data : reinterpret_cast<GCClosure *>(closure)->callback);
    callback(instance_data, g_value_get_string(param_values + 1), g_value_get_int(param_values + 2),
             closure_data);
}
