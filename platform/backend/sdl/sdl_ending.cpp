#include "platform/backend/sdl/sdl_ending.h"

#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <new>

namespace {

// Touched by the signal handler: lock-free, so safe there.
std::atomic<int> gEndSignal{0};
std::atomic<bool> gEndTaken{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);
pid_t gProgram = 0;

// SDL shows a box on X from a forked copy of the program and waits for it to
// end. While a box shows, the copy notes its process here, in memory it
// shares with the program, so that a signal ends the box along with the
// wait; the copy shares the handler, too, but not the loop that would see
// the note, so a signal it gets ends it at once.
std::atomic<bool> gBoxShowing{false};
std::atomic<pid_t>* gBoxProcess = nullptr;
static_assert(std::atomic<pid_t>::is_always_lock_free);

void EndTheBox(int Signal) {
  if (!gBoxProcess) return;
  if (const pid_t box = gBoxProcess->load(); box > 0) kill(box, Signal);
}

void EndAsTheDefaultDoes(int Signal) {
  signal(Signal, SIG_DFL);
  raise(Signal);
}

extern "C" void OnEndSignal(int Signal) {
  if (getpid() != gProgram) return EndAsTheDefaultDoes(Signal);
  EndTheBox(Signal);
  int none = 0;
  if (!gEndSignal.compare_exchange_strong(none, Signal)) EndAsTheDefaultDoes(Signal);
}

extern "C" void NoteBoxProcess() {
  if (!gBoxShowing.load() || !gBoxProcess) return;
  gBoxProcess->store(getpid());
  // Told to end before the box came up: it does not.
  if (gEndSignal.load() != 0) _exit(0);
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

// Xlib's handler type, without Xlib's header and its macros.
struct XDisplayOpaque;
using TXIOErrorHandler = int (*)(XDisplayOpaque*);

extern "C" int OnDisplayLost(XDisplayOpaque*) {
  static constexpr char kMessage[] = "The display went away: the program ends.\n";
  (void)!write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  _exit(kDisplayLostStatus);
}

}  // namespace

void SdlInstallEndSignals() {
  gProgram = getpid();
  void* shared = mmap(nullptr, sizeof(std::atomic<pid_t>), PROT_READ | PROT_WRITE,
                      MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared != MAP_FAILED) {
    gBoxProcess = new (shared) std::atomic<pid_t>(0);
    pthread_atfork(nullptr, nullptr, NoteBoxProcess);
  }
  Catch(SIGINT, OnEndSignal);
  Catch(SIGTERM, OnEndSignal);
  // A handler, not SIG_IGN: a program started from here gets the default back.
  Catch(SIGPIPE, OnBrokenPipe);
}

bool SdlTakeEndSignal() {
  return gEndSignal.load() != 0 && !gEndTaken.exchange(true);
}

bool SdlEndSignalled() {
  return gEndSignal.load() != 0;
}

void SdlBoxShowing(bool Showing) {
  if (gBoxProcess) gBoxProcess->store(0);
  gBoxShowing.store(Showing);
}

void SdlInstallDisplayLoss() {
  // The X library that SDL loaded; none when SDL runs on another system.
  void* x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_NOLOAD);
  if (!x11) return;
  using TSetHandler = TXIOErrorHandler (*)(TXIOErrorHandler);
  if (auto set = reinterpret_cast<TSetHandler>(dlsym(x11, "XSetIOErrorHandler")))
    set(OnDisplayLost);
  dlclose(x11);
}
