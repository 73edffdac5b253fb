#pragma once
// Print preview (`PreviewForm`): the pages of the print settings window's
// document, one at a time, drawn by the same page painters as the printout
// onto a picture of the paper; zoom, page turning and printing from here.
#include <memory>

#include <QDialog>
#include <QImage>

#include "tools/render/Printpages.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QLabel;
class TPrintForm;

class TPreviewForm : public QDialog {
    Q_OBJECT
public:
    explicit TPreviewForm(TPrintForm* print, QWidget* parent = nullptr);
    ~TPreviewForm() override;

    /// Shows the document from `pageIndex` (-1 the title page) on the paper
    /// of `frame`; `source` keeps the document's source alive meanwhile.
    void Open(const TPrintDocument& doc, const TPageFrame& frame, int pageIndex,
              std::shared_ptr<TPageSource> source = {});
    /// The page image at the zoom in force (100 %: 425 pixels across a portrait
    /// page); it opens at the first zoom whose body text reads.
    const QImage& PageImage() const { return image_; }
    /// Renders sheet `sheet` of the document at a given size (tests compare it).
    QImage RenderSheet(int sheet, QSize size) const;
    int PageIndex() const { return index_; }
    int SheetCount() const;

    void PrePageClick();
    void NextPageClick();
    void SetZoom(int percent);

    QLabel* Page;
    QScrollArea* Scroll;
    QPushButton *PrintBtn, *Cancel, *PrePage, *NextPage;
    QLineEdit *CurPageNum_Txt, *PrnPageSum_Txt;
    QComboBox* Zoom;

private:
    void Render();
    void UpdateButtons();
    int Sheet() const;
    /// The page's width at 100 %.
    int BaseWidth() const;
    TPrintForm* print_;
    TPrintDocument doc_;
    std::shared_ptr<TPageSource> source_;
    TPageFrame frame_;
    TPageGeometry geometry_;
    int index_ = 0;
    int zoom_ = 100;
    QImage image_;
};

extern TPreviewForm* PreviewForm;
