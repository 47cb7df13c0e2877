#pragma once
// The application object: the finish binding and its migration, the fonts, the one radio model, the
// delegate, the main window, the tray item and the order of tearing them down at quit.
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <memory>

class MacDelegate;
class MainWindow;
class QApplication;
class RadioStation;
class WalkieModel;

class TessrookMac : public QObject {
    Q_OBJECT
public:
    // The look of the whole program: Fusion with a dark palette and the program's icon.
    static void applyLook(QApplication& app);

    // `model` null: the real radio model. Makes no window yet.
    // `model` null: the real radio model. `withStation` false: no music station (tests).
    explicit TessrookMac(QStringList arguments, std::unique_ptr<WalkieModel> model = {}, bool withStation = true,
                         QObject* parent = nullptr);
    ~TessrookMac() override; // windows, tray, model (links stopped), then the log is flushed

    // Launch: detection, the main window, the delegate's start, then the invite links of the arguments.
    void launch();

    WalkieModel& model() const { return *model_; }
    RadioStation* station() const { return station_.get(); }
    MacDelegate& delegate() const { return *delegate_; }
    MainWindow* mainWindow() const;
    QString finishID() const;

private:
    QStringList arguments_;
    std::unique_ptr<WalkieModel> model_;
    std::unique_ptr<RadioStation> station_;
    MacDelegate* delegate_ = nullptr;
};
