#pragma once
// The manual's chapters by topic, and the open-help request any control can post. The main window is
// the one receiver: it opens the manual at the requested chapter.
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <optional>

// In the order of the manual's chapters and of the help window's sidebar.
enum class HelpTopic {
    quickStart,
    channels,
    invite,
    join,
    safety,
    talking,
    connections,
    relay,
    sos,
    checkIn,
    removing,
    privacy,
    trouble,
    controls,
    look,
    miniMode,
};

namespace Help {

const QList<HelpTopic>& allTopics();

// The raw value (and id) of a topic is its case name.
QString rawValue(HelpTopic topic);
inline QString id(HelpTopic topic) {
    return rawValue(topic);
}

// The topic whose raw value is exactly the text (case-sensitive, no trimming); none otherwise.
std::optional<HelpTopic> fromRaw(const QString& raw);

// The request's name: one word, not a dotted name.
const QString& openHelpName();

// How the receiver reads a request's object: a string naming a topic gives that topic; anything else
// (no object, an object that is not a string, an unknown or empty word) gives the quick start.
HelpTopic topicForRequest(const QVariant& object);

// Calls `receive` with the topic of every open-help request posted while `context` lives.
QMetaObject::Connection onOpenHelp(QObject* context, std::function<void(HelpTopic)> receive);

} // namespace Help

// Asks for the manual to be opened at the topic's chapter.
void openHelp(HelpTopic topic);
