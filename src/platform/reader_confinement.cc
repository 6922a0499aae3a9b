#include "platform/reader_confinement.h"

#include <fcntl.h>
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

// Under AddressSanitizer the runtime needs more than the program itself:
// it maps its shadow memory, reads /proc/self/maps and stops the world
// (a thread that traces the others) to look for leaks at the end. Those
// builds let through its reading of files and its threads; every call
// that writes, removes or renames a file, or starts a program, still ends
// the process.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUnderSanitizer = true;
#else
constexpr bool kUnderSanitizer = false;
#endif
#else
constexpr bool kUnderSanitizer = false;
#endif

// What the C library would otherwise set up on first use, by opening
// files: the time zone (member times are converted, never used here) and
// the table of character set converters (member names are converted).
void SetUpLazyParts() {
  ::setenv("TZ", "UTC0", 1);
  ::tzset();
  iconv_t converter = ::iconv_open("UTF-8", "ASCII");
  if (converter != reinterpret_cast<iconv_t>(-1)) ::iconv_close(converter);
}

// The calls a sanitizer build adds to those below.
int AllowSanitizerCalls(scmp_filter_ctx filter) {
  int error = 0;
  for (int call : {SCMP_SYS(close), SCMP_SYS(getpid), SCMP_SYS(gettid), SCMP_SYS(tgkill), SCMP_SYS(sched_yield),
                   SCMP_SYS(rt_sigaction), SCMP_SYS(rt_sigprocmask), SCMP_SYS(sigaltstack), SCMP_SYS(prctl),
                   SCMP_SYS(clone), SCMP_SYS(clone3), SCMP_SYS(ptrace), SCMP_SYS(wait4), SCMP_SYS(set_robust_list),
                   SCMP_SYS(readlink), SCMP_SYS(getdents64), SCMP_SYS(pread64), SCMP_SYS(getrlimit),
                   SCMP_SYS(prlimit64)}) {
    if (error == 0) error = seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0);
  }
  // Files opened for reading only.
  if (error == 0) {
    error = seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(openat), 1,
                             SCMP_A2(SCMP_CMP_MASKED_EQ, O_ACCMODE | O_CREAT | O_TRUNC, O_RDONLY));
  }
  return error;
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
  if (error == 0 && kUnderSanitizer) error = AllowSanitizerCalls(filter);
  return error;
}

}  // namespace

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
