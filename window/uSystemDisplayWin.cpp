#include "uSystemDisplay.h"

bool SystemHasDisplay() { return true; }
