#pragma once
// Decodes a JPEG picture (the start-up splash) with libjpeg's own C API into
// packed RGB rows. No windows: the splash window turns the rows into its image.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qel {

/// Largest picture file read; the splash is a few tens of kilobytes.
inline constexpr std::uintmax_t kMaxJpegFileBytes = 8u << 20;

struct TRgbPicture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;  // 3 bytes a pixel, rows packed
};

/// Decodes `file` into `out`. Refused, with a reason in *error and `out`
/// empty: a missing, non-regular or over-long file, a file that is no JPEG or
/// is damaged, a picture wider than `maxWidth` or taller than `maxHeight`
/// (checked from its frame header before any pixel memory is taken), and a
/// picture whose memory cannot be had. Never aborts the program.
bool DecodeJpegPicture(const std::filesystem::path& file, int maxWidth, int maxHeight, TRgbPicture& out,
                       std::string* error = nullptr);

}  // namespace qel
