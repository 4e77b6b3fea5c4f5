/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_card_part.cpp - the card's named parts. A part is an event box whose
 * accessible object is of a type derived at run time from the one the toolkit
 * makes for event boxes (the accessibility module's when one is loaded), with
 * the AtkAction interface added: one action, "click", that does what a tap or
 * Return does on that part.
 *
 * The types are registered in the widget's type module when the desktop loaded
 * the widget as a module, so that they follow the module's code when the
 * desktop unloads and loads it again.
 */
#include "velmora_card_part.h"

namespace {

constexpr const char *kActionName = "click";
constexpr const char *kActionKey = "velmora-part-action";
constexpr const char *kAccessibleKey = "velmora-part-accessible";

struct PartAction {
    VelmoraPartActivate activate;
    gpointer data;
    gchar *description;
};

void free_part_action(gpointer data) {
    auto *action = static_cast<PartAction *>(data);
    g_free(action->description);
    g_free(action);
}

GTypeModule *type_module = nullptr;
/* Registered once per load of the module (or once, without one). */
GType part_type_id = 0;
GType accessible_type_id = 0;

GType register_type(GType parent, const gchar *name, const GTypeInfo &info) {
    if (type_module)
        return g_type_module_register_type(type_module, parent, name, &info, GTypeFlags(0));
    GType known = g_type_from_name(name);
    return known ? known : g_type_register_static(parent, name, &info, GTypeFlags(0));
}

void add_interface(GType type, GType interface, const GInterfaceInfo &info) {
    if (type_module)
        g_type_module_add_interface(type_module, type, interface, &info);
    else if (!g_type_is_a(type, interface))
        g_type_add_interface_static(type, interface, &info);
}

void free_weak_ref(gpointer data) {
    auto *ref = static_cast<GWeakRef *>(data);
    g_weak_ref_clear(ref);
    g_free(ref);
}

/* The part of an accessible object, a new reference; NULL once the part is
 * gone (an assistive tool may keep the accessible object longer). */
GtkWidget *accessible_part(AtkAction *action) {
    auto *ref = static_cast<GWeakRef *>(g_object_get_data(G_OBJECT(action), kAccessibleKey));
    return ref ? static_cast<GtkWidget *>(g_weak_ref_get(ref)) : nullptr;
}

gboolean do_action(AtkAction *action, gint index) {
    GtkWidget *part = accessible_part(action);
    const gboolean done = index == 0 && part && velmora_card_part_activate(part);
    if (part)
        g_object_unref(part);
    return done;
}

gint get_n_actions(AtkAction *) {
    return 1;
}

const gchar *get_description(AtkAction *action, gint index) {
    GtkWidget *part = accessible_part(action);
    auto *data =
        part ? static_cast<PartAction *>(g_object_get_data(G_OBJECT(part), kActionKey)) : nullptr;
    /* The text belongs to the part, which the toolkit keeps alive meanwhile. */
    const gchar *description = index == 0 && data ? data->description : nullptr;
    if (part)
        g_object_unref(part);
    return description;
}

const gchar *get_name(AtkAction *, gint index) {
    return index == 0 ? kActionName : nullptr;
}

const gchar *get_keybinding(AtkAction *, gint index) {
    return index == 0 ? "Return" : nullptr;
}

void action_interface_init(gpointer iface, gpointer) {
    auto *action = static_cast<AtkActionIface *>(iface);
    action->do_action = do_action;
    action->get_n_actions = get_n_actions;
    action->get_description = get_description;
    action->get_name = get_name;
    action->get_keybinding = get_keybinding;
}

/* The accessible type of card parts, derived from what the toolkit's registry
 * makes for event boxes. */
GType part_accessible_type() {
    GType &type = accessible_type_id;
    if (type)
        return type;
    AtkObjectFactory *factory =
        atk_registry_get_factory(atk_get_default_registry(), GTK_TYPE_EVENT_BOX);
    GType parent = atk_object_factory_get_accessible_type(factory);
    /* Without an accessibility module the registry makes objects that answer
     * every interface with nothing; the parts' own type then starts from the
     * toolkit's plain accessible instead. */
    if (g_type_is_a(parent, ATK_TYPE_ACTION))
        parent = GTK_TYPE_ACCESSIBLE;
    GTypeQuery query;
    g_type_query(parent, &query);
    GTypeInfo info = {};
    info.class_size = static_cast<guint16>(query.class_size);
    info.instance_size = static_cast<guint16>(query.instance_size);
    type = register_type(parent, "VelmoraCardPartAccessible", info);
    static const GInterfaceInfo action_info = {action_interface_init, nullptr, nullptr};
    add_interface(type, ATK_TYPE_ACTION, action_info);
    return type;
}

/* GtkWidgetClass::get_accessible of card parts: made once, owned by the part. */
AtkObject *get_part_accessible(GtkWidget *part) {
    auto *accessible = static_cast<AtkObject *>(g_object_get_data(G_OBJECT(part), kAccessibleKey));
    if (accessible)
        return accessible;
    accessible = ATK_OBJECT(g_object_new(part_accessible_type(), nullptr));
    atk_object_initialize(accessible, part);
    if (GTK_IS_ACCESSIBLE(accessible) && !GTK_ACCESSIBLE(accessible)->widget) {
        GTK_ACCESSIBLE(accessible)->widget = part;
        gtk_accessible_connect_widget_destroyed(GTK_ACCESSIBLE(accessible));
    }
    auto *ref = g_new0(GWeakRef, 1);
    g_weak_ref_init(ref, part);
    g_object_set_data_full(G_OBJECT(accessible), kAccessibleKey, ref, free_weak_ref);
    g_object_set_data_full(G_OBJECT(part), kAccessibleKey, accessible, g_object_unref);
    return accessible;
}

void part_class_init(gpointer klass, gpointer) {
    GTK_WIDGET_CLASS(klass)->get_accessible = get_part_accessible;
}

GType part_type() {
    GType &type = part_type_id;
    if (!type) {
        GTypeInfo info = {};
        info.class_size = sizeof(GtkEventBoxClass);
        info.class_init = part_class_init;
        info.instance_size = sizeof(GtkEventBox);
        type = register_type(GTK_TYPE_EVENT_BOX, "VelmoraCardPart", info);
    }
    return type;
}

} // namespace

GtkWidget *velmora_card_part_new(void) {
    return GTK_WIDGET(g_object_new(part_type(), nullptr));
}

void velmora_card_part_set_action(GtkWidget *part, VelmoraPartActivate activate, gpointer data,
                                  const gchar *description) {
    auto *action = g_new0(PartAction, 1);
    action->activate = activate;
    action->data = data;
    action->description = g_strdup(description);
    g_object_set_data_full(G_OBJECT(part), kActionKey, action, free_part_action);
}

gboolean velmora_card_part_activate(GtkWidget *part) {
    auto *action =
        part ? static_cast<PartAction *>(g_object_get_data(G_OBJECT(part), kActionKey)) : nullptr;
    if (!action || !action->activate)
        return FALSE;
    action->activate(part, action->data);
    return TRUE;
}

void velmora_card_part_register_types(GTypeModule *module) {
    type_module = module;
    part_type_id = accessible_type_id = 0;
    part_type();
    part_accessible_type();
}
