// Windows: no census yet; the report says "none seen".
#include "uUsbReaders.h"

std::vector<TUsbReader> UsbReaders() { return {}; }
