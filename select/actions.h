// Selection mode and the actions it can run.
#ifndef BUTTOND_SELECT_ACTIONS_H
#define BUTTOND_SELECT_ACTIONS_H

#include <stdint.h>

// Counts presses until five seconds pass without one, then runs the action.
void SelectAction();
// Spends the blink's last lit half period, us long, looking at the hold.
void LookAtHold(unsigned us);
void RunAction(uint32_t action);
// Tell the light daemon that selection mode starts / is over.
void SignalLightsSelect();
void SignalLightsNormal();

#endif
