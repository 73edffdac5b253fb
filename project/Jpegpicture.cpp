#include "project/Jpegpicture.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

#include <jpeglib.h>

#include "project/Fileio.h"

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

struct Job {
    const std::vector<std::uint8_t>* bytes;
    int maxWidth, maxHeight;
    TRgbPicture* out;
    std::string error;
};

// Why a picture is refused for its size.
std::string SizeRefusal(unsigned width, unsigned height, int maxWidth, int maxHeight) {
    return "picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels is larger than " +
           std::to_string(maxWidth) + " x " + std::to_string(maxHeight);
}

[[gnu::noinline]] void Refuse(Job* job, jpeg_decompress_struct* info, std::string why) {
    job->error = std::move(why);
    jpeg_destroy_decompress(info);
}

// The decoding proper, called under the jump buffer; a fatal error of
// libjpeg leaves it by longjmp, so it holds nothing that needs destroying.
[[gnu::noinline]] bool DecodeInto(Job* job, jpeg_decompress_struct* info) {
    jpeg_mem_src(info, job->bytes->data(), static_cast<unsigned long>(job->bytes->size()));
    jpeg_read_header(info, TRUE);
    // The frame header may announce any size; a splash larger than the screen
    // is refused before the decoder or we take memory for it.
    if (info->image_width == 0 || info->image_height == 0 ||
        info->image_width > static_cast<unsigned>(job->maxWidth) ||
        info->image_height > static_cast<unsigned>(job->maxHeight)) {
        Refuse(job, info, SizeRefusal(info->image_width, info->image_height, job->maxWidth, job->maxHeight));
        return false;
    }
    info->out_color_space = JCS_RGB;
    jpeg_start_decompress(info);
    TRgbPicture* out = job->out;
    out->width = static_cast<int>(info->output_width);
    out->height = static_cast<int>(info->output_height);
    const std::size_t rowBytes = static_cast<std::size_t>(out->width) * 3;
    bool allocated = true;
    try {
        out->rgb.assign(rowBytes * static_cast<std::size_t>(out->height), 0);
    } catch (const std::bad_alloc&) {
        allocated = false;
    }
    if (!allocated || info->output_components != 3) {
        Refuse(job, info, allocated ? "picture is not in colour" : "not enough memory for the picture");
        return false;
    }
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = out->rgb.data() + static_cast<std::size_t>(info->output_scanline) * rowBytes;
        jpeg_read_scanlines(info, &row, 1);
    }
    jpeg_finish_decompress(info);
    jpeg_destroy_decompress(info);
    return true;
}

// Everything modified between setjmp and a possible longjmp lives behind the
// pointers, never in this function's own locals.
bool DecodeStream(Job* job, jpeg_decompress_struct* info, JpegError* err) {
    info->err = jpeg_std_error(&err->base);
    err->base.error_exit = OnJpegError;
    err->base.emit_message = OnJpegWarning;
    if (setjmp(err->jump)) {
        Refuse(job, info, err->text);
        return false;
    }
    jpeg_create_decompress(info);
    return DecodeInto(job, info);
}

}  // namespace

bool DecodeJpegPicture(const std::filesystem::path& file, int maxWidth, int maxHeight, TRgbPicture& out,
                       std::string* error) {
    out = {};
    std::vector<std::uint8_t> bytes;
    switch (qelfile::ReadWholeFile(file, bytes, kMaxJpegFileBytes)) {
    case qelfile::ReadResult::Ok: break;
    case qelfile::ReadResult::TooLarge:
        if (error) *error = file.string() + " is too large for a picture";
        return false;
    default:
        if (error) *error = "cannot open " + file.string();
        return false;
    }
    Job job{&bytes, maxWidth, maxHeight, &out, {}};
    jpeg_decompress_struct info;
    JpegError err;
    std::memset(&info, 0, sizeof info);
    std::memset(&err, 0, sizeof err);
    if (!DecodeStream(&job, &info, &err) || out.width <= 0 || out.height <= 0) {
        if (error) *error = job.error.empty() ? "empty picture" : job.error;
        out = {};
        return false;
    }
    return true;
}

}  // namespace qel
