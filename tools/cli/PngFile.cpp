// PNG writing through libpng.
#include "cli/PngFile.h"

#include <png.h>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quorix::cli {

namespace {

struct Layout {
    int bitDepth;
    int colourType;
    size_t bytesPerPixel;
};

Layout LayoutOf(PngFormat format) {
    switch (format) {
        case PngFormat::kGrey8:
            return {8, PNG_COLOR_TYPE_GRAY, 1};
        case PngFormat::kGrey16:
            return {16, PNG_COLOR_TYPE_GRAY, 2};
        case PngFormat::kRgb8:
            break;
    }
    return {8, PNG_COLOR_TYPE_RGB, 3};
}

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
    *static_cast<std::string*>(png_get_error_ptr(png)) = message;
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// libpng reports errors by longjmp, so nothing with a destructor may live in this frame.
bool Encode(png_structp png, png_infop info, FILE* file, uint32_t width, uint32_t height,
            const Layout& layout, png_text* texts, int textCount, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, layout.bitDepth, layout.colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (textCount > 0) {
        png_set_text(png, info, texts, textCount);
    }
    png_write_info(png, info);
    if (layout.bitDepth == 16 && std::endian::native == std::endian::little) {
        png_set_swap(png);
    }
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

}  // namespace

bool WritePng(const std::string& path, uint32_t width, uint32_t height, PngFormat format,
              const void* pixels, const std::vector<PngText>& texts, std::string& error) {
    if (width == 0 || height == 0 || pixels == nullptr) {
        error = "empty image";
        return false;
    }
    std::vector<png_text> chunks(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        if (texts[i].key.empty() || texts[i].key.size() > 79) {
            error = "text key must have 1 to 79 characters: \"" + texts[i].key + "\"";
            return false;
        }
        chunks[i].compression = PNG_TEXT_COMPRESSION_NONE;
        chunks[i].key = const_cast<char*>(texts[i].key.c_str());
        chunks[i].text = const_cast<char*>(texts[i].value.c_str());
        chunks[i].text_length = texts[i].value.size();
    }
    const Layout layout = LayoutOf(format);
    const size_t stride = static_cast<size_t>(width) * layout.bytesPerPixel;
    std::vector<png_bytep> rows(height);
    for (uint32_t y = 0; y < height; ++y) {
        // libpng only reads the rows; its interface lacks const.
        rows[y] = const_cast<png_bytep>(static_cast<const png_byte*>(pixels) + y * stride);
    }

    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::string pngError;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &pngError, OnError, OnWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    bool ok = info != nullptr && Encode(png, info, file, width, height, layout, chunks.data(),
                                        static_cast<int>(chunks.size()), rows.data());
    png_destroy_write_struct(&png, &info);
    const bool closed = std::fclose(file) == 0;
    if (!ok || !closed) {
        error =
            path + ": " +
            (!ok ? (pngError.empty() ? "out of memory" : pngError) : std::string("write failed"));
        std::remove(path.c_str());
        return false;
    }
    return true;
}

}  // namespace quorix::cli
