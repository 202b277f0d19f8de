#include "platform/backend/sdl/sdl_ending.h"

#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <new>

#include "platform/backend/sdl/sdl_ending_seam.h"

namespace {

// SDL shows a box on X from a forked copy of the program and waits for it to
// end. What the program and that box process must both see lives in memory
// they share. Every access is sequentially consistent: the program's handler
// sets EndSignal and then reads BoxProcess, the box process stores
// BoxProcess and then reads EndSignal, so at least one of them sees the
// other's write. A signal that comes as the box opens either finds the box
// process to end, or is seen by it before it shows anything. Touched by the
// signal handler: lock-free, and so also free of any address, which memory
// shared between processes needs.
struct TShared {
  std::atomic<int> EndSignal{0};
  std::atomic<pid_t> BoxProcess{0};
  // The box process lost the display: the program says so and ends as soon
  // as the box returns, without acting on an answer nobody gave.
  std::atomic<bool> BoxLostTheDisplay{false};
};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<pid_t>::is_always_lock_free &&
              std::atomic<bool>::is_always_lock_free);

// The program's own until the shared page is made (or where it cannot be).
TShared gOwn;
TShared* gShared = &gOwn;

std::atomic<bool> gEndTaken{false};
pid_t gProgram = 0;
// Set in the program around SDL's box; the box process inherits it, and so
// knows itself from every other copy the program may make of itself.
std::atomic<bool> gBoxShowing{false};
bool gInBoxProcess = false;
void (*gBoxProcessStarts)() = nullptr;

void EndAsTheDefaultDoes(int Signal) {
  signal(Signal, SIG_DFL);
  raise(Signal);
}

extern "C" void OnEndSignal(int Signal) {
  // The box process shares the handler but not the loop that would see the
  // flag: a signal it gets ends it at once.
  if (getpid() != gProgram) return EndAsTheDefaultDoes(Signal);
  int none = 0;
  const bool first = gShared->EndSignal.compare_exchange_strong(none, Signal);
  if (const pid_t box = gShared->BoxProcess.load(); box > 0) kill(box, Signal);
  if (!first) EndAsTheDefaultDoes(Signal);
}

void NoteBoxProcess() {
  gInBoxProcess = true;
  if (gBoxProcessStarts) gBoxProcessStarts();
  gShared->BoxProcess.store(getpid());
  // Told to end before the program could see this process: the box does
  // not come up.
  if (gShared->EndSignal.load() != 0) _exit(0);
}

bool gShareMade = false, gForkHooked = false;

// In every copy of the program, just made.
extern "C" void OnFork() {
  if (gBoxShowing.load() && !gInBoxProcess) return NoteBoxProcess();
  // Any other copy (a test's, or one about to start another program) keeps
  // what it saw at the fork, as with the rest of its memory, and shares
  // nothing with the program from then on.
  if (gShared == &gOwn) return;
  gOwn.EndSignal.store(gShared->EndSignal.load());
  gOwn.BoxProcess.store(0);
  gOwn.BoxLostTheDisplay.store(false);
  gShared = &gOwn;
  gShareMade = false;
}

// Made once, before any handler that reads it is installed.
void ShareWithTheBox() {
  if (gShareMade) return;
  gShareMade = true;
  void* page =
      mmap(nullptr, sizeof(TShared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (page != MAP_FAILED) gShared = new (page) TShared;
  if (!gForkHooked) {
    gForkHooked = true;
    pthread_atfork(nullptr, nullptr, OnFork);
  }
}

extern "C" void OnBrokenPipe(int) {}

void Catch(int Signal, void (*Handler)(int)) {
  struct sigaction old {};
  if (sigaction(Signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = Handler;
  sigemptyset(&action.sa_mask);
  // A save in progress carries on as if nothing had come.
  action.sa_flags = SA_RESTART;
  sigaction(Signal, &action, nullptr);
}

constexpr char kDisplayLost[] = "The display went away: the program ends.\n";

[[noreturn]] void SayTheDisplayWentAndEnd() {
  (void)!write(STDERR_FILENO, kDisplayLost, sizeof kDisplayLost - 1);
  _exit(kDisplayLostStatus);
}

// Xlib's handler type, without Xlib's header and its macros.
struct XDisplayOpaque;
using TXIOErrorHandler = int (*)(XDisplayOpaque*);

extern "C" int OnDisplayLost(XDisplayOpaque*) {
  // The box's own connection breaks with the program's: the program alone
  // says so.
  if (gInBoxProcess) {
    gShared->BoxLostTheDisplay.store(true);
    _exit(kDisplayLostStatus);
  }
  SayTheDisplayWentAndEnd();
}

}  // namespace

void SdlInstallEndSignals() {
  gProgram = getpid();
  ShareWithTheBox();
  Catch(SIGINT, OnEndSignal);
  Catch(SIGTERM, OnEndSignal);
  // A handler, not SIG_IGN: a program started from here gets the default back.
  Catch(SIGPIPE, OnBrokenPipe);
}

bool SdlTakeEndSignal() {
  return gShared->EndSignal.load() != 0 && !gEndTaken.exchange(true);
}

bool SdlEndSignalled() {
  return gShared->EndSignal.load() != 0;
}

void SdlBoxShowing(bool Showing) {
  if (!Showing && gShared->BoxLostTheDisplay.load()) SayTheDisplayWentAndEnd();
  gShared->BoxProcess.store(0);
  gBoxShowing.store(Showing);
}

void SdlInstallDisplayLoss() {
  ShareWithTheBox();
  // The X library that SDL loaded; none when SDL runs on another system.
  void* x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_NOLOAD);
  if (!x11) return;
  using TSetHandler = TXIOErrorHandler (*)(TXIOErrorHandler);
  if (auto set = reinterpret_cast<TSetHandler>(dlsym(x11, "XSetIOErrorHandler")))
    set(OnDisplayLost);
  dlclose(x11);
}

void SdlSetBoxProcessHook(void (*Hook)()) {
  gBoxProcessStarts = Hook;
}
