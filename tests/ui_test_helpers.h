#pragma once
// What the widget tests share: colours read at computed places, and a look
// at the modal dialog a command opens.

#include <QApplication>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <functional>

// The colour at (x, y), without alpha.
inline QRgb rgbAt(const QImage& img, int x, int y) {
    return img.pixel(x, y) & 0xFFFFFF;
}
// The same of a widget painted afresh.
inline QRgb rgbAt(QWidget* w, int x, int y) {
    return rgbAt(w->grab().toImage(), x, y);
}

inline QWidget* shownModal() {
    QWidget* w = QApplication::activeModalWidget();
    return w ? w : QApplication::activePopupWidget();
}

// Runs `check` on the modal dialog or popup shown once the event loop runs
// next, then closes it; nothing when none is shown then.
inline void onNextModal(std::function<void(QWidget*)> check) {
    QTimer::singleShot(0, [check] {
        if (QWidget* w = shownModal()) {
            check(w);
            w->close();
        }
    });
}
