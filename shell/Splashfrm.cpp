#include "shell/Splashfrm.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include "shell/Jpegdecode.h"

TSplash::TSplash(const QImage& picture, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      picture_(picture) {
    setObjectName("Splash");
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(picture_.size());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TSplash* TSplash::Create(const std::filesystem::path& jpegFile) {
    // A splash larger than the screen could not be shown: it is skipped.
    QSize screenSize;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) screenSize = screen->size();
    QImage picture = qel::DecodeJpegFile(jpegFile, nullptr, screenSize);
    if (picture.isNull()) return nullptr;
    return new TSplash(picture);
}

void TSplash::ShowFor(int ms) {
    show();
    repaint();
    QTimer::singleShot(ms, this, &QWidget::close);
}

void TSplash::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, picture_);
}

