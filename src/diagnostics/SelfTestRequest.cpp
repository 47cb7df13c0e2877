#include "SelfTestRequest.h"

#include "Notifications.h"

namespace SelfTest {

const QString& openSelfTestName() {
    static const QString name = QStringLiteral("qmrl.trk.openSelfTest");
    return name;
}

QMetaObject::Connection onOpenSelfTest(QObject* context, std::function<void()> receive) {
    return QObject::connect(&Notifications::shared(), &Notifications::posted, context,
                            [receive = std::move(receive)](const QString& name, const QString&) {
                                if (name == openSelfTestName()) receive();
                            });
}

} // namespace SelfTest

void openSelfTest() {
    Notifications::shared().post(SelfTest::openSelfTestName());
}
