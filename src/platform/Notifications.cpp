#include "Notifications.h"

Notifications& Notifications::shared() {
    static Notifications* instance = new Notifications();
    return *instance;
}
