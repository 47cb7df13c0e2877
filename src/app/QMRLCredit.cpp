#include "QMRLCredit.h"

#include "AppIcon.h"
#include "FocusMark.h"
#include "LookAccessible.h"
#include "QMCredit.h"

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>

namespace QMRLCredit {

QUrl website() {
    static const QUrl url(qmrlMakerAddress);
    return url;
}

QString creditsHtml() {
    const QString line = QCoreApplication::translate("QMRLCredit", "Made by Quillmarsh");
    const QUrl site = website();
    return QStringLiteral("<div align=\"center\" style=\"font-size:11pt\">%1<br><a href=\"%2\">%3</a></div>")
        .arg(line.toHtmlEscaped(), site.toString(QUrl::FullyEncoded).toHtmlEscaped(), site.host().toHtmlEscaped());
}

QWidget* showAbout() {
    static QPointer<QDialog> open;
    if (!open) {
        auto* about = new QDialog(nullptr, Qt::Dialog | Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
        about->setObjectName(QStringLiteral("about"));
        about->setAttribute(Qt::WA_DeleteOnClose);
        about->setWindowTitle(QCoreApplication::translate("QMRLCredit", "About QMRL Tessrook"));
        auto* layout = new QVBoxLayout(about);
        layout->setContentsMargins(32, 24, 32, 24);
        layout->setSpacing(8);

        auto* icon = new QLabel;
        icon->setObjectName(QStringLiteral("icon"));
        icon->setPixmap(AppIcon::icon().pixmap(96, 96));
        icon->setAlignment(Qt::AlignCenter);
        layout->addWidget(icon);

        auto* name = new QLabel(QCoreApplication::translate("QMRLCredit", "QMRL Tessrook"));
        name->setObjectName(QStringLiteral("name"));
        QFont big = QApplication::font();
        big.setPointSizeF(14);
        big.setBold(true);
        name->setFont(big);
        name->setAlignment(Qt::AlignCenter);
        layout->addWidget(name);

        auto* version = new QLabel(QCoreApplication::translate("QMRLCredit", "Version %1")
                                       .arg(QCoreApplication::applicationVersion()));
        version->setObjectName(QStringLiteral("version"));
        version->setTextFormat(Qt::PlainText);
        version->setAlignment(Qt::AlignCenter);
        layout->addWidget(version);

        auto* credits = new QLabel;
        // Heard as the link it holds (the role goes first: setting the text already tells readers),
        // and a Tab stop with the look's focus mark.
        LookAccessible::setRole(credits, QAccessible::Link);
        credits->setText(creditsHtml());
        credits->setObjectName(QStringLiteral("credits"));
        credits->setTextFormat(Qt::RichText);
        credits->setOpenExternalLinks(true);
        credits->setTextInteractionFlags(Qt::TextBrowserInteraction);
        credits->setAccessibleName(website().host());
        credits->setFocusPolicy(Qt::TabFocus);
        FocusMark::follow(about);
        QFont system = QApplication::font();
        system.setPointSizeF(11);
        credits->setFont(system);
        credits->setAlignment(Qt::AlignCenter);
        layout->addWidget(credits);

        about->adjustSize();
        about->setFixedSize(about->sizeHint());
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = about->frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            about->move(frame.topLeft());
        }
        open = about;
    }
    open->show();
    open->raise();
    open->activateWindow();
    return open;
}

} // namespace QMRLCredit
