#pragma once
// The main window's parts made by other subsystems: the self-test, help and welcome sheets the root
// presents, and the music row in its slot. The skinned ones follow the stored finish as it changes.
#include "Finish.h"
#include "MacRoot.h"

class RadioStation;
class WalkieModel;

namespace ProgramSheets {

// The finish the window wears now: the stored "finish", resolved (an unknown id gives the first).
Finish currentFinish();

// Fills in the self-test, help and welcome factories.
void addTo(MacRoot::Sheets& sheets, WalkieModel& model);

// The music row for `station`, re-skinned with every finish change while it lives.
QWidget* musicModule(RadioStation& station);

} // namespace ProgramSheets
