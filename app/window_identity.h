// Tells the desktop which program the browser's window belongs to: its
// class, which the desktop entry's StartupWMClass names so that the
// launcher and the window are one item, and its icon. One realisation per
// window system (window_identity_x11.cpp, window_identity_win32.cpp),
// picked by the build.
#pragma once

// res_name and res_class of the window's WM_CLASS on X11; the desktop
// entry (packaging/orchard-menu.desktop) repeats it as StartupWMClass.
inline constexpr char windowClass[] = "orchard-menu";

// Call right after glutCreateWindow, while the new window is the current
// one. On X11 sets WM_CLASS to windowClass and _NET_WM_ICON to every size
// of iconImages; elsewhere the toolkit already gives the window its icon.
// Returns false when there is no current window to set them on. Without a
// window manager the properties are set all the same and change nothing.
bool setWindowIdentity();
