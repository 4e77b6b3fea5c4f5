/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * hildon-touch-selector.cpp - HildonTouchSelector: columns of text rows shown
 * side by side, at most one active row per column. The user picking another row,
 * and every hildon_touch_selector_set_active that selects a row or none, emit
 * "changed" with the column; adding a column emits "columns-changed".
 */
#include "hildon/hildon.h"
#include "hildon-private.h"

namespace {

enum { CHANGED, COLUMNS_CHANGED, LAST_SIGNAL };
guint selector_signals[LAST_SIGNAL];

enum { PROP_0, PROP_HAS_MULTIPLE_SELECTION, PROP_INITIAL_SCROLL, PROP_LIVE_SEARCH, PROP_UI_MODE };

/* Visible rows of a column before it scrolls. */
constexpr gint kColumnMinHeight = 200;

struct SelectorColumn {
    HildonTouchSelector *selector;
    gint index;
    GtkListStore *model;
    GtkWidget *view;
    GtkTreeSelection *selection; /* the view's, with a reference of its own */
    gulong selection_handler;    /* its "changed" handler */
    gint active;
};

} // namespace

struct _HildonTouchSelectorPrivate {
    GPtrArray *columns; /* SelectorColumn*, owned */
    GtkWidget *row_box;
    gboolean initial_scroll;
    gboolean live_search;
    HildonUIMode ui_mode;
};

G_DEFINE_TYPE_WITH_PRIVATE(HildonTouchSelector, hildon_touch_selector, GTK_TYPE_VBOX)

namespace {

gint selected_row(SelectorColumn *column) {
    GtkTreeModel *model = nullptr;
    GtkTreeIter iter;
    if (!gtk_tree_selection_get_selected(column->selection, &model, &iter))
        return -1;
    GtkTreePath *path = gtk_tree_model_get_path(model, &iter);
    gint row = gtk_tree_path_get_indices(path)[0];
    gtk_tree_path_free(path);
    return row;
}

/* GtkTreeSelection also reports "changed" when nothing changed; only a new
 * active row is passed on. */
void on_selection_changed(GtkTreeSelection *, gpointer data) {
    auto *column = static_cast<SelectorColumn *>(data);
    gint row = selected_row(column);
    if (row == column->active)
        return;
    column->active = row;
    g_signal_emit(column->selector, selector_signals[CHANGED], 0, column->index);
}

SelectorColumn *column_at(HildonTouchSelector *selector, gint column) {
    GPtrArray *columns = selector->priv->columns;
    if (column < 0 || guint(column) >= columns->len)
        return nullptr;
    return static_cast<SelectorColumn *>(g_ptr_array_index(columns, column));
}

/* A destroyed tree view lets go of its selection (the view then has none), so
 * the column keeps its own reference and disconnects through that: the
 * selection cannot call back into a column record that is gone. */
void free_column(gpointer data) {
    auto *column = static_cast<SelectorColumn *>(data);
    g_signal_handler_disconnect(column->selection, column->selection_handler);
    g_object_unref(column->selection);
    g_object_unref(column->view);
    g_object_unref(column->model);
    g_free(column);
}

SelectorColumn *append_text_column(HildonTouchSelector *selector) {
    auto *column = g_new0(SelectorColumn, 1);
    column->selector = selector;
    column->index = gint(selector->priv->columns->len);
    column->active = -1;
    column->model = gtk_list_store_new(1, G_TYPE_STRING);
    column->view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(column->model));
    g_object_ref_sink(column->view);
    gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(column->view), FALSE);
    /* Rows are picked by touch. A focused tree view would move its cursor onto
     * the first row and select it, picking a row the user never chose. */
    gtk_widget_set_can_focus(column->view, FALSE);
    GtkCellRenderer *renderer = gtk_cell_renderer_text_new();
    gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(column->view), -1, nullptr, renderer,
                                                "text", 0, nullptr);
    column->selection =
        GTK_TREE_SELECTION(g_object_ref(gtk_tree_view_get_selection(GTK_TREE_VIEW(column->view))));
    gtk_tree_selection_set_mode(column->selection, GTK_SELECTION_SINGLE);
    column->selection_handler =
        g_signal_connect(column->selection, "changed", G_CALLBACK(on_selection_changed), column);

    GtkWidget *scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER,
                                   GTK_POLICY_AUTOMATIC);
    gtk_widget_set_size_request(scroller, -1, kColumnMinHeight);
    gtk_container_add(GTK_CONTAINER(scroller), column->view);
    gtk_box_pack_start(GTK_BOX(selector->priv->row_box), scroller, TRUE, TRUE, 0);
    gtk_widget_show_all(scroller);
    g_ptr_array_add(selector->priv->columns, column);
    g_signal_emit(selector, selector_signals[COLUMNS_CHANGED], 0);
    return column;
}

void selector_finalize(GObject *object) {
    g_ptr_array_free(HILDON_TOUCH_SELECTOR(object)->priv->columns, TRUE);
    G_OBJECT_CLASS(hildon_touch_selector_parent_class)->finalize(object);
}

void selector_set_property(GObject *object, guint property_id, const GValue *value,
                           GParamSpec *pspec) {
    HildonTouchSelectorPrivate *priv = HILDON_TOUCH_SELECTOR(object)->priv;
    switch (property_id) {
    case PROP_INITIAL_SCROLL:
        priv->initial_scroll = g_value_get_boolean(value);
        break;
    case PROP_LIVE_SEARCH:
        priv->live_search = g_value_get_boolean(value);
        break;
    case PROP_UI_MODE:
        priv->ui_mode = HildonUIMode(g_value_get_enum(value));
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, property_id, pspec);
    }
}

void selector_get_property(GObject *object, guint property_id, GValue *value, GParamSpec *pspec) {
    HildonTouchSelector *selector = HILDON_TOUCH_SELECTOR(object);
    switch (property_id) {
    case PROP_HAS_MULTIPLE_SELECTION:
        g_value_set_boolean(
            value, HILDON_TOUCH_SELECTOR_GET_CLASS(selector)->has_multiple_selection(selector));
        break;
    case PROP_INITIAL_SCROLL:
        g_value_set_boolean(value, selector->priv->initial_scroll);
        break;
    case PROP_LIVE_SEARCH:
        g_value_set_boolean(value, selector->priv->live_search);
        break;
    case PROP_UI_MODE:
        g_value_set_enum(value, selector->priv->ui_mode);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, property_id, pspec);
    }
}

/* Text columns select one row each. */
gboolean single_selection(HildonTouchSelector *) {
    return FALSE;
}

void install_properties(GObjectClass *object_class) {
    const auto construct =
        GParamFlags(G_PARAM_READWRITE | G_PARAM_CONSTRUCT | G_PARAM_STATIC_STRINGS);
    g_object_class_install_property(
        object_class, PROP_HAS_MULTIPLE_SELECTION,
        g_param_spec_boolean("has-multiple-selection", "Has multiple selection",
                             "Whether a column may have several rows selected", FALSE,
                             GParamFlags(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS)));
    g_object_class_install_property(
        object_class, PROP_INITIAL_SCROLL,
        g_param_spec_boolean("initial-scroll", "Initial scroll",
                             "Whether the selected row is scrolled into view when shown", TRUE,
                             construct));
    g_object_class_install_property(object_class, PROP_LIVE_SEARCH,
                                    g_param_spec_boolean("live-search", "Live search",
                                                         "Whether typing filters the rows", TRUE,
                                                         construct));
    g_object_class_install_property(
        object_class, PROP_UI_MODE,
        g_param_spec_enum("hildon-ui-mode", "UI mode", "Normal or edit mode", HILDON_TYPE_UI_MODE,
                          HILDON_UI_MODE_EDIT,
                          GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
}

} // namespace

static void hildon_touch_selector_class_init(HildonTouchSelectorClass *klass) {
    GObjectClass *object_class = G_OBJECT_CLASS(klass);
    object_class->finalize = selector_finalize;
    object_class->set_property = selector_set_property;
    object_class->get_property = selector_get_property;
    klass->has_multiple_selection = single_selection;
    install_properties(object_class);
    selector_signals[COLUMNS_CHANGED] =
        g_signal_new("columns-changed", G_TYPE_FROM_CLASS(klass), G_SIGNAL_RUN_LAST, 0, nullptr,
                     nullptr, g_cclosure_marshal_VOID__VOID, G_TYPE_NONE, 0);
    selector_signals[CHANGED] =
        g_signal_new("changed", G_TYPE_FROM_CLASS(klass), G_SIGNAL_RUN_LAST,
                     G_STRUCT_OFFSET(HildonTouchSelectorClass, changed), nullptr, nullptr,
                     g_cclosure_marshal_VOID__INT, G_TYPE_NONE, 1, G_TYPE_INT);
}

static void hildon_touch_selector_init(HildonTouchSelector *selector) {
    selector->priv = static_cast<HildonTouchSelectorPrivate *>(
        hildon_touch_selector_get_instance_private(selector));
    selector->priv->columns = g_ptr_array_new_with_free_func(free_column);
    selector->priv->ui_mode = HILDON_UI_MODE_EDIT;
    selector->priv->row_box = gtk_hbox_new(TRUE, 0);
    gtk_box_pack_start(GTK_BOX(selector), selector->priv->row_box, TRUE, TRUE, 0);
    gtk_widget_show(selector->priv->row_box);
}

GtkWidget *hildon_touch_selector_new_text(void) {
    auto *selector = HILDON_TOUCH_SELECTOR(g_object_new(HILDON_TYPE_TOUCH_SELECTOR, nullptr));
    append_text_column(selector);
    return GTK_WIDGET(selector);
}

void hildon_touch_selector_append_text(HildonTouchSelector *selector, const gchar *text) {
    g_return_if_fail(HILDON_IS_TOUCH_SELECTOR(selector));
    g_return_if_fail(text != nullptr);
    SelectorColumn *column = column_at(selector, 0);
    g_return_if_fail(column != nullptr);
    GtkTreeIter iter;
    gtk_list_store_append(column->model, &iter);
    gtk_list_store_set(column->model, &iter, 0, text, -1);
}

void hildon_touch_selector_set_active(HildonTouchSelector *selector, gint column, gint index) {
    g_return_if_fail(HILDON_IS_TOUCH_SELECTOR(selector));
    SelectorColumn *target = column_at(selector, column);
    g_return_if_fail(target != nullptr);
    GtkTreeIter iter;
    const bool row = index >= 0 && gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(target->model),
                                                                 &iter, nullptr, index);
    /* A row past the end changes nothing. */
    if (index >= 0 && !row)
        return;
    /* Set from code: "changed" once, also when the row stays the same. */
    g_signal_handler_block(target->selection, target->selection_handler);
    if (row) {
        gtk_tree_selection_select_iter(target->selection, &iter);
        GtkTreePath *path = gtk_tree_model_get_path(GTK_TREE_MODEL(target->model), &iter);
        gtk_tree_view_scroll_to_cell(GTK_TREE_VIEW(target->view), path, nullptr, FALSE, 0, 0);
        gtk_tree_path_free(path);
    } else {
        gtk_tree_selection_unselect_all(target->selection);
    }
    g_signal_handler_unblock(target->selection, target->selection_handler);
    target->active = row ? index : -1;
    g_signal_emit(selector, selector_signals[CHANGED], 0, column);
}

gint hildon_touch_selector_get_active(HildonTouchSelector *selector, gint column) {
    g_return_val_if_fail(HILDON_IS_TOUCH_SELECTOR(selector), -1);
    SelectorColumn *target = column_at(selector, column);
    g_return_val_if_fail(target != nullptr, -1);
    return selected_row(target);
}

gchar *hildon_touch_selector_get_current_text(HildonTouchSelector *selector) {
    g_return_val_if_fail(HILDON_IS_TOUCH_SELECTOR(selector), nullptr);
    /* The texts of the selected rows, column by column, joined by ':'; NULL when
     * no row is selected. */
    GPtrArray *columns = selector->priv->columns;
    GString *text = nullptr;
    for (guint i = 0; i < columns->len; ++i) {
        auto *column = static_cast<SelectorColumn *>(g_ptr_array_index(columns, i));
        GtkTreeModel *model = nullptr;
        GtkTreeIter iter;
        if (!gtk_tree_selection_get_selected(column->selection, &model, &iter))
            continue;
        g_autofree gchar *row_text = nullptr;
        gtk_tree_model_get(model, &iter, 0, &row_text, -1);
        if (text != nullptr)
            g_string_append_c(text, ':');
        else
            text = g_string_new(nullptr);
        g_string_append(text, row_text != nullptr ? row_text : "");
    }
    return text != nullptr ? g_string_free(text, FALSE) : nullptr;
}
