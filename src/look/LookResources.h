#pragma once
// Makes the bundled fonts and symbol images reachable under ":/look".
void ensureLookResources();
