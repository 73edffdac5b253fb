#pragma once
// Reading a printed PDF back with the poppler tools: its page count, a page's
// text, a page as an image, and how much of an area is dark.
#include <filesystem>
#include <string>

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>

#include "tests/support/WaitLimit.h"

namespace qel::test {

// The tool's standard output; empty when it failed.
inline QString RunPdfTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(kWaitLimitMs) || p.exitCode() != 0) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

inline int PdfPages(const std::filesystem::path& pdf) {
    const QString info = RunPdfTool(QStringLiteral("pdfinfo"), {QString::fromStdString(pdf.string())});
    for (const QString& line : info.split('\n'))
        if (line.startsWith(QStringLiteral("Pages:"))) return line.mid(6).trimmed().toInt();
    return -1;
}

inline QString PdfText(const std::filesystem::path& pdf, int page) {
    return RunPdfTool(QStringLiteral("pdftotext"), {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                                                    QString::number(page), QString::fromStdString(pdf.string()),
                                                    QStringLiteral("-")});
}

// Page `page` of the PDF as an image `width` x `height` pixels.
inline QImage PdfImage(const std::filesystem::path& pdf, int page, int width, int height) {
    const std::filesystem::path prefix = pdf.parent_path() / ("page" + std::to_string(page));
    RunPdfTool(QStringLiteral("pdftoppm"),
               {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"), QString::number(page),
                QStringLiteral("-singlefile"), QStringLiteral("-png"), QStringLiteral("-scale-to-x"),
                QString::number(width), QStringLiteral("-scale-to-y"), QString::number(height),
                QString::fromStdString(pdf.string()), QString::fromStdString(prefix.string())});
    return QImage(QString::fromStdString(prefix.string() + ".png")).convertToFormat(QImage::Format_RGB32);
}

// Pixels of the area darker than mid-grey.
inline int Dark(const QImage& image, QRect area) {
    int n = 0;
    area = area.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128) ++n;
    return n;
}

}  // namespace qel::test
