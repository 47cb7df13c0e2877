#pragma once
// Every hardware-look component of one finish on one rack panel, for grabbing to a picture.
#include "Engraved.h"
#include "Finish.h"
#include "GuardedSOSButton.h"
#include "HelpDot.h"
#include "LCDScreen.h"
#include "LED.h"
#include "LevelMeter.h"
#include "ManualTicks.h"
#include "MetalPanel.h"
#include "PTTButton.h"
#include "QR.h"
#include "RackButton.h"
#include "ToggleSwitch.h"
#include "WFonts.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>
#include <QVBoxLayout>

namespace Gallery {

inline QWidget* build(const Finish& f, ManualTicks* ticks) {
    auto* rack = new QWidget;
    rack->setAutoFillBackground(true);
    QPalette pal = rack->palette();
    pal.setColor(QPalette::Window, Finish::c(0x050607));
    rack->setPalette(pal);
    auto* outer = new QVBoxLayout(rack);
    outer->setContentsMargins(18, 18, 18, 18);
    outer->setSpacing(14);

    // Top strip: title, indicators, buttons.
    auto* top = new ScrewedPanel(f, 14);
    auto* topRow = new QHBoxLayout(top);
    topRow->setSpacing(12);
    topRow->setContentsMargins(62, 14, 14, 14);
    auto* titleBlock = new QVBoxLayout;
    titleBlock->setSpacing(2);
    auto* title = new QLabel("TESSROOK");
    title->setFont(WFonts::display(17));
    QPalette tp = title->palette();
    tp.setColor(QPalette::WindowText, f.engrave);
    title->setPalette(tp);
    titleBlock->addWidget(title);
    titleBlock->addWidget(new Engraved(QString::fromUtf8("QMRL · Encrypted push-to-talk · TRK-1"), f, 8.5));
    topRow->addLayout(titleBlock);
    topRow->addStretch();
    const struct {
        const char* label;
        bool on;
        QColor colour;
    } lights[] = {{"Relay", true, f.rx},         {"Nearby", false, f.rx}, {"LAN", true, f.rx},
                  {"Encrypted", true, f.accent}, {"On air", true, f.tx},  {"SOS", false, f.tx}};
    for (const auto& l : lights) {
        auto* col = new QVBoxLayout;
        col->setSpacing(5);
        col->addWidget(new LED(l.on, l.colour), 0, Qt::AlignHCenter);
        col->addWidget(new Engraved(l.label, f, 8), 0, Qt::AlignHCenter);
        topRow->addLayout(col);
    }
    topRow->addWidget(new RackButton("Mini", f, "rectangle.portrait.and.arrow.right"));
    topRow->addWidget(new RackButton("Setup", f, "slider.horizontal.3"));
    topRow->addWidget(new RackButton("Help", f, "questionmark.circle"));
    outer->addWidget(top);

    auto* row = new QHBoxLayout;
    row->setSpacing(14);
    // Talk module: LCD, buttons in every state, switches.
    auto* talk = new ScrewedPanel(f, 20);
    auto* tv = new QVBoxLayout(talk);
    tv->setSpacing(18);
    auto* lcdContent = new QWidget;
    auto* lv = new QVBoxLayout(lcdContent);
    lv->setContentsMargins(0, 0, 0, 0);
    lv->setSpacing(8);
    lv->addWidget(new LCDLabel("CH  BASE CAMP", WFonts::lcd(20), f.lcdText));
    lv->addWidget(new LCDLabel(QString::fromUtf8("TX 00:07 · ON AIR"), WFonts::lcd(13), f.lcdText));
    auto* meterRow = new QHBoxLayout;
    meterRow->addWidget(new LevelMeter(0.42f, f.lcdText, 20));
    meterRow->addWidget(new LCDLabel("SAFETY  AMBER-42-OTTER", WFonts::lcd(11), f.lcdDim));
    meterRow->addStretch();
    lv->addLayout(meterRow);
    tv->addWidget(new LCDScreen(f, lcdContent));
    auto* ptts = new QHBoxLayout;
    ptts->addWidget(new PTTButton(f, PTTButton::State::idle, 150));
    auto* txButton = new PTTButton(f, PTTButton::State::transmitting, 150);
    ptts->addWidget(txButton);
    ptts->addWidget(new PTTButton(f, PTTButton::State::receiving, 150));
    ptts->addWidget(new PTTButton(f, PTTButton::State::busy, 150));
    tv->addLayout(ptts);
    auto* switches = new QHBoxLayout;
    switches->setSpacing(15);
    const char* names[] = {"Radio FX", "Roger beep", "Scrambler", "Scan all", "Relay", "Nearby", "LAN"};
    for (int i = 0; i < 7; ++i)
        switches->addWidget(new ToggleSwitch(names[i], i != 2, f));
    switches->addStretch();
    tv->addLayout(switches);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new RackButton("New / Join", f, "plus"));
    buttons->addWidget(new RackButton("Open SOS panel", f, "sos", true));
    buttons->addWidget(new RackButton("I'm OK", f, "checkmark"));
    auto* disabled = new RackButton("Radio check", f, "dot.radiowaves.left.and.right");
    disabled->setEnabled(false);
    buttons->addWidget(disabled);
    buttons->addWidget(new HelpDot("SOS", f));
    buttons->addStretch();
    tv->addLayout(buttons);
    row->addWidget(talk);

    // SOS buttons: closed, open, holding at 60 %, active and silent.
    auto* sos = new ScrewedPanel(f, 16);
    auto* sg = new QGridLayout(sos);
    sg->setSpacing(14);
    auto* closed = new GuardedSOSButton(f, false, false, 130);
    auto* open = new GuardedSOSButton(f, false, false, 130);
    auto* holding = new GuardedSOSButton(f, false, false, 130, {}, {}, ticks);
    auto* active = new GuardedSOSButton(f, true, true, 130);
    sg->addWidget(closed, 0, 0);
    sg->addWidget(open, 0, 1);
    sg->addWidget(holding, 1, 0);
    sg->addWidget(active, 1, 1);
    sg->addWidget(new Engraved("Emergency", f, 10), 2, 0);
    auto* screen = new LCDScreen(f);
    auto* sv = new QVBoxLayout(screen);
    sv->setSpacing(4);
    sv->addWidget(new LCDLabel("ALERTS 1", WFonts::lcd(14), f.lcdText));
    sv->addWidget(new LCDLabel("CHECK-IN OFF", WFonts::lcd(13), f.lcdDim));
    sg->addWidget(screen, 2, 1);
    row->addWidget(sos);

    auto* side = new QVBoxLayout;
    auto* plate = new MetalPanel(f, 34);
    plate->setFixedSize(150, 120);
    side->addWidget(plate);
    auto* qr = new QLabel;
    qr->setPixmap(QPixmap::fromImage(*QR::cgImage("qmtalk://join?v=1&n=Test&k=abc", 4)));
    side->addWidget(qr);
    side->addStretch();
    row->addLayout(side);
    outer->addLayout(row);

    rack->adjustSize();
    rack->show(); // offscreen: lets the buttons take their hit areas
    // Drive the cover and the hold through real mouse events.
    auto click = [](QWidget* w, QPointF at) {
        QTest::mousePress(w, Qt::LeftButton, {}, at.toPoint());
        QTest::mouseRelease(w, Qt::LeftButton, {}, at.toPoint());
    };
    click(open, open->coverRect().center());
    click(holding, holding->coverRect().center());
    click(active, active->coverRect().center());
    QTest::mousePress(holding, Qt::LeftButton, {}, holding->buttonCentre().toPoint());
    if (ticks) ticks->advance(60);
    Q_UNUSED(txButton);
    return rack;
}

} // namespace Gallery
