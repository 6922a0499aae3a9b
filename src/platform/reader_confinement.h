// The confinement a program that reads hostile input puts itself under
// (Linux): once confined it can read its standard input, write its
// standard output and error, manage its memory and end, and nothing else;
// any other system call ends it at once (SIGSYS). It can open, create,
// remove or rename no file, start no process and gain no privilege, even
// when it runs as root. Linked into tessel-unpack alone, with the seccomp
// library.
#ifndef TESSEL_PLATFORM_READER_CONFINEMENT_H_
#define TESSEL_PLATFORM_READER_CONFINEMENT_H_

namespace tessel {

// Confines the calling process for good. The C library's lazy set-up that
// would open files later (the time zone, the character set converters) is
// done first. Returns 0, or the error number of the step that failed.
int ConfineToStandardStreams();

}  // namespace tessel

#endif  // TESSEL_PLATFORM_READER_CONFINEMENT_H_
