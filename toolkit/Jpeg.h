#pragma once
// JPEG pictures decoded with libjpeg into device-independent bitmaps.
#include "toolkit/GdiHandles.h"

#include <cstddef>

struct TDecodedPicture {
    TBitmapHandle Bitmap; // empty when the data could not be decoded
    int Width = 0, Height = 0;
};

// Never raises: damaged data gives an empty picture.
TDecodedPicture DecodeJpeg(const void* data, size_t size);
// The JPEG held in the program's resources under `name` (type RCDATA).
TDecodedPicture LoadJpegResource(const char* name);
