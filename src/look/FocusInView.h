#pragma once
// Keeps the keyboard's target in sight: whenever a control inside a scroll area takes the focus, the
// area scrolls to show it. Qt scrolls an area itself only for Tab moves that start inside it, so a Tab
// from a button above the area (a sheet's Done) left the field it focused out of view, typed into blind.
namespace FocusInView {

// Once, for the whole application.
void install();

} // namespace FocusInView
