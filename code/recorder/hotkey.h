// The global hotkeys (record, pause): their Config.txt text, and their registration.
#pragma once

#include "../os/os.h"

struct Hotkey {
    u8 modifiers; // OS_HOTKEY_*
    u16 key;      // virtual-key code
};

// Reads "Ctrl+Alt+R": modifiers Ctrl, Alt, Shift, Win joined by "+" to one
// key (a letter, a digit, F1-F24, Space, Pause, PrintScreen, Insert, Home,
// End, PageUp, PageDown), any case, blanks around the parts allowed. False
// for anything else.
bool hotkey_parse(StrSlice text, Hotkey *hotkey);

// Registers the configured record_hotkey and pause_hotkey with the control
// window, saying so when one is invalid or cannot be had; the program runs
// on without it.
void hotkey_register(void);
// Releases them at exit.
void hotkey_unregister(void);

enum { RECORD_HOTKEY_ID = 1, PAUSE_HOTKEY_ID = 2 };
