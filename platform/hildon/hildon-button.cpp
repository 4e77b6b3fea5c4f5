/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hildon-button.cpp - HildonButton: a button showing a title and, beside or
 * beneath it, a value. The content sits in an alignment that
 * hildon_button_set_alignment positions.
 */
#include "hildon/hildon.h"
#include "hildon-private.h"

typedef struct _HildonButtonPrivate HildonButtonPrivate;
struct _HildonButtonPrivate {
    GtkWidget *alignment;
    GtkWidget *box;
    GtkWidget *title_label;
    GtkWidget *value_label;
    HildonButtonArrangement arrangement;
};

G_DEFINE_TYPE_WITH_PRIVATE(HildonButton, hildon_button, GTK_TYPE_BUTTON)

namespace {

/* The instance has no field for it: the private data is looked up per use. */
HildonButtonPrivate *private_of(HildonButton *button) {
    return static_cast<HildonButtonPrivate *>(hildon_button_get_instance_private(button));
}

/* Heights and widths of the platform's size classes, in pixels. */
constexpr gint kFingerHeight = 70;
constexpr gint kThumbHeight = 105;
constexpr gint kHalfScreenWidth = 400;
constexpr gint kFullScreenWidth = 800;

void set_label_text(GtkWidget *label, const gchar *text) {
    gtk_label_set_text(GTK_LABEL(label), text != nullptr ? text : "");
    if (text != nullptr && *text != '\0')
        gtk_widget_show(label);
    else
        gtk_widget_hide(label);
}

} // namespace

void hildon_button_arrange(HildonButton *button, HildonButtonArrangement arrangement) {
    HildonButtonPrivate *priv = private_of(button);
    if (priv->box != nullptr && priv->arrangement == arrangement)
        return;
    priv->arrangement = arrangement;
    GtkWidget *box = arrangement == HILDON_BUTTON_ARRANGEMENT_VERTICAL ? gtk_vbox_new(FALSE, 0)
                                                                       : gtk_hbox_new(FALSE, 8);
    if (priv->box != nullptr) {
        g_object_ref(priv->title_label);
        g_object_ref(priv->value_label);
        gtk_container_remove(GTK_CONTAINER(priv->box), priv->title_label);
        gtk_container_remove(GTK_CONTAINER(priv->box), priv->value_label);
        gtk_container_remove(GTK_CONTAINER(priv->alignment), priv->box);
    }
    gtk_box_pack_start(GTK_BOX(box), priv->title_label, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), priv->value_label, FALSE, FALSE, 0);
    if (priv->box != nullptr) {
        g_object_unref(priv->title_label);
        g_object_unref(priv->value_label);
    }
    priv->box = box;
    gtk_container_add(GTK_CONTAINER(priv->alignment), box);
    gtk_widget_show(box);
}

void hildon_apply_size_type(GtkWidget *widget, HildonSizeType size) {
    gint width = -1;
    gint height = -1;
    if (size & HILDON_SIZE_HALFSCREEN_WIDTH)
        width = kHalfScreenWidth;
    else if (size & HILDON_SIZE_FULLSCREEN_WIDTH)
        width = kFullScreenWidth;
    if (size & HILDON_SIZE_FINGER_HEIGHT)
        height = kFingerHeight;
    else if (size & HILDON_SIZE_THUMB_HEIGHT)
        height = kThumbHeight;
    gtk_widget_set_size_request(widget, width, height);
}

static void hildon_button_class_init(HildonButtonClass *) {}

static void hildon_button_init(HildonButton *button) {
    HildonButtonPrivate *priv = private_of(button);
    priv->alignment = gtk_alignment_new(0.5, 0.5, 0.0, 0.0);
    priv->title_label = gtk_label_new(nullptr);
    priv->value_label = gtk_label_new(nullptr);
    gtk_misc_set_alignment(GTK_MISC(priv->title_label), 0.0, 0.5);
    gtk_misc_set_alignment(GTK_MISC(priv->value_label), 0.0, 0.5);
    gtk_widget_set_name(priv->value_label, "hildon-button-value");
    hildon_button_arrange(button, HILDON_BUTTON_ARRANGEMENT_HORIZONTAL);
    gtk_container_add(GTK_CONTAINER(button), priv->alignment);
    gtk_widget_show(priv->alignment);
}

GtkWidget *hildon_button_new(HildonSizeType size, HildonButtonArrangement arrangement) {
    auto *button = HILDON_BUTTON(g_object_new(HILDON_TYPE_BUTTON, nullptr));
    hildon_apply_size_type(GTK_WIDGET(button), size);
    hildon_button_arrange(button, arrangement);
    return GTK_WIDGET(button);
}

void hildon_button_set_title(HildonButton *button, const gchar *title) {
    g_return_if_fail(HILDON_IS_BUTTON(button));
    set_label_text(private_of(button)->title_label, title);
}

const gchar *hildon_button_get_title(HildonButton *button) {
    g_return_val_if_fail(HILDON_IS_BUTTON(button), nullptr);
    return gtk_label_get_text(GTK_LABEL(private_of(button)->title_label));
}

void hildon_button_set_value(HildonButton *button, const gchar *value) {
    g_return_if_fail(HILDON_IS_BUTTON(button));
    set_label_text(private_of(button)->value_label, value);
}

const gchar *hildon_button_get_value(HildonButton *button) {
    g_return_val_if_fail(HILDON_IS_BUTTON(button), nullptr);
    return gtk_label_get_text(GTK_LABEL(private_of(button)->value_label));
}

void hildon_button_set_alignment(HildonButton *button, gfloat xalign, gfloat yalign, gfloat xscale,
                                 gfloat yscale) {
    g_return_if_fail(HILDON_IS_BUTTON(button));
    gtk_alignment_set(GTK_ALIGNMENT(private_of(button)->alignment), xalign, yalign, xscale, yscale);
}
