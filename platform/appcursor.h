#pragma once
// The one application-wide cursor. Unlike Qt's override-cursor stack it is a single
// value: setting it replaces the previous value, and Default removes the override.

enum class AppCursor { Default, HourGlass, Cross };

// Callable from any thread; the change is applied on the user-interface thread (at
// once when called there, else through a queued call). CurrentAppCursor gives the
// value last set, whether or not it has been applied yet.
void SetAppCursor(AppCursor cursor);
AppCursor CurrentAppCursor();
