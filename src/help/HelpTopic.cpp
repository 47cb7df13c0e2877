#include "HelpTopic.h"

#include "Notifications.h"

namespace Help {

const QList<HelpTopic>& allTopics() {
    static const QList<HelpTopic> topics{
        HelpTopic::quickStart, HelpTopic::channels, HelpTopic::invite,      HelpTopic::join,
        HelpTopic::safety,     HelpTopic::talking,  HelpTopic::connections, HelpTopic::relay,
        HelpTopic::sos,        HelpTopic::checkIn,  HelpTopic::removing,    HelpTopic::privacy,
        HelpTopic::trouble,    HelpTopic::controls, HelpTopic::look,        HelpTopic::miniMode};
    return topics;
}

QString rawValue(HelpTopic topic) {
    switch (topic) {
    case HelpTopic::quickStart:
        return QStringLiteral("quickStart");
    case HelpTopic::channels:
        return QStringLiteral("channels");
    case HelpTopic::invite:
        return QStringLiteral("invite");
    case HelpTopic::join:
        return QStringLiteral("join");
    case HelpTopic::safety:
        return QStringLiteral("safety");
    case HelpTopic::talking:
        return QStringLiteral("talking");
    case HelpTopic::connections:
        return QStringLiteral("connections");
    case HelpTopic::relay:
        return QStringLiteral("relay");
    case HelpTopic::sos:
        return QStringLiteral("sos");
    case HelpTopic::checkIn:
        return QStringLiteral("checkIn");
    case HelpTopic::removing:
        return QStringLiteral("removing");
    case HelpTopic::privacy:
        return QStringLiteral("privacy");
    case HelpTopic::trouble:
        return QStringLiteral("trouble");
    case HelpTopic::controls:
        return QStringLiteral("controls");
    case HelpTopic::look:
        return QStringLiteral("look");
    case HelpTopic::miniMode:
        return QStringLiteral("miniMode");
    }
    return {};
}

std::optional<HelpTopic> fromRaw(const QString& raw) {
    for (HelpTopic topic : allTopics())
        if (rawValue(topic) == raw) return topic;
    return std::nullopt;
}

const QString& openHelpName() {
    static const QString name = QStringLiteral("TessrookOpenHelp");
    return name;
}

HelpTopic topicForRequest(const QVariant& object) {
    const QString text = object.typeId() == QMetaType::QString ? object.toString() : QString();
    return fromRaw(text).value_or(HelpTopic::quickStart);
}

QMetaObject::Connection onOpenHelp(QObject* context, std::function<void(HelpTopic)> receive) {
    return QObject::connect(&Notifications::shared(), &Notifications::posted, context,
                            [receive = std::move(receive)](const QString& name, const QString& object) {
                                if (name == openHelpName()) receive(topicForRequest(QVariant(object)));
                            });
}

} // namespace Help

void openHelp(HelpTopic topic) {
    Notifications::shared().post(Help::openHelpName(), Help::rawValue(topic));
}
