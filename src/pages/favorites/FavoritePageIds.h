#pragma once

namespace teelink {

// Control ids of the favourites page (shared with tests).
enum FavoritePageControl : int {
    IDC_FAV_UPDATE = 1001,
    IDC_FAV_CANCEL = 1041,
    IDC_FAV_STATUS = 1042,
    IDC_FAV_LIST = 1043,
    IDC_FAV_TITLE = 1047,
    IDC_FAV_LEGEND = 1052,
    IDC_FAV_LEGEND_ICON = 1053,
};

// Control ids of the course selection dialog (shared with tests).
enum SelectCourseControl : int {
    IDC_SEL_BACK = 1001,
    IDC_SEL_LIST = 1046,
    IDC_SEL_TITLE = 1049,
    IDC_SEL_LEGEND = 1050,
    IDC_SEL_LEGEND_ICON = 1054,
};

// Columns of the favourites list (a slot's course numbers stay in the
// document: the list shows what a reader needs).
enum FavoriteColumn : int { COL_SLOT = 0, COL_MARK, COL_NAME };

// Columns of the course selection list.
enum SelectCourseColumn : int { SEL_COL_MARK = 0, SEL_COL_ITEM };

}  // namespace teelink
