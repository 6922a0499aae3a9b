// A file put in place whole, in one step: written under a temporary name in
// the directory of its final name, made durable, then renamed over the
// final name, so that a program reading that name meanwhile finds the old
// file or the new one, never part of one. Only the file this run made is
// ever renamed: the temporary name must still hold that very file.
#ifndef TESSEL_STORAGE_NEW_FILE_H_
#define TESSEL_STORAGE_NEW_FILE_H_

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace tessel {

// The steps of putting a file in place, in order.
enum class NewFileStep { kCreate, kWrite, kFlush, kCheck, kClose, kRename };

struct NewFile {
  std::string path;                         // the final name
  std::string temp_path;                    // the temporary name, beside the final one
  FileId file = kNoFile;                    // the file open under the temporary name
  NewFileStep step = NewFileStep::kCreate;  // the step under way, or the one that failed
};

// Creates the file at file->temp_path for writing. Whatever entry holds that
// name (left by a killed run, or a link planted there) is removed first,
// never opened nor followed: the file is made new.
int StartNewFile(const Platform& platform, NewFile* file);

// Writes "bytes" at the file's position, in pieces of at most 1 MiB.
int WriteNewFile(const Platform& platform, NewFile* file, std::string_view bytes);

// Whether the temporary name still holds the file open as file.file (the
// same device and inode, and no link): 0, kErrAccessDenied when another
// entry holds it, or the error of asking (kErrFileNotFound: none does).
int CheckOwnFile(const Platform& platform, const NewFile& file);

// Puts the written file in place: makes it durable, checks that the
// temporary name still holds it (and, when "target_free", that nothing has
// taken the final name meanwhile: kErrFileExists), closes it and renames it
// over the final name; the platform's rename makes the new name durable
// too (the directory is synced). The file is closed afterwards whatever
// happened; on failure file->step names the failed step and the temporary
// name is left as it is.
int FinishNewFile(const Platform& platform, NewFile* file, bool target_free = false);

// Gives up a file that could not be put in place: closes it when open and
// removes the temporary name.
void AbandonNewFile(const Platform& platform, NewFile* file);

// Writes "bytes" as a new file at "path" through "temp_path", every step
// above in turn: 0, or the error of the failed step, named in "*failed",
// after which the temporary name is gone.
int WriteWholeNewFile(const Platform& platform, const std::string& path, const std::string& temp_path,
                      std::string_view bytes, NewFileStep* failed);

}  // namespace tessel

#endif  // TESSEL_STORAGE_NEW_FILE_H_
