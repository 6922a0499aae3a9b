#include "storage/new_file.h"

#include <algorithm>

#include "storage/fatal_errors.h"

namespace tessel {

int StartNewFile(const Platform& p, NewFile* file) {
  file->step = NewFileStep::kCreate;
  p.remove(p.ctx, file->temp_path.c_str());
  int error = p.create_new(p.ctx, file->temp_path.c_str(), &file->file);
  if (error != 0) file->file = kNoFile;
  return error;
}

int WriteNewFile(const Platform& p, NewFile* file, std::string_view bytes) {
  file->step = NewFileStep::kWrite;
  for (size_t at = 0; at < bytes.size();) {
    uint32_t size = static_cast<uint32_t>(std::min<size_t>(bytes.size() - at, 1 << 20));
    uint32_t moved = 0;
    int error = p.write(p.ctx, file->file, bytes.data() + at, size, &moved);
    error = TransferError(error, moved, size, kErrShortWrite);
    if (error != 0) return error;
    at += moved;
  }
  return 0;
}

int CheckOwnFile(const Platform& p, const NewFile& file) {
  FileInfo mine, there;
  if (int error = p.open_file_info(p.ctx, file.file, &mine)) return error;
  if (int error = p.entry_info(p.ctx, file.temp_path.c_str(), &there)) return error;
  if (there.is_link || there.device != mine.device || there.inode != mine.inode) return kErrAccessDenied;
  return 0;
}

int FinishNewFile(const Platform& p, NewFile* file, bool target_free) {
  file->step = NewFileStep::kFlush;
  int error = p.sync(p.ctx, file->file);
  if (error == 0) {
    file->step = NewFileStep::kCheck;
    error = CheckOwnFile(p, *file);
  }
  FileInfo there;
  if (error == 0 && target_free && p.entry_info(p.ctx, file->path.c_str(), &there) != kErrFileNotFound) {
    error = kErrFileExists;
  }
  // Closed before the rename, which some systems refuse for an open file.
  int close_error = p.close(p.ctx, file->file);
  file->file = kNoFile;
  if (error != 0) return error;
  file->step = NewFileStep::kClose;
  if (close_error != 0) return close_error;
  file->step = NewFileStep::kRename;
  return p.rename(p.ctx, file->temp_path.c_str(), file->path.c_str());
}

void AbandonNewFile(const Platform& p, NewFile* file) {
  if (file->file != kNoFile) p.close(p.ctx, file->file);
  file->file = kNoFile;
  p.remove(p.ctx, file->temp_path.c_str());
}

int WriteWholeNewFile(const Platform& p, const std::string& path, const std::string& temp_path, std::string_view bytes,
                      NewFileStep* failed) {
  NewFile file{path, temp_path};
  int error = StartNewFile(p, &file);
  if (error == 0) error = WriteNewFile(p, &file, bytes);
  if (error == 0) error = FinishNewFile(p, &file);
  *failed = file.step;
  if (error != 0 && file.step != NewFileStep::kCreate) AbandonNewFile(p, &file);
  return error;
}

}  // namespace tessel
