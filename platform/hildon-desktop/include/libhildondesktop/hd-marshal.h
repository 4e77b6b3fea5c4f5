/*
 * hd-marshal.h - signal marshallers that the desktop library exports for its
 * widgets, so that a widget can declare D-Bus signals of these shapes on its
 * proxies without generating its own.
 */
#ifndef HD_MARSHAL_H
#define HD_MARSHAL_H

#include <glib-object.h>

G_BEGIN_DECLS

/* VOID:STRING,INT */
void g_cclosure_user_marshal_VOID__STRING_INT(GClosure *closure, GValue *return_value,
                                              guint n_param_values, const GValue *param_values,
                                              gpointer invocation_hint, gpointer marshal_data);

G_END_DECLS

#endif /* HD_MARSHAL_H */
