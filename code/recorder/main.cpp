// The program entry: the command line goes to app_main.
#include "main_loop.h"

int main(int argc, char **argv) { return app_main(argc, argv); }
