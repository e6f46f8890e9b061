#include "wizard/Unit_JpegImage.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on
#include <csetjmp>

#include "platform/Exceptions.h"

namespace {

// libjpeg's own error_exit ends the process; this one jumps back to the
// decoder with the message kept, so that a bad picture is only an error.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr info) {
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->back, 1);
}

// Warnings (corrupt data that libjpeg can still decode) are not shown.
void OutputMessage(j_common_ptr) {}

// Kept out of the function that calls setjmp, so that no object with a
// destructor lives between setjmp and longjmp.
bool DecodeInto(jpeg_decompress_struct& info, ErrorManager& errors, const std::string& bytes,
                TRgbImage& image) {
    if (setjmp(errors.back) != 0) return false;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3) {
        // Cannot happen for JCS_RGB output; guards the row arithmetic below.
        std::snprintf(errors.message, sizeof errors.message, "Unsupported JPEG colour format");
        return false;
    }
    image.Width = static_cast<int>(info.output_width);
    image.Height = static_cast<int>(info.output_height);
    image.Pixels.resize(static_cast<std::size_t>(image.Width) * image.Height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row =
            image.Pixels.data() + static_cast<std::size_t>(info.output_scanline) * image.Width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    return true;
}

}  // namespace

TRgbImage DecodeJpeg(const std::string& bytes) {
    if (bytes.empty()) throw Exception("The picture is empty");
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = ErrorExit;
    errors.pub.output_message = OutputMessage;
    TRgbImage image;
    bool decoded = false;
    try {
        decoded = DecodeInto(info, errors, bytes, image);
    } catch (...) {  // no memory for the pixels
        jpeg_destroy_decompress(&info);
        throw;
    }
    jpeg_destroy_decompress(&info);
    if (!decoded) throw Exception(std::string("Cannot show the picture: ") + errors.message);
    return image;
}
