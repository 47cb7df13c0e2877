// Program entry. The settings names come first, so everything after them reads the right store;
// the headless link test, when asked for, runs before anything else starts and never returns.
#include "LinkTestHarness.h"
#include "LinkTestRules.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication::setOrganizationName(QStringLiteral("Quillmarsh"));
    QCoreApplication::setApplicationName(QStringLiteral("QMRL Tessrook"));
    LinkTestHarness::runIfRequested(argc, argv);

    const QByteArray text = LinkTestRules::usage().toUtf8();
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    return 0;
}
