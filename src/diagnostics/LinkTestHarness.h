#pragma once
// The headless two-unit link test: two copies of the program join one channel, find each other,
// exchange a radio check, a text and a 2-second encrypted test tone, and each prints a verdict and
// ends the process with 0 (pass), 1 (fail) or 2 (no usable channel). With --expect-mismatch it checks
// instead that two copies with different keys do not connect.
#include <QStringList>

class LinkTestHarness {
public:
    LinkTestHarness() = delete;
    // Returns at once, changing nothing, unless the arguments hold "--link-test": followed by a role it
    // runs the test, without one it prints how to use it; either way it never returns.
    static void runIfRequested(int argc, char** argv);
    static void runIfRequested(const QStringList& args);
};
