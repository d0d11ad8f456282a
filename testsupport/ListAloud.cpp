#include "testsupport/ListAloud.h"

#include <wx/window.h>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

#include "ui/Accessible.h"

namespace teelink {

#ifdef __WXGTK__

namespace {

std::string Utf8(const char* text) {
    return text == nullptr ? std::string() : std::string(text);
}

// What a cell says: its own name, or, for a cell of several parts (a picture
// beside words), the words of its parts.
std::string CellText(AtkObject* cell) {
    std::string text = Utf8(atk_object_get_name(cell));
    if (!text.empty()) {
        return text;
    }
    for (int i = 0; i < atk_object_get_n_accessible_children(cell); ++i) {
        AtkObject* part = atk_object_ref_accessible_child(cell, i);
        const std::string said = part == nullptr ? std::string() : CellText(part);
        if (!said.empty()) {
            text += (text.empty() ? "" : " ") + said;
        }
        if (part != nullptr) {
            g_object_unref(part);
        }
    }
    return text;
}

bool HasState(AtkObject* object, AtkStateType state) {
    AtkStateSet* states = atk_object_ref_state_set(object);
    const bool has = states != nullptr && atk_state_set_contains_state(states, state);
    if (states != nullptr) {
        g_object_unref(states);
    }
    return has;
}

std::string ColumnTitle(AtkTable* table, int column) {
    std::string title = Utf8(atk_table_get_column_description(table, column));
    if (title.empty()) {
        if (AtkObject* header = atk_table_get_column_header(table, column)) {
            title = Utf8(atk_object_get_name(header));
        }
    }
    return title;
}

void ReadRow(AtkTable* table, int row, CListAloud& aloud) {
    std::vector<std::string> cells;
    for (int column = 0; column < atk_table_get_n_columns(table); ++column) {
        AtkObject* cell = atk_table_ref_at(table, row, column);
        cells.push_back(cell == nullptr ? std::string() : CellText(cell));
        if (cell != nullptr && HasState(cell, ATK_STATE_FOCUSED)) {
            aloud.focusedRow = row;
        }
        if (cell != nullptr) {
            g_object_unref(cell);
        }
    }
    aloud.rows.push_back(std::move(cells));
    if (atk_table_is_row_selected(table, row)) {
        aloud.selectedRows.push_back(row);
    }
}

}  // namespace

std::optional<CListAloud> ReadListAloud(const wxWindow& list) {
    GtkWidget* widget = AccessibleWidget(list);
    AtkObject* object = widget == nullptr ? nullptr : gtk_widget_get_accessible(widget);
    if (object == nullptr || !ATK_IS_TABLE(object)) {
        return std::nullopt;
    }
    AtkTable* table = ATK_TABLE(object);
    CListAloud aloud;
    aloud.name = Utf8(atk_object_get_name(object));
    for (int column = 0; column < atk_table_get_n_columns(table); ++column) {
        aloud.columns.push_back(ColumnTitle(table, column));
    }
    for (int row = 0; row < atk_table_get_n_rows(table); ++row) {
        ReadRow(table, row, aloud);
    }
    return aloud;
}

#else

std::optional<CListAloud> ReadListAloud(const wxWindow& /*list*/) {
    return std::nullopt;
}

#endif

}  // namespace teelink
