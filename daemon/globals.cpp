#include "daemon/globals.h"

volatile uint32_t* ledRegister;
volatile uint32_t* gpioBlock;
uint32_t buttonMask;
int32_t debugLevel;
char* programName;
char* pidFilePath;
Timer* selectTimer;
