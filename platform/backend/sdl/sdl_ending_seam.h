// Test hook of the program's ending.
#pragma once

// Hook is called in the box process (see SdlBoxShowing) as soon as it
// starts, before the program can know of it: what a loaded machine does when
// it runs the new process late. Only what is safe in a process just forked
// may be done there. Nil removes the hook.
void SdlSetBoxProcessHook(void (*Hook)());
