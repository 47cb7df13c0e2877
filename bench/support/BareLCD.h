#pragma once
// An LCD screen with a channel line, a timer line and a level meter, as the status screen lays them out,
// for timing the screen's paint without a model behind it.
#include "Finish.h"
#include "LCDScreen.h"
#include "LevelMeter.h"
#include "WFonts.h"

#include <QVBoxLayout>

struct BareLCD {
    LCDScreen screen;
    LCDLabel* channel;
    LCDLabel* timer;
    LevelMeter* meter;

    explicit BareLCD(const Finish& f)
        : screen(f), channel(new LCDLabel(QStringLiteral("CH  BASE CAMP"), WFonts::lcd(20), f.lcdText)),
          timer(new LCDLabel(QStringLiteral("TX 00:00"), WFonts::lcd(13), f.lcdText)),
          meter(new LevelMeter(0.4f, f.lcdText, 20)) {
        auto* layout = new QVBoxLayout(&screen);
        layout->addWidget(channel);
        layout->addWidget(timer);
        layout->addWidget(meter);
        screen.resize(420, 110);
    }

    // Frame `i` of a transmission: the timer text changes once a second, the level every frame.
    void frame(int i) {
        timer->setText(QStringLiteral("TX 00:%1").arg(i / 10 % 60, 2, 10, QLatin1Char('0')));
        meter->setLevel(float(i % 7) / 7);
    }
};
