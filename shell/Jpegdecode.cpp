#include "shell/Jpegdecode.h"

#include <cstring>

#include "project/Jpegpicture.h"

namespace qel {

QImage DecodeJpegFile(const std::filesystem::path& file, std::string* error, QSize maxSize) {
    if (!maxSize.isValid() || maxSize.isEmpty()) maxSize = QSize(kMaxSplashSide, kMaxSplashSide);
    TRgbPicture picture;
    if (!DecodeJpegPicture(file, maxSize.width(), maxSize.height(), picture, error)) return {};
    QImage image(picture.width, picture.height, QImage::Format_RGB888);
    if (image.isNull()) {
        // Qt could not have the memory for it: no picture, never a copy into nothing.
        if (error) *error = "not enough memory for the picture";
        return {};
    }
    const std::size_t rowBytes = static_cast<std::size_t>(picture.width) * 3;
    for (int y = 0; y < picture.height; ++y)
        std::memcpy(image.scanLine(y), picture.rgb.data() + static_cast<std::size_t>(y) * rowBytes, rowBytes);
    return image;
}

}  // namespace qel
