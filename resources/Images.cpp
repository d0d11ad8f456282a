// The pictures of the pages are drawn by this code rather than shipped as opaque
// files: resources/images/ holds PNG renderings of the same drawings, written by
// teelink-draw-images, for the documentation.
#include "resources/Images.h"

#include <wx/dcmemory.h>
#include <wx/graphics.h>

#include <map>
#include <memory>

namespace {

const wxColour kGreen(0x1E, 0x8C, 0x3A);
const wxColour kRed(0xD3, 0x2F, 0x2F);
const wxColour kInk(0x1B, 0x3A, 0x2A);

wxFont FittedFont(wxGraphicsContext& gc, const wxString& text, double maxWidth, int startPt,
                  bool bold) {
    for (int pt = startPt; pt > 4; --pt) {
        wxFont font(wxFontInfo(pt).Family(wxFONTFAMILY_SWISS).Bold(bold));
        gc.SetFont(font, *wxBLACK);
        double w = 0, h = 0;
        gc.GetTextExtent(text, &w, &h);
        if (w <= maxWidth) {
            return font;
        }
    }
    return wxFont(wxFontInfo(5).Family(wxFONTFAMILY_SWISS).Bold(bold));
}

// The USB trident: a stem with an arrow head, a circle foot and two side arms.
void DrawUsbSymbol(wxGraphicsContext& gc, const wxColour& colour, double cx, double top,
                   double height) {
    const double s = height / 40.0;
    gc.SetPen(wxPen(colour, std::max(1, static_cast<int>(2.4 * s + 0.5))));
    gc.SetBrush(wxBrush(colour));
    const double bottom = top + height;
    gc.StrokeLine(cx, top + 6 * s, cx, bottom - 5 * s);
    wxGraphicsPath head = gc.CreatePath();
    head.MoveToPoint(cx, top);
    head.AddLineToPoint(cx - 4.5 * s, top + 7 * s);
    head.AddLineToPoint(cx + 4.5 * s, top + 7 * s);
    head.CloseSubpath();
    gc.FillPath(head);
    gc.DrawEllipse(cx - 4 * s, bottom - 8 * s, 8 * s, 8 * s);
    // Left arm ends in a circle, right arm in a square.
    wxGraphicsPath left = gc.CreatePath();
    left.MoveToPoint(cx, bottom - 15 * s);
    left.AddLineToPoint(cx - 10 * s, bottom - 22 * s);
    left.AddLineToPoint(cx - 10 * s, top + 15 * s);
    gc.StrokePath(left);
    gc.DrawEllipse(cx - 13.5 * s, top + 9 * s, 7 * s, 7 * s);
    wxGraphicsPath right = gc.CreatePath();
    right.MoveToPoint(cx, bottom - 11 * s);
    right.AddLineToPoint(cx + 10 * s, bottom - 18 * s);
    right.AddLineToPoint(cx + 10 * s, top + 19 * s);
    gc.StrokePath(right);
    gc.DrawRectangle(cx + 7 * s, top + 13 * s, 6 * s, 6 * s);
}

wxBitmap DrawConnection(bool connected, bool japanese) {
    wxBitmap bitmap(64, 64, 24);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(dc));
    const wxColour& colour = connected ? kGreen : kRed;
    DrawUsbSymbol(*gc, colour, 32, 4, 38);
    if (!connected) {
        gc->SetPen(wxPen(colour, 3));
        gc->StrokeLine(14, 10, 50, 40);
    }
    const wxString word = japanese ? wxString::FromUTF8(connected ? "接続" : "未接続")
                                   : wxString(connected ? "Connected" : "Not connected");
    wxFont font = FittedFont(*gc, word, 62, 10, true);
    gc->SetFont(font, colour);
    double w = 0, h = 0;
    gc->GetTextExtent(word, &w, &h);
    gc->DrawText(word, (64 - w) / 2, 46 + (18 - h) / 2);
    gc.reset();
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

wxBitmap DrawHeaderLogo() {
    wxBitmap bitmap(275, 57, 24);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(dc));
    // A green with a flag on its pin, then the word mark and a rule below it.
    gc->SetPen(*wxTRANSPARENT_PEN);
    gc->SetBrush(wxBrush(kGreen));
    gc->DrawEllipse(6, 40, 44, 12);
    gc->SetPen(wxPen(kInk, 2));
    gc->StrokeLine(28, 45, 28, 6);
    gc->SetPen(*wxTRANSPARENT_PEN);
    gc->SetBrush(wxBrush(kRed));
    wxGraphicsPath flag = gc->CreatePath();
    flag.MoveToPoint(29, 6);
    flag.AddLineToPoint(46, 12);
    flag.AddLineToPoint(29, 18);
    flag.CloseSubpath();
    gc->FillPath(flag);
    gc->SetBrush(*wxWHITE_BRUSH);
    gc->SetPen(wxPen(kInk, 1));
    gc->DrawEllipse(35, 41, 6, 6);

    wxFont font(wxFontInfo(26).Family(wxFONTFAMILY_SWISS).Bold().Italic());
    gc->SetFont(font, kInk);
    double w = 0, h = 0;
    gc->GetTextExtent("Zorvik", &w, &h);
    gc->DrawText("Zorvik", 60, (48 - h) / 2);
    wxFont small(wxFontInfo(8).Family(wxFONTFAMILY_SWISS));
    gc->SetFont(small, kGreen);
    gc->DrawText("GOLF GPS", 64 + w, 30);
    gc->SetPen(wxPen(kGreen, 2));
    gc->StrokeLine(60, 52, 268, 52);
    gc.reset();
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

}  // namespace

wxBitmap DrawImage(int id) {
    switch (id) {
        case IMG_CONNECTED_JA:
            return DrawConnection(true, true);
        case IMG_CONNECTED_EN:
            return DrawConnection(true, false);
        case IMG_NOT_CONNECTED_JA:
            return DrawConnection(false, true);
        case IMG_NOT_CONNECTED_EN:
            return DrawConnection(false, false);
        case IMG_HEADER_LOGO:
            return DrawHeaderLogo();
        default:
            return wxBitmap(1, 1);
    }
}

wxBitmap LoadImageBitmap(int id) {
    static std::map<int, wxBitmap> cache;
    auto it = cache.find(id);
    if (it == cache.end()) {
        it = cache.emplace(id, DrawImage(id)).first;
    }
    return it->second;
}
