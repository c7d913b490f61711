// Whether the system offers a display that the window could be shown on.
#pragma once

// Linux: an X11 or Wayland display is named (DISPLAY, WAYLAND_DISPLAY);
// Windows: always.
bool SystemHasDisplay();
