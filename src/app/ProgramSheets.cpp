#include "ProgramSheets.h"

#include "Defaults.h"
#include "HelpView.h"
#include "MusicModule.h"
#include "SelfTestView.h"
#include "WelcomeGuide.h"

namespace {

// Re-skins `view` each time the stored finish changes, while it lives.
template <typename View> void followFinish(View* view) {
    QObject::connect(&Defaults::shared(), &Defaults::changed, view, [view](const QString& key) {
        if (key == Finish::defaultsKey) view->setFinish(ProgramSheets::currentFinish());
    });
}

} // namespace

namespace ProgramSheets {

Finish currentFinish() {
    return Finish::named(Defaults::shared().stringValue(Finish::defaultsKey, Finish::all().first().id));
}

void addTo(MacRoot::Sheets& sheets, WalkieModel& model) {
    WalkieModel* m = &model;
    sheets.selfTest = [m](QWidget* parent, MacRoot::Done done) -> QDialog* {
        auto* view = new SelfTestView(*m, currentFinish(), std::move(done), parent);
        followFinish(view);
        return view;
    };
    sheets.help = [](QWidget* parent, HelpTopic start, MacRoot::Done done) -> QDialog* {
        return new HelpView(start, std::move(done), parent);
    };
    // The guide is drawn once from the finish it is given; it is open only briefly at first start.
    sheets.welcome = [m](QWidget* parent, MacRoot::Done openHelp, MacRoot::Done done) -> QDialog* {
        return new WelcomeGuide(*m, currentFinish(), std::move(openHelp), std::move(done), parent);
    };
}

QWidget* musicModule(RadioStation& station) {
    auto* module = new MusicModule(station, currentFinish());
    followFinish(module);
    return module;
}

} // namespace ProgramSheets
