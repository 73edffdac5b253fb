#pragma once
// The start-up picture: a frameless window that shows the splash JPEG for a
// moment while the frame comes up, then frees itself.
#include <filesystem>

#include <QImage>
#include <QWidget>

class TSplash : public QWidget {
    Q_OBJECT
public:
    explicit TSplash(const QImage& picture, QWidget* parent = nullptr);
    const QImage& Picture() const { return picture_; }

    // Loads the picture (libjpeg); returns nullptr when it cannot be shown, so
    // a missing or damaged picture never stops the program.
    static TSplash* Create(const std::filesystem::path& jpegFile);

    // Shows the window at once, painted, and deletes it after ms milliseconds.
    void ShowFor(int ms);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QImage picture_;
};

