#include "toolkit/Jpeg.h"

#include <csetjmp>
#include <cstdio>

extern "C" {
#include <jpeglib.h>
}

namespace {

struct ErrorManager {
    jpeg_error_mgr Base;
    std::jmp_buf Jump;
};

// libjpeg is C: a failure leaves it by longjmp, never by a C++ exception.
void OnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->Jump, 1);
}

void Silence(j_common_ptr, int) {}

} // namespace

TDecodedPicture DecodeJpeg(const void* data, size_t size) {
    TDecodedPicture result;
    if (!data || size == 0) return result;
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.Base);
    errors.Base.error_exit = OnError;
    errors.Base.emit_message = Silence;
    // Objects with destructors stay out of the region longjmp may cross.
    HBITMAP volatile bitmap = nullptr;
    void* bits = nullptr;
    if (setjmp(errors.Jump)) {
        jpeg_destroy_decompress(&info);
        if (bitmap) DeleteObject(bitmap);
        return TDecodedPicture{};
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, static_cast<const unsigned char*>(data), static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    const int width = static_cast<int>(info.output_width), height = static_cast<int>(info.output_height);
    bitmap = CreateTopDownDIB32(width, height, &bits);
    if (!bitmap) {
        jpeg_destroy_decompress(&info);
        return result;
    }
    JSAMPLE row[3 * 4096];
    auto* out = static_cast<unsigned char*>(bits);
    while (info.output_scanline < info.output_height && width <= 4096) {
        JSAMPROW rows[1] = {row};
        jpeg_read_scanlines(&info, rows, 1);
        unsigned char* line = out + static_cast<size_t>(info.output_scanline - 1) * width * 4;
        for (int x = 0; x < width; ++x) {
            line[x * 4 + 0] = row[x * 3 + 2];
            line[x * 4 + 1] = row[x * 3 + 1];
            line[x * 4 + 2] = row[x * 3 + 0];
            line[x * 4 + 3] = 0;
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    GdiFlush();
    result.Bitmap.Reset(bitmap);
    result.Width = width;
    result.Height = height;
    return result;
}

TDecodedPicture LoadJpegResource(const char* name) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC info = FindResourceA(module, name, reinterpret_cast<LPCSTR>(RT_RCDATA));
    if (!info) return TDecodedPicture{};
    HGLOBAL handle = LoadResource(module, info); // resources need no release
    return DecodeJpeg(LockResource(handle), SizeofResource(module, info));
}
