// The program entry: no command-line options.
#include "main_loop.h"

int main() { return app_main(); }
