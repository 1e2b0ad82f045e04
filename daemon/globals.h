// Process-global state, set up once at start-up and held until the end.
#ifndef BUTTOND_DAEMON_GLOBALS_H
#define BUTTOND_DAEMON_GLOBALS_H

#include <stdint.h>

class Timer;

extern volatile uint32_t* ledRegister;	// mapped LED output word
extern volatile uint32_t* gpioBlock;	// mapped GPIO controller block
extern uint32_t buttonMask;		// the button's pin in the GPIO words
extern int32_t debugLevel;		// number of -d style arguments
extern char* programName;		// base name of argv[0]
extern char* pidFilePath;		// /var/run/<programName>.pid
extern Timer* selectTimer;		// five-second window of selection mode

#endif
