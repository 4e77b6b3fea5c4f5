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
} HildonPickerButtonPrivate;
using PickerState = HildonPickerButtonPrivate;

G_DEFINE_TYPE_WITH_PRIVATE(HildonPickerButton, hildon_picker_button, HILDON_TYPE_BUTTON)

namespace {

constexpr gint kDialogHeight = 320;

PickerState *picker_state(HildonPickerButton *button) {
    return static_cast<PickerState *>(hildon_picker_button_get_instance_private(button));
}

void show_current_value(HildonPickerButton *button) {
    PickerState *state = picker_state(button);
    gchar *text = state->selector != nullptr
                      ? hildon_touch_selector_get_current_text(state->selector)
                      : nullptr;
    hildon_button_set_value(HILDON_BUTTON(button), text);
    g_free(text);
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

} // namespace

static void hildon_picker_button_class_init(HildonPickerButtonClass *klass) {
    GTK_BUTTON_CLASS(klass)->clicked = picker_clicked;
    GTK_OBJECT_CLASS(klass)->destroy = picker_destroy;
}

static void hildon_picker_button_init(HildonPickerButton *) {}

GtkWidget *hildon_picker_button_new(HildonSizeType size, HildonButtonArrangement arrangement) {
    GtkWidget *button = GTK_WIDGET(g_object_new(HILDON_TYPE_PICKER_BUTTON, nullptr));
    hildon_apply_size_type(button, size);
    hildon_button_arrange(HILDON_BUTTON(button), arrangement);
    return button;
}

void hildon_picker_button_set_selector(HildonPickerButton *button, HildonTouchSelector *selector) {
    g_return_if_fail(HILDON_IS_PICKER_BUTTON(button));
    g_return_if_fail(selector == nullptr || HILDON_IS_TOUCH_SELECTOR(selector));
    drop_selector(button);
    PickerState *state = picker_state(button);
    if (selector != nullptr) {
        state->selector = HILDON_TOUCH_SELECTOR(g_object_ref_sink(selector));
        state->changed_handler =
            g_signal_connect(selector, "changed", G_CALLBACK(on_selector_changed), button);
    }
    show_current_value(button);
}

HildonTouchSelector *hildon_picker_button_get_selector(HildonPickerButton *button) {
    g_return_val_if_fail(HILDON_IS_PICKER_BUTTON(button), nullptr);
    return picker_state(button)->selector;
}
