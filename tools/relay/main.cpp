// tessrook-relay: the relay server that users run themselves, outside the radio program.
#include "RelayServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication::setOrganizationName(QStringLiteral("Quillmarsh"));
    QCoreApplication::setApplicationName(QStringLiteral("QMRL Tessrook"));
    QCoreApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Passes sealed packets between the units of each channel."));
    parser.addHelpOption();
    const QCommandLineOption listen(QStringLiteral("listen"),
                                    QStringLiteral("Address and port to listen on."),
                                    QStringLiteral("ADDR:PORT"), QStringLiteral("127.0.0.1:8787"));
    parser.addOption(listen);
    parser.process(app);

    const auto where = RelayServer::parseListen(parser.value(listen));
    if (!where) {
        std::fprintf(stderr, "tessrook-relay: --listen wants ADDR:PORT, e.g. 127.0.0.1:8787 or [::1]:8787\n");
        return 2;
    }

    RelayServer server;
    server.setLogger([](const QString& line) {
        const QByteArray text =
            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz ")).toUtf8() +
            line.toUtf8() + '\n';
        std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
        std::fflush(stderr);
    });
    if (!server.listen(where->first, where->second)) {
        std::fprintf(stderr, "tessrook-relay: can't listen on %s (%s)\n", qPrintable(parser.value(listen)),
                     qPrintable(server.errorString()));
        return 1;
    }
    const QString host = server.address().protocol() == QAbstractSocket::IPv6Protocol
                             ? u'[' + server.address().toString() + u']'
                             : server.address().toString();
    // The actual address, so a caller that asked for port 0 learns the port.
    std::printf("tessrook-relay listening on ws://%s:%u\n", qPrintable(host), unsigned(server.port()));
    std::fflush(stdout);
    return app.exec();
}
