// tessel-unpack: the archive reader tessel-index runs in isolation (see
// nodediff/isolated_member.h). Reads an archive from standard input,
// writes the record of member STEM.?DD to standard output. Not for people.
// Before it reads a byte it confines itself (Linux): from then on it can
// only read standard input, write standard output and use memory.
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <cstdio>
#include <iostream>
#include <new>
#include <string>

#include "nodediff/archive_member.h"
#include "nodediff/diff_apply.h"
#include "nodediff/isolated_member.h"
#if TESSEL_CONFINE_READER
#include "platform/reader_confinement.h"
#endif

int main(int argc, char** argv) {
  using namespace tessel;
  if (argc != 3) {
    std::cerr << "tessel-unpack is run by tessel-index update, not by hand\n";
    return 2;
  }
#ifdef _WIN32
  // The archive and the record are bytes: no CR LF translation, no end at Ctrl-Z.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  ArchiveMember member;
#if TESSEL_CONFINE_READER
  if (int error = ConfineToStandardStreams(); error != 0) {
    member.status = MemberStatus::kDamaged;
    member.detail = "the archive reader cannot confine itself (error " + std::to_string(error) + ")";
    std::string record = EncodeMember(member);
    return std::fwrite(record.data(), 1, record.size(), stdout) == record.size() ? 0 : 3;
  }
#endif
  try {
    std::string archive;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) {
      archive.append(buffer, n);
      if (archive.size() > kMaxListBytes) break;
    }
    if (archive.size() > kMaxListBytes) {
      member.status = MemberStatus::kTooLarge;
      member.detail = "the archive is larger than 64 MiB";
    } else {
      member = ReadArchiveMember(archive, argv[1], argv[2]);
      if (member.status == MemberStatus::kUnsupported) member.name = ArchiveFormatOf(archive);
    }
  } catch (const std::bad_alloc&) {
    member = ArchiveMember{};
    member.status = MemberStatus::kOverBudget;
    member.detail = "unpacking needs more memory than the archive reader may use";
  }
  std::string record = EncodeMember(member);
  return std::fwrite(record.data(), 1, record.size(), stdout) == record.size() && std::fflush(stdout) == 0 ? 0 : 3;
}
