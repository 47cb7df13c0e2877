#pragma once
// The sheet through which the user gets onto a channel: the call sign, a channel from a name and a
// passphrase with a live safety-code preview, joining by an invite link, a random-key channel, help and
// Cancel. Stock controls on the application palette; no finish.
#include "SheetDialog.h"

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class SafetyPreview;
class WalkieModel;

class JoinView : public SheetDialog {
    Q_OBJECT
public:
    // `done` asks the presenter to close the sheet; `scan` (optional) starts QR scanning and adds its
    // button. The model is not owned.
    JoinView(WalkieModel& model, std::function<void()> done, std::function<void()> scan = {},
             QWidget* parent = nullptr);
    ~JoinView() override;

    // Texts, enabled states and the call sign from the model and the fields; no child is rebuilt.
    void refresh();

    bool working() const { return working_; }
    // What the safety-code line shows: the code, the passphrase problem, or "…".
    QString codeText() const;
    SafetyPreview& preview() const { return *preview_; }

private:
    void fieldsEdited();
    void joinOrCreate();
    void joinLink();
    void paste();
    void randomKey();
    void help();

    WalkieModel& model_;
    SafetyPreview* preview_;
    bool working_ = false;
    QLineEdit* callSign_;
    QLineEdit* name_;
    QLineEdit* pass_;
    QLabel* code_;
    QPushButton* joinCreate_;
    QLineEdit* link_;
    QPushButton* joinLink_;
    QPushButton* paste_;
    QPushButton* scan_ = nullptr;
    QPushButton* random_;
    QPushButton* help_;
    QPushButton* cancel_;
    std::function<void()> scanAction_;
};
