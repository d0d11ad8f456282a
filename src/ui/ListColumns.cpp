#include "ui/ListColumns.h"

#include <wx/dc.h>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

#include "resources/Images.h"

namespace teelink {

namespace {

// Draws the mark's picture alone; the words are for the screen reader.
class CMarkRenderer : public wxDataViewCustomRenderer {
public:
    CMarkRenderer(const wxBitmap& mark, const wxString& text)
        : wxDataViewCustomRenderer("bool", wxDATAVIEW_CELL_INERT), m_mark(mark), m_text(text) {}

    bool SetValue(const wxVariant& value) override {
        m_marked = !value.IsNull() && value.GetBool();
        return true;
    }
    bool GetValue(wxVariant& value) const override {
        value = m_marked;
        return true;
    }
    wxSize GetSize() const override { return m_mark.IsOk() ? m_mark.GetSize() : wxSize(16, 16); }
    bool Render(wxRect cell, wxDC* dc, int /*state*/) override {
        if (m_marked && m_mark.IsOk()) {
            dc->DrawBitmap(m_mark, Placed(cell), true);
        }
        return true;
    }
#if wxUSE_ACCESSIBILITY
    wxString GetAccessibleDescription() const override {
        return m_marked ? m_text : wxString();
    }
#endif

private:
    // Where the picture goes in `cell`, by the column's alignment.
    wxPoint Placed(const wxRect& cell) const {
        const wxSize size = GetSize();
        const int align = GetEffectiveAlignment();
        int x = cell.x;
        if ((align & wxALIGN_CENTRE_HORIZONTAL) != 0) {
            x += (cell.width - size.x) / 2;
        } else if ((align & wxALIGN_RIGHT) != 0) {
            x += cell.width - size.x;
        }
        return {x, cell.y + (cell.height - size.y) / 2};
    }

    wxBitmap m_mark;
    wxString m_text;
    bool m_marked = false;
};

#ifdef __WXGTK__

// The tree view's accessible cells take their words only from a text
// renderer. A mark column carries one that is never drawn: it holds the
// mark's words for the rows that have the mark.
struct CSpokenMark {
    wxDataViewListCtrl* list;
    unsigned column;
    wxCharBuffer text;
};

void SpeakMark(GtkTreeViewColumn* /*column*/, GtkCellRenderer* cell, GtkTreeModel* model,
               GtkTreeIter* iter, gpointer data) {
    auto* mark = static_cast<CSpokenMark*>(data);
    GtkTreePath* path = gtk_tree_model_get_path(model, iter);
    const int row = path == nullptr ? -1 : gtk_tree_path_get_indices(path)[0];
    if (path != nullptr) {
        gtk_tree_path_free(path);
    }
    wxVariant value;
    if (row >= 0 && row < static_cast<int>(mark->list->GetItemCount())) {
        mark->list->GetValue(value, static_cast<unsigned>(row), mark->column);
    }
    const bool marked = !value.IsNull() && value.GetBool();
    g_object_set(cell, "text", marked ? mark->text.data() : "", "visible", FALSE, nullptr);
}

void AddSpokenMark(wxDataViewListCtrl& list, wxDataViewColumn& column, const wxString& text) {
    auto* tree = GTK_TREE_VIEW_COLUMN(column.GetGtkHandle());
    GtkCellRenderer* words = gtk_cell_renderer_text_new();
    gtk_cell_renderer_set_visible(words, FALSE);
    gtk_tree_view_column_pack_end(tree, words, FALSE);
    gtk_tree_view_column_set_cell_data_func(
        tree, words, SpeakMark, new CSpokenMark{&list, column.GetModelColumn(), text.utf8_str()},
        [](gpointer data) { delete static_cast<CSpokenMark*>(data); });
}

#endif

}  // namespace

int MarkColumnWidth(int templateWidth) {
#ifdef __WXGTK__
    constexpr int kImageWithPadding = 16 + 2 * 4;
    return templateWidth < kImageWithPadding ? kImageWithPadding : templateWidth;
#else
    return templateWidth;
#endif
}

wxDataViewColumn* AppendTextColumn(wxDataViewListCtrl& list, const wxString& title, int width,
                                   wxAlignment align) {
    return list.AppendTextColumn(title, wxDATAVIEW_CELL_INERT, width, align);
}

wxDataViewColumn* AppendMarkColumn(wxDataViewListCtrl& list, const wxString& title, int width,
                                   wxAlignment align, int markImageId, const wxString& markText) {
    auto* column =
        new wxDataViewColumn(title, new CMarkRenderer(ImageBitmap(markImageId, &list), markText),
                             list.GetColumnCount(), width, align, wxDATAVIEW_COL_RESIZABLE);
    list.AppendColumn(column, "bool");
#ifdef __WXGTK__
    AddSpokenMark(list, *column, markText);
#endif
    return column;
}

void ShowColumn(wxDataViewColumn& column, int width) {
    column.SetHidden(width == 0);
    if (width > 0) {
        column.SetWidth(width);
    }
}

void FocusRow(wxDataViewListCtrl& list, int row) {
    if (row < 0 || row >= static_cast<int>(list.GetItemCount())) {
        return;
    }
    const wxDataViewItem item = list.RowToItem(row);
    list.SetCurrentItem(item);
    list.Select(item);
    list.EnsureVisible(item);
}

bool HasKeyboard(wxDataViewListCtrl& list) {
    const wxWindow* focus = wxWindow::FindFocus();
    return focus != nullptr && (focus == &list || focus == list.GetMainWindow());
}

int ActivatedRow(const wxDataViewListCtrl& list, const wxDataViewEvent& event) {
    return list.ItemToRow(event.GetItem());
}

}  // namespace teelink
