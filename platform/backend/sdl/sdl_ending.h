// How a program on the SDL backend ends when it is told to from outside: by
// SIGINT or SIGTERM (an interrupt, `kill`, a logout, a service manager), or
// by losing its display (the X server ends, a remote session drops).
#pragma once

// The status a program ends with when its display is lost.
inline constexpr int kDisplayLostStatus = 1;

// Makes SIGINT and SIGTERM end the message loop: the handler only notes the
// signal, and the event pump posts WM_QUIT at its next pass, so whatever the
// program is doing (a save, a frame) finishes first. The program then ends as
// its loop's end always does, without asking anything; a box on the screen
// goes too, as if its first button were pressed (SdlBoxShowing). A signal
// that finds the program still running after the first ends it at once, as
// the signal's default would. A signal that was ignored when the program
// started stays ignored (a program started in the background of a script
// keeps out of the script's interrupts). Writing to a connection whose other
// end has gone (the X server's) fails with an error instead of killing the
// program, so that losing the display is seen as such. The programs call
// it; tests leave signals as they are.
void SdlInstallEndSignals();

// True once, at the first call after an end signal came.
bool SdlTakeEndSignal();
// True from the moment an end signal came.
bool SdlEndSignalled();
// Said around SDL's box: on X, SDL shows it from a copy of the program that
// it forks, which an end signal then ends, however soon after the fork the
// signal comes. A box process that lost the display makes the program say
// so and end with kDisplayLostStatus here, when the box returns.
void SdlBoxShowing(bool Showing);

// When the X display breaks, the program says so on stderr and ends at once
// with kDisplayLostStatus. Xlib's own answer is exit(), which destroys the
// program's static objects under the code still running on the stack: the
// game crashed on freed memory, and the setup's windows, destroyed there,
// waited for ever on the dead display. Ending at once loses nothing: every
// write of the program is made whole, by the thread that talks to X, before
// it talks to X again. A box up at the time loses its display too: the
// program alone says so. Called by SdlInstall when SDL runs on X.
void SdlInstallDisplayLoss();
