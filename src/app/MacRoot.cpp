#include "MacRoot.h"

#include "ChannelBank.h"
#include "Defaults.h"
#include "Engraved.h"
#include "FocusMark.h"
#include "LockScreen.h"
#include "MetalPanel.h"
#include "NoticeBanner.h"
#include "RackViews.h"
#include "SOSModule.h"
#include "SelfTestRequest.h"
#include "SpaceBarTalk.h"
#include "TalkModule.h"
#include "TopRack.h"
#include "WalkieModel.h"

#include <QApplication>
#include <QDialog>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedLayout>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace {

// A click anywhere on the rack but in a text field takes the keyboard from a text field of the rack and
// gives it to the rack, so the space bar talks again. Presses reach the rack's widgets through the zoom
// host's scene, so it watches them application-wide.
class KeyboardBack : public QObject {
public:
    explicit KeyboardBack(QWidget* rack) : QObject(rack), rack_(rack) { qApp->installEventFilter(this); }
    ~KeyboardBack() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::MouseButtonPress || !watched->isWidgetType()) return false;
        auto* clicked = static_cast<QWidget*>(watched);
        if (clicked != rack_ && !rack_->isAncestorOf(clicked)) return false;
        if (SpaceBarTalk::editsText(clicked)) return false;
        QWidget* focus = rack_->window()->focusWidget();
        if (focus && rack_->isAncestorOf(focus) && SpaceBarTalk::editsText(focus))
            rack_->window()->setFocus(Qt::MouseFocusReason);
        return false;
    }

private:
    QWidget* rack_;
};

// The sheets in the order a waiting request is taken when the open one closes.
constexpr MacRoot::Sheet sheetOrder[] = {
    MacRoot::Sheet::join, MacRoot::Sheet::invite,  MacRoot::Sheet::edit, MacRoot::Sheet::settings,
    MacRoot::Sheet::help, MacRoot::Sheet::welcome, MacRoot::Sheet::sos,  MacRoot::Sheet::selfTest};

QGraphicsView* hostView(const QWidget* w) {
    const QGraphicsProxyWidget* proxy = w->graphicsProxyWidget();
    if (!proxy || !proxy->scene() || proxy->scene()->views().isEmpty()) return nullptr;
    return proxy->scene()->views().first();
}

} // namespace

MacRoot::MacRoot(WalkieModel& model, Sheets sheets, QWidget* parent)
    : QWidget(parent), model_(model), sheets_(std::move(sheets)) {
    setObjectName(QStringLiteral("macRoot"));
    finishID_ = Defaults::shared().stringValue(finishKey(), Finish::all().first().id);
    finish_ = Finish::named(finishID_);

    stack_ = new QStackedLayout(this);
    stack_->setContentsMargins(0, 0, 0, 0);
    if (model_.locked()) {
        // The rack is not built until the first unlock.
        lockPage_ = new QWidget;
        auto* centre = new QVBoxLayout(lockPage_);
        lock_ = new LockScreen(model_, finish_);
        centre->addWidget(lock_, 0, Qt::AlignCenter);
        stack_->addWidget(lockPage_);
    } else {
        buildRack();
    }

    banner_ = new NoticeBanner(finish_, this);
    banner_->place(visibleArea());
    banner_->setNotice(model_.notice());

    connect(&model_, &WalkieModel::lockedChanged, this, &MacRoot::unlocked);
    connect(&model_, &WalkieModel::noticeChanged, this, [this] {
        placeBanner();
        banner_->setNotice(model_.notice());
    });
    connect(&model_, &WalkieModel::showSOSPanelChanged, this, &MacRoot::sync);
    connect(&Defaults::shared(), &Defaults::changed, this, [this](const QString& key) {
        if (key == finishKey()) applyFinish();
    });
    Help::onOpenHelp(this, [this](HelpTopic topic) { openHelpAt(topic); });
    SelfTest::onOpenSelfTest(this, [this] {
        // Setup offers the self-test: it closes before the self-test comes up.
        showSettings_ = false;
        showSelfTest_ = true;
        sync();
    });
}

MacRoot::MacRoot(WalkieModel& model, Probe probe) : QWidget(nullptr), model_(model) {
    finishID_ = Defaults::shared().stringValue(finishKey(), Finish::all().first().id);
    finish_ = Finish::named(finishID_);
    stack_ = new QStackedLayout(this);
    stack_->setContentsMargins(0, 0, 0, 0);
    if (probe.musicHeight > 0) {
        // The music module waits for the real rack; a stand-in of its height takes its place.
        music_ = new QWidget;
        music_->setFixedSize(1, probe.musicHeight);
    }
    buildRack();
    banner_ = new NoticeBanner(finish_, this);
}

int MacRoot::rackHeightHint() const {
    if (rack_) return rack_->minimumSizeHint().height();
    // Locked: a rack of the same model made for the measure and dropped at once. It never joins a
    // window, so nothing of it is shown or heard by a reader.
    Probe probe;
    if (music_) {
        const bool shrinks = music_->sizePolicy().verticalPolicy() & QSizePolicy::ShrinkFlag;
        probe.musicHeight = qMax(music_->minimumHeight(), shrinks ? music_->minimumSizeHint().height()
                                                                  : music_->sizeHint().height());
    }
    return MacRoot(model_, probe).rack_->minimumSizeHint().height();
}

MacRoot::~MacRoot() {
    syncing_ = true; // nothing re-presents while the sheets go
    for (QDialog* d : {sos_.data(), sheet_.data()}) {
        if (!d) continue;
        d->disconnect(this); // the model's alert flag outlives the window
        delete d;
    }
}

void MacRoot::buildRack() {
    rack_ = new QWidget;
    rack_->setObjectName(QStringLiteral("rack"));
    auto* column = new QVBoxLayout(rack_);
    column->setContentsMargins(18, 18, 18, 18);
    column->setSpacing(14);

    top_ = new TopRack(
        model_, finish_, finishID_, [](const QString& id) { Defaults::shared().setValue(finishKey(), id); },
        [this] { openSettings(); }, [this] { openHelpAt(HelpTopic::quickStart); });
    column->addWidget(top_);

    auto* row = new QHBoxLayout;
    row->setSpacing(14);
    bank_ = new ChannelBank(
        model_, finish_, [this] { openJoin(); }, [this](const Channel& c) { openInvite(c); },
        [this](const Channel& c) { openEdit(c); });
    bank_->setFixedWidth(270);
    talk_ = new TalkModule(model_, finish_);
    sosModule_ = new SOSModule(model_, finish_);
    sosModule_->setFixedWidth(270);
    row->addWidget(bank_);
    row->addWidget(talk_, 1);
    row->addWidget(sosModule_);
    column->addLayout(row, 1);

    log_ = new ScrewedPanel(finish_, 16);
    log_->setObjectName(QStringLiteral("logPanel"));
    log_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* logColumn = new QVBoxLayout(log_);
    logColumn->setContentsMargins(0, 0, 0, 0);
    logColumn->setSpacing(8);
    auto* head = new QHBoxLayout;
    auto* title = new Engraved(QString::fromUtf8("Transmission log · nothing is recorded"), finish_);
    head->addWidget(title, 0, Qt::AlignVCenter);
    head->addStretch(1);
    musicSlot_ = new QHBoxLayout;
    musicSlot_->setContentsMargins(0, 0, 0, 0);
    head->addLayout(musicSlot_);
    logColumn->addLayout(head);

    auto* body = new QHBoxLayout;
    body->setSpacing(16);
    auto* tapeScroll = new QScrollArea;
    tapeScroll->setObjectName(QStringLiteral("tapeScroll"));
    tapeScroll->setFrameShape(QFrame::NoFrame);
    tapeScroll->setWidgetResizable(true);
    tapeScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tapeScroll->setFixedHeight(110);
    tapeScroll->viewport()->setAutoFillBackground(false);
    QWidget* tape = RackViews::activityTape(model_, finish_);
    tapeScroll->setWidget(tape);
    tape->setAutoFillBackground(false); // setWidget turned it on; the panel shows through
    QWidget* messages = RackViews::messagesPanel(model_, finish_);
    messages->setFixedSize(430, 110);
    body->addWidget(tapeScroll, 1, Qt::AlignTop);
    body->addWidget(messages, 0, Qt::AlignTop);
    logColumn->addLayout(body);
    column->addWidget(log_);
    logParts_ = {title, tape, messages};

    if (music_) musicSlot_->addWidget(music_);
    stack_->addWidget(rack_);
    stack_->setCurrentWidget(rack_);
    orderFocus();
    FocusMark::follow(rack_);
    new KeyboardBack(rack_);
}

void MacRoot::orderFocus() {
    // Tab follows the rack as it is read: the top rack left to right, the channel bank with its rows,
    // the talk module, the SOS module, then the log row. Without this the chain is the order the
    // widgets were made in, which puts the channel rows and the music module last.
    if (!rack_) return;
    // The scroll areas round the rows and the tape would be stops that show nothing.
    for (QScrollArea* area : rack_->findChildren<QScrollArea*>())
        area->setFocusPolicy(Qt::NoFocus);
    const auto stops = [](QWidget* section) {
        QList<QWidget*> out;
        if (!section) return out;
        for (QWidget* w : section->findChildren<QWidget*>())
            if ((w->focusPolicy() & Qt::TabFocus) && !w->focusProxy()) out.append(w);
        return out;
    };
    QList<QWidget*> order = stops(top_);
    // The bank's rows in list order, where the first of them stands.
    QList<QWidget*> bank = stops(bank_);
    const QList<ChannelRow*> rows = bank_->rows();
    qsizetype at = -1;
    for (qsizetype i = bank.size() - 1; i >= 0; --i) {
        if (!qobject_cast<ChannelRow*>(bank[i])) continue;
        bank.removeAt(i);
        at = i;
    }
    if (at >= 0)
        for (qsizetype i = 0; i < rows.size(); ++i) bank.insert(at + i, rows[i]);
    order << bank << stops(talk_) << stops(sosModule_) << stops(music_) << stops(logParts_.value(2));
    for (qsizetype i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void MacRoot::unlocked() {
    if (model_.locked()) return;
    if (!rack_) buildRack();
    stack_->setCurrentWidget(rack_);
    if (lockPage_) {
        stack_->removeWidget(lockPage_);
        lockPage_->deleteLater();
        lockPage_ = nullptr;
        lock_ = nullptr;
    }
    banner_->raise();
    sync(); // requests that waited behind the lock
}

void MacRoot::setMusicModule(QWidget* module) {
    if (music_ && music_ != module) music_->deleteLater();
    music_ = module;
    if (module && musicSlot_) musicSlot_->addWidget(module);
    orderFocus();
}

void MacRoot::setSheetActions(const QList<QAction*>& actions) {
    sheetActions = actions;
    for (QDialog* d : {sheet_.data(), sos_.data()})
        if (d) d->addActions(actions);
}

// ---- look ---------------------------------------------------------------------------------------------

void MacRoot::applyFinish() {
    finishID_ = Defaults::shared().stringValue(finishKey(), Finish::all().first().id);
    finish_ = Finish::named(finishID_);
    if (top_) {
        top_->setFinishID(finishID_);
        top_->setFinish(finish_);
        bank_->setFinish(finish_);
        talk_->setFinish(finish_);
        sosModule_->setFinish(finish_);
        log_->setFinish(finish_);
        if (auto* title = qobject_cast<Engraved*>(logParts_.value(0))) title->setFinish(finish_);
        for (QWidget* part : logParts_.mid(1))
            RackViews::setFinish(part, finish_);
        RackViews::setFinish(music_, finish_);
    }
    if (lock_) lock_->setFinish(finish_);
    banner_->setFinish(finish_);
    for (QDialog* d : {sheet_.data(), sos_.data()})
        if (d) RackViews::setFinish(d, finish_);
    update();
}

void MacRoot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Finish::c(0x050607));
}

QRect MacRoot::visibleArea() const {
    if (QGraphicsView* view = hostView(this)) {
        const QRectF seen = view->mapToScene(view->viewport()->rect()).boundingRect();
        const QRectF local = graphicsProxyWidget()->mapFromScene(seen).boundingRect();
        return QRect(qRound(local.left()), qRound(local.top()), qRound(local.width()),
                     qRound(local.height())) &
               rect();
    }
    const QRect seen = visibleRegion().boundingRect();
    return seen.isEmpty() ? rect() : seen;
}

void MacRoot::watchView() {
    QGraphicsView* view = hostView(this);
    if (!view || watchedView_ == view) return;
    watchedView_ = view;
    for (QScrollBar* bar : {view->verticalScrollBar(), view->horizontalScrollBar()}) {
        connect(bar, &QScrollBar::valueChanged, this, &MacRoot::placeBanner);
        connect(bar, &QScrollBar::rangeChanged, this, &MacRoot::placeBanner); // a zoom changes the range
    }
    view->viewport()->installEventFilter(this);
}

void MacRoot::placeBanner() {
    watchView();
    banner_->place(visibleArea());
    banner_->raise();
}

void MacRoot::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeBanner();
}

void MacRoot::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    placeBanner();
}

bool MacRoot::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedWindow_ && watchedWindow_) {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed())
            QTimer::singleShot(0, this, &MacRoot::sync); // sheets that waited for the window
        // A click on the window (or the window manager) activated it while a sheet blocks it: the
        // sheet comes back above it and takes the keyboard.
        if (event->type() == QEvent::FocusIn && (sheet_ || sos_))
            QTimer::singleShot(0, this, &MacRoot::bringSheetForward);
    }
    if (event->type() == QEvent::Resize && watchedView_ &&
        watched == qobject_cast<QGraphicsView*>(watchedView_.data())->viewport())
        QTimer::singleShot(0, this, &MacRoot::placeBanner); // after the host has laid the root out again
    return QWidget::eventFilter(watched, event);
}

// ---- on appear ----------------------------------------------------------------------------------------

void MacRoot::appeared() {
    appeared_ = true;
    placeBanner();
    if (model_.locked() && lock_) lock_->appeared();
    // The welcome guide comes on every appearance until it was finished or a channel exists.
    if (!Defaults::shared().boolValue(welcomedKey(), false) && model_.channels().isEmpty())
        showWelcome_ = true;
    sync();
}

// ---- sheet requests -----------------------------------------------------------------------------------

void MacRoot::openJoin() {
    showJoin_ = true;
    sync();
}

void MacRoot::openInvite(const Channel& channel) {
    showInvite_ = channel;
    sync();
}

void MacRoot::openEdit(const Channel& channel) {
    showEdit_ = channel;
    sync();
}

void MacRoot::openSettings() {
    showSettings_ = true;
    sync();
}

void MacRoot::openHelpAt(HelpTopic topic) {
    helpTopic_ = topic;
    sync();
}

void MacRoot::welcomeDone() {
    showWelcome_ = false;
    Defaults::shared().setValue(welcomedKey(), true);
    sync();
}

void MacRoot::welcomeOpenHelp() {
    showWelcome_ = false;
    Defaults::shared().setValue(welcomedKey(), true);
    sync();
    // The guide's sheet is gone before the manual comes up.
    QTimer::singleShot(400, this, [this] { openHelpAt(HelpTopic::quickStart); });
}

// ---- the sheet host -----------------------------------------------------------------------------------

bool MacRoot::wanted(Sheet s) const {
    switch (s) {
    case Sheet::join:
        return showJoin_;
    case Sheet::invite:
        return showInvite_.has_value();
    case Sheet::edit:
        return showEdit_.has_value();
    case Sheet::settings:
        return showSettings_;
    case Sheet::help:
        return helpTopic_.has_value();
    case Sheet::welcome:
        return showWelcome_;
    case Sheet::sos:
        return model_.showSOSPanel();
    case Sheet::selfTest:
        return showSelfTest_;
    }
    return false;
}

void MacRoot::clear(Sheet s) {
    switch (s) {
    case Sheet::join:
        showJoin_ = false;
        break;
    case Sheet::invite:
        showInvite_.reset();
        break;
    case Sheet::edit:
        showEdit_.reset();
        break;
    case Sheet::settings:
        showSettings_ = false;
        break;
    case Sheet::help:
        helpTopic_.reset();
        break;
    case Sheet::welcome:
        showWelcome_ = false;
        break;
    case Sheet::sos:
        model_.setShowSOSPanel(false);
        break;
    case Sheet::selfTest:
        showSelfTest_ = false;
        break;
    }
}

bool MacRoot::waiting(Sheet s) const {
    if (!wanted(s)) return false;
    if (s == Sheet::sos) return !sos_;
    return !(sheet_ && sheetKind_ == s);
}

std::optional<MacRoot::Sheet> MacRoot::openSheetKind() const {
    if (!sheet_) return std::nullopt;
    return sheetKind_;
}

QWidget* MacRoot::sheetParent() const {
    // Sheets belong to the real window, never to the zoom host's scene.
    if (QGraphicsView* view = hostView(this)) return view->window();
    return const_cast<MacRoot*>(this)->window();
}

bool MacRoot::windowReady() {
    QWidget* window = sheetParent();
    QWindow* handle = window->windowHandle();
    if (handle && watchedWindow_ != handle) {
        if (watchedWindow_) watchedWindow_->removeEventFilter(this);
        watchedWindow_ = handle;
        handle->installEventFilter(this);
    }
    // A window not being shown has nothing to wait for: the sheet shows it. Off screen no window
    // manager maps windows later, so neither is there.
    static const bool mappedLater = !QGuiApplication::platformName().startsWith(QLatin1String("offscreen"));
    return !mappedLater || !window->isVisible() || !handle || handle->isExposed();
}

void MacRoot::bringSheetForward() {
    QWidget* window = sheetParent();
    // The topmost dialog over this window: a sheet's own warning over the sheet, else the sheet.
    QWidget* top = QApplication::activeModalWidget();
    QWidget* owner = top;
    while (owner && owner != window) owner = owner->parentWidget();
    if (!owner) top = sos_ ? static_cast<QWidget*>(sos_.data()) : sheet_.data();
    if (!top || !top->isVisible()) return;
    // Only while the blocked window itself holds the keyboard; another application may have it now.
    if (!window->windowHandle() || QGuiApplication::focusWindow() != window->windowHandle()) return;
    top->raise();
    top->activateWindow();
}

QDialog* MacRoot::make(Sheet s, QWidget* parent) {
    QPointer<MacRoot> self(this);
    Done done = [self, s] {
        if (!self) return;
        self->clear(s);
        self->sync();
    };
    switch (s) {
    case Sheet::join:
        return RackViews::joinSheet(model_, parent, done);
    case Sheet::invite:
        return RackViews::inviteSheet(model_, *showInvite_, finish_, parent, done);
    case Sheet::edit:
        return RackViews::editSheet(model_, *showEdit_, parent, done);
    case Sheet::settings:
        return sheets_.settings ? sheets_.settings(parent, done) : nullptr;
    case Sheet::help:
        return sheets_.help ? sheets_.help(parent, *helpTopic_, done) : nullptr;
    case Sheet::welcome:
        if (!sheets_.welcome) return nullptr;
        return sheets_.welcome(
            parent,
            [self] {
                if (self) self->welcomeOpenHelp();
            },
            [self] {
                if (self) self->welcomeDone();
            });
    case Sheet::sos:
        return RackViews::sosPanel(model_, finish_, parent, done);
    case Sheet::selfTest:
        return sheets_.selfTest ? sheets_.selfTest(parent, done) : nullptr;
    }
    return nullptr;
}

namespace {

// The keyboard starts on a sheet's first control, not on a scroll area round its content (a screen
// reader said only "scroll area" there, and the first Tab went nowhere visible).
void focusFirstControl(QDialog* dialog) {
    QWidget* now = dialog->focusWidget();
    if (now && !qobject_cast<QAbstractScrollArea*>(now)) return;
    for (QWidget* w = dialog->nextInFocusChain(); w && w != dialog; w = w->nextInFocusChain()) {
        if (!dialog->isAncestorOf(w) || !w->isVisibleTo(dialog) || !w->isEnabled()) continue;
        if (!(w->focusPolicy() & Qt::TabFocus) || qobject_cast<QAbstractScrollArea*>(w)) continue;
        w->setFocus(Qt::TabFocusReason);
        return;
    }
}

} // namespace

void MacRoot::present(Sheet s, QDialog* dialog) {
    dialog->addActions(sheetActions);
    if (s == Sheet::sos) {
        sos_ = dialog;
    } else {
        sheet_ = dialog;
        sheetKind_ = s;
        shownTopic_ = s == Sheet::help ? helpTopic_ : std::nullopt;
    }
    // A sheet that closes itself without calling done still ends its request.
    QPointer<QDialog> d(dialog);
    connect(dialog, &QDialog::finished, this, [this, d, s] {
        if (d && (d == sheet_ || d == sos_)) {
            clear(s);
            sync();
        }
    });
    // A sheet deleted behind the host's back ends its request; an alert's panel over it comes back.
    connect(dialog, &QObject::destroyed, this, [this, s] {
        if (s != Sheet::sos) clear(s); // the panel goes with its parent sheet; the alert still stands
        QTimer::singleShot(0, this, &MacRoot::sync);
    });
    dialog->open();
    focusFirstControl(dialog);
    // Where no window manager keeps dialogs above their parents, raise it once it is up; the keyboard
    // goes to it (a click that opened it may have left the window active).
    QTimer::singleShot(0, dialog, [dialog] {
        if (!dialog->isVisible()) return;
        dialog->raise();
        dialog->activateWindow();
    });
}

void MacRoot::retire(QDialog* dialog) {
    if (!dialog) return;
    if (dialog == sheet_) {
        sheet_ = nullptr;
        shownTopic_.reset();
    }
    if (dialog == sos_) sos_ = nullptr;
    dialog->disconnect(this);
    // The SOS panel may stand over the sheet that goes: it stays, over the window.
    if (sos_ && sos_->parentWidget() == dialog) {
        sos_->setParent(sheetParent(), sos_->windowFlags());
        sos_->open();
    }
    dialog->hide();
    dialog->deleteLater();
}

void MacRoot::sync() {
    if (syncing_) {
        again_ = true;
        return;
    }
    syncing_ = true;
    do {
        again_ = false;
        if (sos_ && !wanted(Sheet::sos)) retire(sos_);
        if (sheet_ && (!wanted(sheetKind_) || (sheetKind_ == Sheet::help && helpTopic_ != shownTopic_)))
            retire(sheet_); // a help request at another topic re-opens the manual there
        // Nothing comes up over the lock screen, nor before the window has appeared and is on screen.
        if (model_.locked() || !appeared_ || !windowReady()) continue;
        // One sheet at a time: a waiting request comes up once nothing is open.
        if (!sheet_ && !sos_) {
            for (Sheet s : sheetOrder) {
                if (s == Sheet::sos || !wanted(s)) continue;
                QDialog* d = make(s, sheetParent());
                if (!d) {
                    clear(s); // no such sheet in this program
                    continue;
                }
                present(s, d);
                break;
            }
        }
        // An alert does not wait behind another sheet: its panel comes up over it.
        if (wanted(Sheet::sos) && !sos_) {
            if (QDialog* d = make(Sheet::sos, sheet_ ? static_cast<QWidget*>(sheet_.data()) : sheetParent()))
                present(Sheet::sos, d);
            else
                clear(Sheet::sos);
        }
    } while (again_);
    syncing_ = false;
}
