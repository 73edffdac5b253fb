#pragma once
// The splash picture as an image: the JPEG decoded by project/Jpegpicture.
#include <filesystem>
#include <string>

#include <QImage>
#include <QSize>

namespace qel {

// Side of the largest picture taken when the caller names no screen.
inline constexpr int kMaxSplashSide = 4096;

// Returns a null image and fills *error when the file is missing, is not a
// JPEG, is damaged, or its picture is larger than `maxSize` (no size given:
// kMaxSplashSide square); a bad file never aborts the program.
QImage DecodeJpegFile(const std::filesystem::path& file, std::string* error = nullptr, QSize maxSize = {});

}  // namespace qel
