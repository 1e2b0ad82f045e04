// The board's one push-button: its level and its event latch.
#ifndef BUTTOND_BOARD_BUTTON_H
#define BUTTOND_BOARD_BUTTON_H

int IsButtonPressed();
int HasButtonBeenPressed();
void ClearButtonEvent();

#endif
