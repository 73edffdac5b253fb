#include "shell/Printtarget.h"

#include <QFileInfo>
#include <QPageSize>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>

#include "platform/Messages.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "shell/Filedialogs.h"

namespace {

constexpr int kMsgNoPrinter = 250;  // no printer configured: the PDF file instead

// The pages painted, or -1 when the device did not take them: said so, with
// where they were to go.
int Produced(int pages, const QString& where) {
    if (pages >= 0) return pages;
    qel::ShowMessage(gMsgTable.Get(kMsgPagesNotWritten) + " " + where.toStdString(), qel::MsgKind::Error);
    return -1;
}

}  // namespace

TPrintHooks DefaultPrintHooks(QWidget* parent) {
    TPrintHooks h;
    h.HasPrinter = [] { return !QPrinterInfo::availablePrinterNames().isEmpty(); };
    h.AskPdfFile = [parent] {
        return QString::fromStdString(
            qel::FileDialogs().SaveFileName(parent, "PDF", gQel.InstallFolder, "PDF files (*.pdf)"));
    };
    return h;
}

QPageLayout PdfPageLayout(bool landscape) {
    return QPageLayout(QPageSize(QPageSize::A4), landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
}

int PrintPdfPages(const QString& path, bool landscape, const TPaintPages& paint) {
    QPdfWriter writer(path);
    writer.setResolution(kPdfDpi);
    writer.setPageLayout(PdfPageLayout(landscape));
    writer.setTitle(QFileInfo(path).completeBaseName());
    return Produced(paint(writer), path);
}

int PrintPages(const TPrintHooks& hooks, bool landscape, const TPaintPages& paint) {
    if (!hooks.HasPrinter || !hooks.HasPrinter()) {
        qel::ShowMessage(gMsgTable.Get(kMsgNoPrinter), qel::MsgKind::Warning);
        const QString path = hooks.AskPdfFile ? hooks.AskPdfFile() : QString();
        return path.isEmpty() ? 0 : PrintPdfPages(path, landscape, paint);
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    if (hooks.AskPrinter && !hooks.AskPrinter(printer)) return 0;
    return Produced(paint(printer), printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName()
                                                                                 : printer.printerName());
}
