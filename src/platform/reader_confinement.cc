#include "platform/reader_confinement.h"

#include <iconv.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <initializer_list>

namespace tessel {
namespace {

// Under AddressSanitizer the confined program runs with the filter as it
// is, but without the leak check at its end: that check stops the world
// with a tracing thread (clone, ptrace, /proc reads), which the filter
// rightly ends, and the program would hang waiting for it. Everything else
// of the sanitizer needs no call beyond those allowed (an error report
// that would start its symbolizer ends the program all the same).
#if defined(__SANITIZE_ADDRESS__)
#define TESSEL_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSEL_UNDER_ASAN 1
#endif
#endif

// What the C library would otherwise set up on first use, by opening
// files: the time zone (member times are converted, never used here), the
// table of character set converters, and the converters the archive
// library asks for by name (names in UTF-16 in 7-Zip, RAR, ISO 9660 and
// LHA, CP932 in LHA). Those converters stay open for the life of the
// process, so that their modules stay loaded.
void SetUpLazyParts() {
  ::setenv("TZ", "UTC0", 1);
  ::tzset();
  for (const char* from : {"ASCII", "UTF-16LE", "UTF-16BE", "CP932"}) {
    static_cast<void>(::iconv_open("UTF-8", from));
  }
}

// The rules: reading standard input, writing standard output and error,
// memory never made executable, the C library's stream and lock calls,
// the clock and the end.
int AddRules(scmp_filter_ctx filter) {
  int error = 0;
  auto allow = [&](int call, unsigned count = 0, scmp_arg_cmp rule = {}) {
    if (error == 0) error = count == 0 ? seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0)
                                       : seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 1, rule);
  };
  allow(SCMP_SYS(read), 1, SCMP_A0(SCMP_CMP_EQ, 0));
  allow(SCMP_SYS(write), 1, SCMP_A0(SCMP_CMP_EQ, 1));
  allow(SCMP_SYS(write), 1, SCMP_A0(SCMP_CMP_EQ, 2));
  // Standard output asked whether it is a terminal, where it is a device.
  if (error == 0) {
    error = seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(ioctl), 2, SCMP_A0(SCMP_CMP_LE, 2),
                             SCMP_A1(SCMP_CMP_EQ, TCGETS));
  }
  allow(SCMP_SYS(mmap), 1, SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0));
  allow(SCMP_SYS(mprotect), 1, SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0));
  for (int call : {SCMP_SYS(brk), SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(madvise), SCMP_SYS(fstat),
                   SCMP_SYS(newfstatat), SCMP_SYS(lseek), SCMP_SYS(futex), SCMP_SYS(clock_gettime),
                   SCMP_SYS(gettimeofday), SCMP_SYS(time), SCMP_SYS(getrandom), SCMP_SYS(rt_sigreturn),
                   SCMP_SYS(exit), SCMP_SYS(exit_group)}) {
    allow(call);
  }
  return error;
}

}  // namespace

#if TESSEL_UNDER_ASAN
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }
#endif

int ConfineToStandardStreams() {
  SetUpLazyParts();
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return errno;
  scmp_filter_ctx filter = seccomp_init(SCMP_ACT_KILL_PROCESS);
  if (filter == nullptr) return ENOMEM;
  int error = AddRules(filter);
  if (error == 0) error = seccomp_load(filter);
  seccomp_release(filter);
  return error < 0 ? -error : error;
}

}  // namespace tessel
