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
    HildonButtonStyle style;
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

namespace {

enum { PROP_0, PROP_TITLE, PROP_VALUE, PROP_SIZE, PROP_ARRANGEMENT, PROP_STYLE };

void button_set_property(GObject *object, guint property_id, const GValue *value,
                         GParamSpec *pspec) {
    HildonButton *button = HILDON_BUTTON(object);
    switch (property_id) {
    case PROP_TITLE:
        hildon_button_set_title(button, g_value_get_string(value));
        break;
    case PROP_VALUE:
        hildon_button_set_value(button, g_value_get_string(value));
        break;
    case PROP_SIZE:
        hildon_apply_size_type(GTK_WIDGET(button), HildonSizeType(g_value_get_flags(value)));
        break;
    case PROP_ARRANGEMENT:
        hildon_button_arrange(button, HildonButtonArrangement(g_value_get_enum(value)));
        break;
    case PROP_STYLE:
        private_of(button)->style = HildonButtonStyle(g_value_get_enum(value));
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, property_id, pspec);
    }
}

void button_get_property(GObject *object, guint property_id, GValue *value, GParamSpec *pspec) {
    HildonButton *button = HILDON_BUTTON(object);
    switch (property_id) {
    case PROP_TITLE:
        g_value_set_string(value, hildon_button_get_title(button));
        break;
    case PROP_VALUE:
        g_value_set_string(value, hildon_button_get_value(button));
        break;
    case PROP_STYLE:
        g_value_set_enum(value, private_of(button)->style);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, property_id, pspec);
    }
}

} // namespace

static void hildon_button_class_init(HildonButtonClass *klass) {
    GObjectClass *object_class = G_OBJECT_CLASS(klass);
    object_class->set_property = button_set_property;
    object_class->get_property = button_get_property;
    const auto rw = GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
    const auto construct_only =
        GParamFlags(G_PARAM_WRITABLE | G_PARAM_CONSTRUCT_ONLY | G_PARAM_STATIC_STRINGS);
    g_object_class_install_property(
        object_class, PROP_TITLE,
        g_param_spec_string("title", "Title", "The button's title", nullptr, rw));
    g_object_class_install_property(
        object_class, PROP_VALUE,
        g_param_spec_string("value", "Value", "The button's value", nullptr, rw));
    g_object_class_install_property(object_class, PROP_SIZE,
                                    g_param_spec_flags("size", "Size", "The button's size class",
                                                       HILDON_TYPE_SIZE_TYPE, HILDON_SIZE_AUTO,
                                                       construct_only));
    g_object_class_install_property(
        object_class, PROP_ARRANGEMENT,
        g_param_spec_enum("arrangement", "Arrangement", "Value beside or beneath the title",
                          HILDON_TYPE_BUTTON_ARRANGEMENT, HILDON_BUTTON_ARRANGEMENT_HORIZONTAL,
                          construct_only));
    g_object_class_install_property(object_class, PROP_STYLE,
                                    g_param_spec_enum("style", "Style", "The button's visual style",
                                                      HILDON_TYPE_BUTTON_STYLE,
                                                      HILDON_BUTTON_STYLE_NORMAL, rw));
}

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
    return GTK_WIDGET(
        g_object_new(HILDON_TYPE_BUTTON, "size", size, "arrangement", arrangement, nullptr));
}

GtkWidget *hildon_button_value_label(HildonButton *button) {
    return private_of(button)->value_label;
}

void hildon_button_set_title(HildonButton *button, const gchar *title) {
    g_return_if_fail(HILDON_IS_BUTTON(button));
    set_label_text(private_of(button)->title_label, title);
    g_object_notify(G_OBJECT(button), "title");
}

const gchar *hildon_button_get_title(HildonButton *button) {
    g_return_val_if_fail(HILDON_IS_BUTTON(button), nullptr);
    return gtk_label_get_text(GTK_LABEL(private_of(button)->title_label));
}

void hildon_button_set_value(HildonButton *button, const gchar *value) {
    g_return_if_fail(HILDON_IS_BUTTON(button));
    set_label_text(private_of(button)->value_label, value);
    g_object_notify(G_OBJECT(button), "value");
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
