// PNG reading through libpng's full interface, which also gives the text chunks.
#include "PngReader.h"

#include <png.h>
#include <bit>
#include <cstdio>
#include <cstring>

namespace quorix::test {

namespace {

// Nothing with a destructor lives in this frame: libpng leaves it by longjmp on errors.
bool Decode(png_structp png, png_infop info, FILE* file, PngImage* image) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    image->width = png_get_image_width(png, info);
    image->height = png_get_image_height(png, info);
    image->bitDepth = png_get_bit_depth(png, info);
    image->colourType = png_get_color_type(png, info);
    if (image->bitDepth == 16 && std::endian::native == std::endian::little) {
        png_set_swap(png);
    }
    png_read_update_info(png, info);
    const size_t stride = png_get_rowbytes(png, info);
    image->pixels.resize(stride * image->height);
    for (uint32_t y = 0; y < image->height; ++y) {
        png_read_row(png, image->pixels.data() + y * stride, nullptr);
    }
    png_read_end(png, info);
    png_textp texts = nullptr;
    const int count = png_get_text(png, info, &texts, nullptr);
    for (int i = 0; i < count; ++i) {
        image->texts[texts[i].key] = std::string(texts[i].text, texts[i].text_length);
    }
    return true;
}

}  // namespace

uint16_t PngImage::Sample16(size_t index) const {
    uint16_t v = 0;
    std::memcpy(&v, pixels.data() + 2 * index, sizeof(v));
    return v;
}

PngImage ReadPng(const std::string& path) {
    PngImage image;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return image;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    image.ok = info != nullptr && Decode(png, info, file, &image);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return image;
}

}  // namespace quorix::test
