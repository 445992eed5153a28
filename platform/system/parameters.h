// System parameters a program may switch for the whole machine, kept in the machine folder
// (the described machine's profile, section "Control Panel\Desktop"), since this system has
// no desktop-wide setting of its own for them.
#pragma once

namespace platform::system {

// Font smoothing: on unless switched off. Setting records the update flags it was given
// (1 write to the profile, 2 tell the running programs) beside the value; false when the
// state could not be stored.
bool fontSmoothing();
bool setFontSmoothing(bool on, unsigned updateFlags);
// The update flags of the last setFontSmoothing (0 before any).
unsigned fontSmoothingFlags();

}  // namespace platform::system
