#include "QtTestEnv.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QPixmap>
#include <QWidget>

namespace gf::test {

namespace {

// One QApplication for the whole test binary, made before the first test.
class QtAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "gangflash_qt_tests";
        static char* argv[] = {name, nullptr};
        m_app = new QApplication(argc, argv);
    }
    void TearDown() override {
        delete m_app;
        m_app = nullptr;
    }

private:
    QApplication* m_app = nullptr;
};

[[maybe_unused]] ::testing::Environment* const g_env =
    ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);

}  // namespace

bool HaveFont() {
    return !QFontDatabase::families().isEmpty();
}

QImage Grab(QWidget& widget) {
    QPixmap pixmap = widget.grab();
    pixmap.setDevicePixelRatio(1.0);
    return pixmap.toImage().convertToFormat(QImage::Format_RGB32);
}

QRect InkBox(const QImage& image, const QRect& area, QColor background) {
    QRect box;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            if (image.pixelColor(x, y).rgb() != background.rgb()) box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

bool HasPixel(const QImage& image, const QRect& area, QColor color) {
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            if (image.pixelColor(x, y).rgb() == color.rgb()) return true;
        }
    }
    return false;
}

}  // namespace gf::test
