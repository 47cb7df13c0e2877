#include "SafetyPreview.h"

#include "Channel.h"
#include "TextRules.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

SafetyPreview::SafetyPreview(Passphrase use, QObject* parent)
    : QObject(parent), use_(use), derive_(standardDerive()) {
    timer_.setSingleShot(true);
    timer_.setInterval(pauseMs);
    connect(&timer_, &QTimer::timeout, this, &SafetyPreview::start);
}

SafetyPreview::~SafetyPreview() {
    // A derivation still running skips or drops its result: the counter moves and the context is gone.
    ++*edits_;
}

SafetyPreview::Derive SafetyPreview::standardDerive() {
    return [](const QString& name, const QString& passphrase) -> std::optional<QString> {
        const auto channel = Channel::fromPassphrase(name, passphrase);
        if (!channel) return std::nullopt;
        return channel->safetyCode();
    };
}

void SafetyPreview::setDerive(Derive derive) {
    derive_ = derive ? std::move(derive) : standardDerive();
}

void SafetyPreview::edited(const QString& name, const QString& passphrase, bool derivable) {
    ++*edits_;
    name_ = name;
    pass_ = passphrase;
    derivable_ = derivable;
    const bool hadCode = code_.has_value();
    code_.reset();
    if (derivable)
        timer_.start();
    else
        timer_.stop();
    if (hadCode) emit codeChanged();
}

void SafetyPreview::start() {
    if (!derivable_) return;
    const QString name = name_, typed = pass_;
    const QString pass = use_ == Passphrase::trimmed ? TextRules::trimmed(typed) : typed;
    const quint64 edit = *edits_;
    // The worker gets values only: the counter (shared, atomic) and a copy of the function.
    auto edits = edits_;
    auto derive = derive_;
    ++running_;
    // The watcher is this preview's child: when the sheet goes, so does the watcher, and the result
    // of a derivation still running reaches no one.
    auto* watcher = new QFutureWatcher<std::optional<QString>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, name, typed] {
        watcher->deleteLater();
        --running_;
        const std::optional<QString> code = watcher->result();
        // This comparison alone decides whether the result still belongs to the fields.
        if (name != name_ || typed != pass_ || !derivable_ || !code) return;
        code_ = code;
        emit codeChanged();
    });
    watcher->setFuture(QtConcurrent::run([edits, edit, derive, name, pass]() -> std::optional<QString> {
        if (*edits != edit) return std::nullopt; // the fields moved on: no key derived
        return derive(name, pass);
    }));
}
