#pragma once
// What the view tests share: a real model on the radio fixture's doubles, the dark application palette
// the sheets are drawn on, pictures for TESSROOK_SHOTS at the window zooms, and button and key helpers.
#include "Finish.h"
#include "ModelFixture.h"
#include "WFonts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPushButton>
#include <QStyleFactory>

#include <variant>

namespace views {

// The two finishes the pictures and paint checks use: a dark one and a light one.
inline QList<Finish> twoFinishes() {
    return {Finish::all().first(), Finish::all().last()};
}

inline void darkPalette() {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x1e, 0x1f, 0x22));
    p.setColor(QPalette::WindowText, QColor(0xec, 0xec, 0xec));
    p.setColor(QPalette::Base, QColor(0x2a, 0x2b, 0x2f));
    p.setColor(QPalette::AlternateBase, QColor(0x32, 0x33, 0x38));
    p.setColor(QPalette::Text, QColor(0xec, 0xec, 0xec));
    p.setColor(QPalette::PlaceholderText, QColor(0xec, 0xec, 0xec, 110));
    p.setColor(QPalette::Button, QColor(0x3a, 0x3b, 0x40));
    p.setColor(QPalette::ButtonText, QColor(0xec, 0xec, 0xec));
    p.setColor(QPalette::Highlight, QColor(0x2f, 0x6f, 0xd6));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x4c, 0xa3, 0xff));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0xec, 0xec, 0xec, 90));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0xec, 0xec, 0xec, 90));
    QApplication::setPalette(p);
}

// The widget painted at a zoom factor, as the zoom host draws it.
inline QImage render(QWidget* w, qreal scale = 1.0, QColor background = Finish::c(0x050607)) {
    w->ensurePolished();
    if (!w->testAttribute(Qt::WA_Resized)) w->resize(w->sizeHint());
    QCoreApplication::sendPostedEvents(); // pending layout requests, as a shown window would have run them
    QImage img((QSizeF(w->size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    img.fill(background);
    QPainter p(&img);
    p.scale(scale, scale);
    w->render(&p, QPoint(), QRegion(), QWidget::DrawChildren);
    return img;
}

// Saves the picture as <name>.png under TESSROOK_SHOTS (nothing when it is not set).
inline void saveShot(const QImage& img, const QString& name) {
    const QString dir = qEnvironmentVariable("TESSROOK_SHOTS");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    img.save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

// Saves the widget at 85 % and 200 % under TESSROOK_SHOTS (nothing when it is not set).
inline void shots(QWidget* w, const QString& name, QColor background = Finish::c(0x050607)) {
    if (qEnvironmentVariableIsEmpty("TESSROOK_SHOTS")) return;
    for (qreal scale : {0.85, 2.0})
        saveShot(render(w, scale, background), QStringLiteral("%1-%2").arg(name).arg(qRound(scale * 100)));
}

template <typename T = QPushButton> T* child(QObject* parent, const char* name) {
    T* w = parent->findChild<T*>(QString::fromLatin1(name));
    if (!w) qFatal("no child named %s", name);
    return w;
}

// A view test program: private folders (set before anything reads settings), the program's names and
// fonts, the dark palette and `locale`; a `Keep` is made after those and lives while the tests run.
template <typename Test, typename Keep = std::monostate>
int runTests(int argc, char** argv, const QLocale& locale) {
    fixture::privateFolders();
    QApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("Quillmarsh"));
    app.setApplicationName(QStringLiteral("QMRL Tessrook"));
    WFonts::registerFonts();
    darkPalette();
    QLocale::setDefault(locale);
    [[maybe_unused]] Keep keep;
    Test t;
    return QTest::qExec(&t, argc, argv);
}

} // namespace views

#define VIEW_TEST_MAIN(TestClass)                                                                            \
    int main(int argc, char** argv) {                                                                        \
        return views::runTests<TestClass>(argc, argv, QLocale(QStringLiteral("en_GB")));                     \
    }
