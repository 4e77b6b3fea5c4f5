/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hildon-picker-button.cpp - HildonPickerButton: a HildonButton whose value is
 * the current text of a touch selector. A click opens a dialog holding the
 * selector; picking a row closes it, and the button shows the new value.
 */
#include "hildon/hildon.h"
#include "hildon-private.h"

/* The button's state: the selector it shows, and the dialog while picking. */
typedef struct _HildonPickerButtonPrivate {
    HildonTouchSelector *selector; /* owned reference */
    GtkWidget *dialog;             /* open picker dialog, or NULL */
    gulong changed_handler;
    gchar *done_button_text;
} HildonPickerButtonPrivate;
using PickerState = HildonPickerButtonPrivate;

G_DEFINE_TYPE_WITH_PRIVATE(HildonPickerButton, hildon_picker_button, HILDON_TYPE_BUTTON)

namespace {

constexpr gint kDialogHeight = 320;

enum { PROP_0, PROP_TOUCH_SELECTOR, PROP_DONE_BUTTON_TEXT };
enum { VALUE_CHANGED, LAST_SIGNAL };
guint picker_signals[LAST_SIGNAL];

PickerState *picker_state(HildonPickerButton *button) {
    return static_cast<PickerState *>(hildon_picker_button_get_instance_private(button));
}

/* The value follows the selector's current text ("" when none); every update
 * is announced as "value-changed". */
void show_current_value(HildonPickerButton *button) {
    PickerState *state = picker_state(button);
    g_autofree gchar *text = state->selector != nullptr
                                 ? hildon_touch_selector_get_current_text(state->selector)
                                 : nullptr;
    hildon_button_set_value(HILDON_BUTTON(button), text != nullptr ? text : "");
    g_signal_emit(button, picker_signals[VALUE_CHANGED], 0);
}

void on_selector_changed(HildonTouchSelector *, gint, gpointer data) {
    auto *button = HILDON_PICKER_BUTTON(data);
    show_current_value(button);
    /* A picked row ends the picking. */
    PickerState *state = picker_state(button);
    if (state->dialog != nullptr)
        gtk_dialog_response(GTK_DIALOG(state->dialog), GTK_RESPONSE_OK);
}

/* The selector belongs to the button, not to the dialog: however the dialog
 * goes (closed here, or with the window it belongs to), the selector is taken
 * out before the dialog destroys its children. */
void on_dialog_destroy(GtkWidget *dialog, gpointer data) {
    PickerState *state = picker_state(HILDON_PICKER_BUTTON(data));
    if (state->dialog != dialog)
        return;
    state->dialog = nullptr;
    GtkWidget *selector = GTK_WIDGET(state->selector);
    GtkWidget *parent = selector != nullptr ? gtk_widget_get_parent(selector) : nullptr;
    if (parent != nullptr)
        gtk_container_remove(GTK_CONTAINER(parent), selector);
}

void close_dialog(HildonPickerButton *button) {
    PickerState *state = picker_state(button);
    if (state->dialog != nullptr)
        gtk_widget_destroy(state->dialog);
}

void on_dialog_response(GtkDialog *, gint, gpointer data) {
    close_dialog(HILDON_PICKER_BUTTON(data));
}

void picker_clicked(GtkButton *gtk_button) {
    auto *button = HILDON_PICKER_BUTTON(gtk_button);
    PickerState *state = picker_state(button);
    if (state->selector == nullptr || state->dialog != nullptr)
        return;
    GtkWidget *toplevel = gtk_widget_get_toplevel(GTK_WIDGET(button));
    GtkWindow *parent = GTK_WIDGET_TOPLEVEL(toplevel) ? GTK_WINDOW(toplevel) : nullptr;
    const gchar *title = hildon_button_get_title(HILDON_BUTTON(button));
    GtkWidget *dialog = gtk_dialog_new_with_buttons(
        title, parent,
        GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT | GTK_DIALOG_NO_SEPARATOR),
        nullptr, nullptr);
    gtk_window_set_default_size(GTK_WINDOW(dialog), -1, kDialogHeight);
    gtk_box_pack_start(GTK_BOX(GTK_DIALOG(dialog)->vbox), GTK_WIDGET(state->selector), TRUE, TRUE,
                       0);
    gtk_widget_show(GTK_WIDGET(state->selector));
    state->dialog = dialog;
    g_signal_connect(dialog, "response", G_CALLBACK(on_dialog_response), button);
    g_signal_connect(dialog, "destroy", G_CALLBACK(on_dialog_destroy), button);
    gtk_widget_show(dialog);
}

void drop_selector(HildonPickerButton *button) {
    PickerState *state = picker_state(button);
    if (state->selector == nullptr)
        return;
    close_dialog(button);
    g_signal_handler_disconnect(state->selector, state->changed_handler);
    g_object_unref(state->selector);
    state->selector = nullptr;
}

void picker_destroy(GtkObject *object) {
    drop_selector(HILDON_PICKER_BUTTON(object));
    GTK_OBJECT_CLASS(hildon_picker_button_parent_class)->destroy(object);
}

void picker_finalize(GObject *object) {
    g_free(picker_state(HILDON_PICKER_BUTTON(object))->done_button_text);
    G_OBJECT_CLASS(hildon_picker_button_parent_class)->finalize(object);
}

void picker_set_property(GObject *object, guint property_id, const GValue *value,
                         GParamSpec *pspec) {
    HildonPickerButton *button = HILDON_PICKER_BUTTON(object);
    switch (property_id) {
    case PROP_TOUCH_SELECTOR:
        hildon_picker_button_set_selector(button, HILDON_TOUCH_SELECTOR(g_value_get_object(value)));
        break;
    case PROP_DONE_BUTTON_TEXT:
        g_free(picker_state(button)->done_button_text);
        picker_state(button)->done_button_text = g_value_dup_string(value);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, property_id, pspec);
    }
}

void picker_get_property(GObject *object, guint property_id, GValue *value, GParamSpec *pspec) {
    PickerState *state = picker_state(HILDON_PICKER_BUTTON(object));
    switch (property_id) {
    case PROP_TOUCH_SELECTOR:
        g_value_set_object(value, state->selector);
        break;
    case PROP_DONE_BUTTON_TEXT:
        g_value_set_string(value, state->done_button_text);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, property_id, pspec);
    }
}

} // namespace

static void hildon_picker_button_class_init(HildonPickerButtonClass *klass) {
    GObjectClass *object_class = G_OBJECT_CLASS(klass);
    object_class->set_property = picker_set_property;
    object_class->get_property = picker_get_property;
    object_class->finalize = picker_finalize;
    GTK_BUTTON_CLASS(klass)->clicked = picker_clicked;
    GTK_OBJECT_CLASS(klass)->destroy = picker_destroy;
    const auto rw = GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
    g_object_class_install_property(object_class, PROP_TOUCH_SELECTOR,
                                    g_param_spec_object("touch-selector", "Touch selector",
                                                        "The selector the button opens",
                                                        HILDON_TYPE_TOUCH_SELECTOR, rw));
    g_object_class_install_property(
        object_class, PROP_DONE_BUTTON_TEXT,
        g_param_spec_string("done-button-text", "Done button text",
                            "The text of the picker dialog's done button", nullptr, rw));
    picker_signals[VALUE_CHANGED] =
        g_signal_new("value-changed", G_TYPE_FROM_CLASS(klass),
                     GSignalFlags(G_SIGNAL_RUN_LAST | G_SIGNAL_ACTION), 0, nullptr, nullptr,
                     g_cclosure_marshal_VOID__VOID, G_TYPE_NONE, 0);
}

static void hildon_picker_button_init(HildonPickerButton *button) {
    g_object_set(button, "style", HILDON_BUTTON_STYLE_PICKER, nullptr);
}

GtkWidget *hildon_picker_button_new(HildonSizeType size, HildonButtonArrangement arrangement) {
    GtkWidget *button = GTK_WIDGET(
        g_object_new(HILDON_TYPE_PICKER_BUTTON, "size", size, "arrangement", arrangement, nullptr));
    /* Beneath the title, the value is in the small system font. */
    if (arrangement == HILDON_BUTTON_ARRANGEMENT_VERTICAL)
        hildon_helper_set_logical_font(hildon_button_value_label(HILDON_BUTTON(button)),
                                       "SmallSystemFont");
    return button;
}

void hildon_picker_button_set_selector(HildonPickerButton *button, HildonTouchSelector *selector) {
    g_return_if_fail(HILDON_IS_PICKER_BUTTON(button));
    g_return_if_fail(selector == nullptr || HILDON_IS_TOUCH_SELECTOR(selector));
    PickerState *state = picker_state(button);
    if (selector != nullptr && selector == state->selector)
        return;
    drop_selector(button);
    if (selector != nullptr) {
        state->selector = HILDON_TOUCH_SELECTOR(g_object_ref_sink(selector));
        state->changed_handler =
            g_signal_connect(selector, "changed", G_CALLBACK(on_selector_changed), button);
    }
    show_current_value(button);
    g_object_notify(G_OBJECT(button), "touch-selector");
}

HildonTouchSelector *hildon_picker_button_get_selector(HildonPickerButton *button) {
    g_return_val_if_fail(HILDON_IS_PICKER_BUTTON(button), nullptr);
    return picker_state(button)->selector;
}
