#pragma once
// The views the rack and its sheets are made of that live in other libraries (status screen, messages,
// activity tape, the channel sheets, the SOS panel, the mini panel), made and re-skinned in one place.
#include "Channel.h"
#include "Finish.h"

#include <functional>

class QDialog;
class QWidget;
class WalkieModel;

namespace RackViews {

using Done = std::function<void()>;

QWidget* statusLCD(WalkieModel& model, const Finish& finish);
QWidget* messagesPanel(WalkieModel& model, const Finish& finish);
QWidget* activityTape(WalkieModel& model, const Finish& finish);
// Hands the finish to a skinned view of another library (a sheet, the music module too); other
// widgets are left alone.
void setFinish(QWidget* view, const Finish& finish);

QDialog* joinSheet(WalkieModel& model, QWidget* parent, Done done);
QDialog* inviteSheet(WalkieModel& model, const Channel& channel, const Finish& finish, QWidget* parent,
                     Done done);
QDialog* editSheet(WalkieModel& model, const Channel& channel, QWidget* parent, Done done);
QDialog* sosPanel(WalkieModel& model, const Finish& finish, QWidget* parent, Done done);

// The floating mini panel in place of the main window.
void switchToMini();

} // namespace RackViews
