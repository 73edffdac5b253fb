#pragma once
// The print settings window (`PrintForm`): what goes on the pages of the
// active view (comments, title page, range, ratio) and the print run onto the
// system's printer through its print dialog, or into a PDF file. The pages
// come from a page source per view; the preview (`PreviewForm`) shows the
// same document.
#include <functional>
#include <map>
#include <memory>

#include <QDialog>

#include "tools/render/Printpages.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

class TPrintForm : public QDialog {
    Q_OBJECT
public:
    explicit TPrintForm(QWidget* parent = nullptr);
    ~TPrintForm() override;

    using SourceMaker = std::function<std::unique_ptr<TPageSource>()>;
    /// The page source of a view (2, 17, 1, 18, 6, 16 ...): null while the
    /// view's window is not open. Registers and charts join here.
    static void SetSourceMaker(int view, SourceMaker maker);
    static std::unique_ptr<TPageSource> MakeSource(int view);
    /// Something of the view can be printed (the frame's print command).
    static bool CanPrint(int view);

    /// Opens the window for a view: options reset as on every activation
    /// (the title page check keeps its state).
    void ShowFor(int view);
    /// The options as the controls hold them; false with a message for a
    /// range that is not two page numbers within the document.
    bool ReadSettings(TPrintSettings& settings);
    /// Counts the pages of the current view with the current options.
    int CountPages();
    /// The document to print or preview, for the frame of the page.
    TPrintDocument Document(const TPrintSettings& settings) const;
    /// A4 at 600 dpi, portrait or landscape: the PDF's page and the preview's
    /// when no printer is configured.
    static TPageFrame DefaultFrame(bool landscape);

    /// "打印": the system's print dialog and printer; without a printer a
    /// message, then the PDF file. Returns the sheets printed; 0 when the
    /// user cancelled, -1 when nothing was printed (the reason shown; a
    /// printer or file that refused the pages keeps the window open).
    int PrintClick();
    /// Prints the document into a PDF file; returns the sheets written, -1
    /// when none was (a file that cannot be written is reported).
    int PrintToPdf(const QString& path);
    void PreviewClick();

    /// Hooks the tests replace: whether a printer is configured, the PDF file
    /// name asked for, and the system print dialog (false: cancelled).
    std::function<bool()> HasPrinter;
    std::function<QString()> AskPdfFile;
    std::function<bool(class QPrinter&)> AskPrinter;
    /// The frame's CommitEdits: Print, Preview, PDF and the page count of a
    /// part print take the pages from what the editors show; false (the
    /// editor said why) prints nothing.
    std::function<bool()> TakeInEditors;

    QGroupBox* PrnItemGp;
    QCheckBox *DevCmtPrnCheck, *BkCmtPrnCheck, *OutCmtPrnCheck, *TitlePrnChk;
    QRadioButton *PrnTypeAll, *PrnTypePart;
    QRadioButton* PrnRatio[3];
    QRadioButton *PrnColorBw, *PrnColorColour;
    QGroupBox* PartPrnGp;
    QLineEdit *StartPage, *EndPage;
    QPushButton *Print, *Preview, *PdfButton, *Cancel;

    int View() const { return view_; }
    std::shared_ptr<TPageSource> Source() const { return source_; }

private:
    bool TakeIn() { return !TakeInEditors || TakeInEditors(); }
    void PrnTypeClick();
    TTitleInfo TitleInfo() const;
    int view_ = 2;
    std::shared_ptr<TPageSource> source_;  // shared with the preview while it shows the pages
    static std::map<int, SourceMaker>& Makers();
};

extern TPrintForm* PrintForm;
