// Linked into every program of the sanitizer build (cmake --preset sanitize), and only there.
//
// LeakSanitizer looks for leaks at exit by stopping the process's threads with ptrace, which the
// kernel refuses in a process that is not dumpable: the setgid `tamsel`, or the desktop program,
// which is installed execute-only. There the check ends in "LeakSanitizer has encountered a fatal
// error" instead of a report, so such a process runs without it; the address and
// undefined-behaviour checks stay on in every process.
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" const char* __lsan_default_options() {
  // Asked through syscall(): this runs while the sanitizer starts up, before its interceptor of
  // prctl() can forward a call.
  return ::syscall(SYS_prctl, PR_GET_DUMPABLE, 0, 0, 0) == 1 ? "" : "detect_leaks=0";
}
