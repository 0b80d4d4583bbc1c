#include "engine/Main.h"

// The node guard, the groups and the cyclic reading thread live here. Until they run, nothing is
// guarded or read cyclically: starting reports success so that connections go on, and stopping
// has nothing to wait for.

bool CMain::StartNodeguard() {
    return true;
}

bool CMain::StopNodeguard() {
    return true;
}

int CMain::StopCyclicThread() {
    return 0;
}

int CMain::GroupRemoveAll() {
    if (currentChannel_ < 0 || currentChannel_ >= channelCount_) return -31;
    return 0;
}

void CMain::RetimeCyclicItems() {}
