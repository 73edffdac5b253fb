#pragma once
// Where the pages of a print command go, for every print command alike: the
// system's printer, or, with no printer configured, a PDF file the user names
// after being told so. A run that produced no page says so: no print reports
// pages it did not produce.
#include <functional>

#include <QPageLayout>
#include <QString>

class QPagedPaintDevice;
class QPrinter;
class QWidget;

/// Paints the pages onto a device; returns how many it produced, -1 when the
/// device did not take them (its painter did not start, it refused a page).
using TPaintPages = std::function<int(QPagedPaintDevice&)>;

/// The answers a print run asks for; tests replace them.
struct TPrintHooks {
    std::function<bool()> HasPrinter;           ///< a printer is configured
    std::function<QString()> AskPdfFile;        ///< the PDF file to write; empty: cancelled
    std::function<bool(QPrinter&)> AskPrinter;  ///< the print dialog, false: cancelled; unset: the default printer
};

/// The desktop's answers: the configured printers, and a save dialog over
/// `parent` for the PDF file. No print dialog (the default printer).
TPrintHooks DefaultPrintHooks(QWidget* parent);

/// Resolution and page of a PDF file (A4, 10 mm margins), also the page a
/// preview shows when no printer is configured.
inline constexpr int kPdfDpi = 600;
QPageLayout PdfPageLayout(bool landscape);

/// Prints the pages on the printer; with none configured, shows message 250
/// and writes them into the PDF file asked for. Returns the pages produced;
/// 0 when the user cancelled (nothing produced); -1 when the printer or the
/// file did not take them (said so, with where they were to go).
int PrintPages(const TPrintHooks& hooks, bool landscape, const TPaintPages& paint);

/// Writes the pages into the PDF file at `path`: the pages produced, or -1
/// when the file did not take them (said so).
int PrintPdfPages(const QString& path, bool landscape, const TPaintPages& paint);
