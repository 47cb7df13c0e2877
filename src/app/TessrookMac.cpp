#include "TessrookMac.h"

#include "AppIcon.h"
#include "Defaults.h"
#include "Finish.h"
#include "FocusInView.h"
#include "KeyActivation.h"
#include "MacDelegate.h"
#include "MainWindow.h"
#include "RadioStation.h"
#include "SecretPrompt.h"
#include "ShellBridge.h"
#include "SingleInstance.h"
#include "TRKLog.h"
#include "WFonts.h"
#include "WalkieModel.h"

#include <QApplication>
#include <QPalette>
#include <QPointer>
#include <QStyleFactory>

void TessrookMac::applyLook(QApplication& app) {
    // The views prefer the dark scheme, which this Qt cannot force: a dark Fusion palette app-wide.
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette p;
    const QColor window(0x26, 0x28, 0x2b), base(0x1b, 0x1c, 0x1e), text(0xec, 0xed, 0xef);
    const QColor accent(0x4d, 0xbd, 0xff);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x8a, 0x8d, 0x93));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x33, 0x35, 0x39));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Highlight, accent);
    p.setColor(QPalette::HighlightedText, Qt::black);
    p.setColor(QPalette::Link, accent);
    p.setColor(QPalette::LinkVisited, accent.lighter(120));
    p.setColor(QPalette::Light, QColor(0x45, 0x47, 0x4c));
    p.setColor(QPalette::Midlight, QColor(0x3a, 0x3c, 0x40));
    p.setColor(QPalette::Mid, QColor(0x2a, 0x2c, 0x30));
    p.setColor(QPalette::Dark, QColor(0x15, 0x16, 0x18));
    p.setColor(QPalette::Shadow, Qt::black);
    const QColor disabled(0x7a, 0x7c, 0x80);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    app.setPalette(p);
    app.setWindowIcon(AppIcon::icon());
}

TessrookMac::TessrookMac(QStringList arguments, std::unique_ptr<WalkieModel> model, bool withStation,
                         QObject* parent)
    : QObject(parent), arguments_(std::move(arguments)), model_(std::move(model)) {
    // Order matters: the finish binding and its migration, the fonts, then the model.
    Defaults& defaults = Defaults::shared();
    (void)defaults.stringValue(Finish::defaultsKey, Finish::all().first().id);
    Finish::migrateSaved(defaults);
    WFonts::registerFonts();
    if (!model_) model_ = std::make_unique<WalkieModel>(true, true, std::nullopt, std::nullopt);
    WalkieModel::setShared(model_.get());
    if (withStation) station_ = std::make_unique<RadioStation>(*model_);
    SecretPrompt::install();
    KeyActivation::install();
    FocusInView::install();
    delegate_ = new MacDelegate(arguments_, MacDelegate::realShell(), this);
}

TessrookMac::~TessrookMac() {
    // Windows first (they hold the model by reference), then the tray, then the model, whose
    // destructor stops its links and joins their threads, and last the log.
    QList<QPointer<QWidget>> windows;
    for (QWidget* w : ShellBridge::mainWindows()) windows.append(w);
    for (const QPointer<QWidget>& w : windows) delete w.data(); // sheets and prompts go with their window
    ShellBridge::hideMini();
    ShellBridge::deleteTray();
    station_.reset();
    PamAuthenticator::setDefaultSecretPrompt({});
    delete delegate_;
    delegate_ = nullptr;
    WalkieModel::setShared(nullptr);
    model_.reset();
    TRKLog::flush();
}

MainWindow* TessrookMac::mainWindow() const {
    return qobject_cast<MainWindow*>(ShellBridge::firstMainWindow());
}

QString TessrookMac::finishID() const {
    return Defaults::shared().stringValue(Finish::defaultsKey, Finish::all().first().id);
}

void TessrookMac::launch() {
    delegate_->applicationWillFinishLaunching();
    WalkieModel* model = model_.get();
    RadioStation* station = station_.get();
    ShellBridge::keepMainFactory([model, station]() -> QWidget* { return MainWindow::open(*model, station); });
    ShellBridge::makeTray(*model_, this);
    MainWindow::open(*model_, station);
    delegate_->applicationDidFinishLaunching();
    delegate_->openLinks(SingleInstance::inviteLinks(arguments_));
}
