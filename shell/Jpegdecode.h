#pragma once
// Decodes the splash picture with libjpeg's own C API.
#include <filesystem>
#include <string>

#include <QImage>

namespace qel {

// Returns a null image and fills *error when the file is missing, is not a
// JPEG or is damaged; a damaged file never aborts the program.
QImage DecodeJpegFile(const std::filesystem::path& file, std::string* error = nullptr);

}  // namespace qel
