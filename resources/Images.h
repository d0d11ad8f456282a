#pragma once

#include <wx/bitmap.h>

// Bitmap resources of the pages, by their template ids.
enum ImageId : int {
    IMG_CONNECTED_JA = 316,
    IMG_CONNECTED_EN = 317,
    IMG_NOT_CONNECTED_JA = 318,
    IMG_NOT_CONNECTED_EN = 319,
    IMG_HEADER_LOGO = 320,
};

// The picture of `id`, drawn once and cached (user-interface thread only).
wxBitmap LoadImageBitmap(int id);

// Draws the picture of `id` afresh (used by the cache and by the tool that writes
// the pictures to resources/images/).
wxBitmap DrawImage(int id);
