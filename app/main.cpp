// The process's entry point. The program takes no arguments and reads no environment.

#include "app/app.h"

int main() { return PalmenoMain(); }
