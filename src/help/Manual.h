#pragma once
// The built-in manual: one chapter per help topic, each of titled sections of short steps with an
// optional tip. English only and shown as written; built once on first use and never changed.
#include "HelpTopic.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct HelpSection {
    QString heading;
    QStringList steps;
    bool numbered = false;      // an ordered procedure ("1.", "2.", ...) rather than a bulleted list
    std::optional<QString> tip; // one hint shown in a box below the steps

    bool operator==(const HelpSection&) const = default;
};

struct HelpChapter {
    QString id;    // the raw value of the chapter's topic
    QString title; // sidebar entry and chapter heading
    QString icon;  // symbol name shown beside the title
    QList<HelpSection> sections;

    bool operator==(const HelpChapter&) const = default;
};

class Manual {
public:
    Manual() = delete;

    static inline const QString appName = QStringLiteral("Tessrook");

    // The whole table in topic order. Built on the first call (safe against concurrent first calls).
    static const QList<HelpChapter>& chapters();
    // The first chapter whose id is the topic's raw value.
    static const HelpChapter& chapter(HelpTopic topic);
    // The chapters the help window lists for a search text: every chapter for an empty text; otherwise
    // those whose lower-cased title, a heading or a step contains the lower-cased text (untrimmed).
    // Tips are not searched. Table order, each chapter once.
    static QList<HelpChapter> search(const QString& text);
};
