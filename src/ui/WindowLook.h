#pragma once

#include <QPalette>

// The window's own look, the same on every desktop. Its style sheets paint light
// backgrounds; every colour drawn on them (log lines, step texts, scroll bars,
// dialogs) comes from one light palette, never from a dark desktop scheme. On
// high-density screens the window is scaled and draws its pictures from their
// double-size versions.
class WindowLook
{
public:
    // Before the application object exists.
    static void prepareApplication();
    static QPalette palette();
    // Makes it the application's palette. Widgets under a style sheet take the
    // application's palette, not their parent's, so the window cannot keep a
    // palette of its own any other way.
    static void apply();
};
