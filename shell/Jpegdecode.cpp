#include "shell/Jpegdecode.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>

namespace qel {
namespace {

// libjpeg reports fatal errors through error_exit, which must not return:
// we jump back to the decoder and give up on the picture.
struct JpegError {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char text[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr info) {
    auto* err = reinterpret_cast<JpegError*>(info->err);
    (*info->err->format_message)(info, err->text);
    std::longjmp(err->jump, 1);
}

void OnJpegWarning(j_common_ptr, int) {}

struct Decoded {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;  // 3 bytes a pixel, rows packed
    std::string error;
};

// Everything modified between setjmp and a possible longjmp lives behind the
// pointers, never in this function's own locals.
bool DecodeStream(std::FILE* in, Decoded* out, jpeg_decompress_struct* info, JpegError* err) {
    info->err = jpeg_std_error(&err->base);
    err->base.error_exit = OnJpegError;
    err->base.emit_message = OnJpegWarning;
    if (setjmp(err->jump)) {
        out->error = err->text;
        jpeg_destroy_decompress(info);
        return false;
    }
    jpeg_create_decompress(info);
    jpeg_stdio_src(info, in);
    jpeg_read_header(info, TRUE);
    info->out_color_space = JCS_RGB;
    jpeg_start_decompress(info);
    out->width = static_cast<int>(info->output_width);
    out->height = static_cast<int>(info->output_height);
    out->rgb.assign(static_cast<size_t>(out->width) * out->height * 3, 0);
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = out->rgb.data() + static_cast<size_t>(info->output_scanline) * out->width * 3;
        jpeg_read_scanlines(info, &row, 1);
    }
    jpeg_finish_decompress(info);
    jpeg_destroy_decompress(info);
    return true;
}

}  // namespace

QImage DecodeJpegFile(const std::filesystem::path& file, std::string* error) {
    std::FILE* in = std::fopen(file.c_str(), "rb");
    if (!in) {
        if (error) *error = "cannot open " + file.string();
        return {};
    }
    Decoded decoded;
    jpeg_decompress_struct info;
    JpegError err;
    std::memset(&info, 0, sizeof info);
    std::memset(&err, 0, sizeof err);
    const bool ok = DecodeStream(in, &decoded, &info, &err);
    std::fclose(in);
    if (!ok || decoded.width <= 0 || decoded.height <= 0) {
        if (error) *error = decoded.error.empty() ? "empty picture" : decoded.error;
        return {};
    }
    QImage image(decoded.width, decoded.height, QImage::Format_RGB888);
    for (int y = 0; y < decoded.height; ++y)
        std::memcpy(image.scanLine(y), decoded.rgb.data() + static_cast<size_t>(y) * decoded.width * 3,
                    static_cast<size_t>(decoded.width) * 3);
    return image;
}

}  // namespace qel
