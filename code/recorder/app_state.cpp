#include "app.h"

AppState app;
