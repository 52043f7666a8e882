#include "msi/storage/compound_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>

#include "msi/storage/cfb_format.h"
#include "msi/storage/commit_writer.h"
#include "msi/storage/directory_tree.h"
#include "msi/storage/file_io.h"
#include "msi/storage/layout.h"
#include "msi/storage/layout_loader.h"
#include "msi/storage/staged_storage.h"
#include "msi/storage/staged_stream.h"
#include "msi/storage/stream_reader.h"
#include "platform/regular_file.h"
#include "platform/unique_fd.h"

namespace kb::msi {

class CompoundFile::Impl {
 public:
  Impl(std::string path, Mode mode, platform::UniqueFd fd)
      : path_(std::move(path)), mode_(mode), fd_(std::move(fd)), reader_(fd_.get(), &layout_) {}

  // Changes are staged from now on (the file stays read-only), and the first Commit writes the
  // file with them to `output`.
  void WriteTo(std::string output) {
    mode_ = Mode::kReadWrite;
    output_ = std::move(output);
  }

  StorageError Load() {
    if (StorageError e = LoadLayout(fd_.get(), &layout_); e != StorageError::kNone) return e;
    return IndexChildren();
  }

  // A new file: the directory holds just the root; no sector is placed yet.
  void InitEmpty(const Clsid& clsid) {
    layout_.directory.resize(layout_.sector_size());
    for (std::uint32_t id = 0; id < layout_.entry_count(); ++id) {
      cfb::ClearEntry(layout_.RawEntry(id));
    }
    cfb::DirectoryEntry root;
    root.name = u"Root Entry";
    root.type = cfb::ObjectType::kRoot;
    root.clsid = clsid;
    layout_.SetEntry(0, root);
    root_ = root;
  }

  const Clsid& clsid() const { return root_.clsid; }

  bool failed() const { return failed_; }

  std::vector<std::u16string> Names(cfb::ObjectType type) const {
    std::vector<std::u16string> names;
    if (failed_) return names;
    for (const auto& [name, id] : children_) {
      if (layout_.Entry(id).type == type && !staged_.contains(name) &&
          !staged_storages_.contains(name)) {
        names.push_back(name);
      }
    }
    const auto add_staged = [&names](const auto& staged) {
      for (const auto& [name, change] : staged) {
        if (!change.removed()) names.push_back(name);
      }
    };
    if (type == cfb::ObjectType::kStream) add_staged(staged_);
    if (type == cfb::ObjectType::kStorage) add_staged(staged_storages_);
    return names;
  }

  std::optional<std::uint64_t> StreamSize(std::u16string_view name) const {
    if (failed_) return std::nullopt;
    if (auto it = staged_.find(name); it != staged_.end()) {
      return it->second.removed() ? std::nullopt : std::optional(it->second.size());
    }
    const auto id = CommittedStream(name);
    return id ? std::optional(layout_.Entry(*id).size) : std::nullopt;
  }

  std::optional<std::size_t> ReadStream(std::u16string_view name, std::uint64_t offset,
                                        std::span<std::byte> out, StorageError* error) {
    if (failed_) return Fail(error, StorageError::kIo);
    const auto size = StreamSize(name);
    if (!size) return Fail(error, StorageError::kNotFound);
    const std::size_t n =
        offset >= *size
            ? 0
            : static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), *size - offset));
    out = out.first(n);
    StorageError e = StorageError::kNone;
    if (auto it = staged_.find(name); it != staged_.end()) {
      e = it->second.Read(offset, out);
    } else {
      const std::uint32_t id = *CommittedStream(name);
      e = reader_.Read(id, layout_.Entry(id), offset, out);
    }
    if (e != StorageError::kNone) return Fail(error, e);
    return n;
  }

  std::optional<std::vector<std::byte>> ReadWholeStream(std::u16string_view name, std::size_t limit,
                                                        StorageError* error) {
    if (failed_) return Fail(error, StorageError::kIo);
    const auto size = StreamSize(name);
    if (!size) return Fail(error, StorageError::kNotFound);
    if (*size > limit) return Fail(error, StorageError::kTooLarge);
    std::vector<std::byte> data(static_cast<std::size_t>(*size));
    if (!ReadStream(name, 0, data, error)) return std::nullopt;
    return data;
  }

  StorageError Stage(std::u16string_view name, StagedStream staged) {
    if (const StorageError error = CheckStage(name, staged); error != StorageError::kNone) {
      return error;
    }
    if (staged.removed()) {
      RemoveChecked(name);
      return StorageError::kNone;
    }
    // Erased first so that a name differing only in letter case takes the new spelling.
    if (auto it = staged_.find(name); it != staged_.end()) staged_.erase(it);
    staged_.emplace(std::u16string(name), std::move(staged));
    return StorageError::kNone;
  }

  StorageError StageAll(std::vector<std::pair<std::u16string, StagedStream>> changes) {
    for (const auto& [name, staged] : changes) {
      if (const StorageError error = CheckStage(name, staged); error != StorageError::kNone) {
        return error;
      }
    }
    for (auto& [name, staged] : changes) (void)Stage(name, std::move(staged));  // checked above
    return StorageError::kNone;
  }

  StorageError StageFile(std::u16string_view name, const std::string& path) {
    if (StorageError e = Changeable(); e != StorageError::kNone) return e;
    std::string problem;
    platform::UniqueFd file = platform::OpenRegularFile(path, &problem);
    const auto stamp = file.valid() ? StampOf(file.get()) : std::nullopt;
    if (!stamp) return StorageError::kIo;
    return Stage(name, StagedStream::FromFile(std::move(file), *stamp));
  }

  StorageError Remove(std::u16string_view name) {
    if (StorageError e = Changeable(); e != StorageError::kNone) return e;
    if (!StreamSize(name)) return StorageError::kNotFound;
    RemoveChecked(name);
    return StorageError::kNone;
  }

  StorageError StageStorage(std::u16string_view name, platform::UniqueFd file, FileStamp stamp) {
    if (StorageError e = Changeable(); e != StorageError::kNone) return e;
    if (!cfb::IsValidName(name) || StreamSize(name)) return StorageError::kBadName;
    StagedStorage staged = StagedStorage::Removal();
    if (StorageError e = StagedStorage::FromFile(std::move(file), stamp, &staged);
        e != StorageError::kNone) {
      return e;
    }
    if (layout_.major_version == 3 && staged.largest_stream() > cfb::kMaxVersion3StreamSize) {
      return StorageError::kTooLarge;
    }
    // Erased first so that a name differing only in letter case takes the new spelling.
    if (auto it = staged_storages_.find(name); it != staged_storages_.end()) {
      staged_storages_.erase(it);
    }
    staged_storages_.emplace(std::u16string(name), std::move(staged));
    return StorageError::kNone;
  }

  StorageError RemoveStorage(std::u16string_view name) {
    if (StorageError e = Changeable(); e != StorageError::kNone) return e;
    if (!IsStorage(name)) return StorageError::kNotFound;
    if (auto it = staged_storages_.find(name); it != staged_storages_.end()) {
      staged_storages_.erase(it);
    }
    if (CommittedStorage(name)) {
      staged_storages_.emplace(std::u16string(name), StagedStorage::Removal());
    }
    return StorageError::kNone;
  }

  StorageError Commit() {
    if (failed_) return StorageError::kIo;
    if (mode_ == Mode::kReadOnly) return StorageError::kReadOnly;
    if (!output_.empty()) return CommitReplacing(output_);
    if (fd_.valid() && staged_.empty() && staged_storages_.empty()) return StorageError::kNone;
    return fd_.valid() ? CommitInPlace() : CommitReplacing(path_);
  }

 private:
  // What refuses staging `staged` under `name`; a removal of a stream that is not there is
  // nothing to refuse.
  // What refuses any change at all.
  StorageError Changeable() const {
    if (failed_) return StorageError::kIo;
    return mode_ == Mode::kReadOnly ? StorageError::kReadOnly : StorageError::kNone;
  }

  StorageError CheckStage(std::u16string_view name, const StagedStream& staged) const {
    if (StorageError e = Changeable(); e != StorageError::kNone) return e;
    if (staged.removed()) return StorageError::kNone;
    if (!cfb::IsValidName(name) || IsStorage(name)) return StorageError::kBadName;
    if (layout_.major_version == 3 && staged.size() > cfb::kMaxVersion3StreamSize) {
      return StorageError::kTooLarge;
    }
    return StorageError::kNone;
  }

  void RemoveChecked(std::u16string_view name) {
    if (auto it = staged_.find(name); it != staged_.end()) staged_.erase(it);
    if (CommittedStream(name)) staged_.emplace(std::u16string(name), StagedStream::Removal());
  }

  static std::nullopt_t Fail(StorageError* error, StorageError e) {
    if (error) *error = e;
    return std::nullopt;
  }

  StorageError CommitInPlace() {
    Layout next;
    bool header_tried = false;
    if (StorageError e =
            WriteCommit(fd_.get(), layout_, staged_, staged_storages_, &next, &header_tried);
        e != StorageError::kNone) {
      // Once the header may point at the new sectors, neither layout is known to describe the
      // file: trimming to the old one could cut off the new state, so this object gives up.
      if (header_tried) {
        failed_ = true;
      } else {
        // Drops what the failed commit appended. Best effort: the old layout still describes
        // the file, so sectors left past its end only cost space.
        (void)TrimFile(fd_.get(), layout_);
      }
      return e;
    }
    Adopt(std::move(next));
    return StorageError::kNone;
  }

  // The first commit of a created file, or of one whose changes go to another file, writes it
  // whole under a temporary name beside `target` (a copy of the file read so far with the
  // changes made in place) and renames it over whatever was there.
  StorageError CommitReplacing(const std::string& target) {
    std::string temp = target + ".XXXXXX";
    platform::UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd.valid()) return StorageError::kIo;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd.get(), 0666 & ~mask);
    Layout next;
    bool header_tried = false;  // the file is not in place yet, so it does not matter here
    StorageError e = fd_.valid() ? CopyFile(fd_.get(), fd.get()) : StorageError::kNone;
    if (e == StorageError::kNone) {
      e = WriteCommit(fd.get(), layout_, staged_, staged_storages_, &next, &header_tried);
    }
    if (e == StorageError::kNone && ::rename(temp.c_str(), target.c_str()) != 0) {
      e = StorageError::kIo;
    }
    if (e != StorageError::kNone) {
      ::unlink(temp.c_str());
      return e;
    }
    path_ = target;
    output_.clear();
    SyncFolder();
    fd_ = std::move(fd);
    Adopt(std::move(next));
    return StorageError::kNone;
  }

  // Copies the whole of `from` into `to`, a piece at a time.
  static StorageError CopyFile(int from, int to) {
    std::uint64_t size = 0;
    if (StorageError e = FileSize(from, &size); e != StorageError::kNone) return e;
    std::vector<std::byte> buffer(std::size_t{1} << 20);
    for (std::uint64_t offset = 0; offset < size; offset += buffer.size()) {
      const auto piece = std::span(buffer).first(
          static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - offset)));
      if (StorageError e = ReadAt(from, offset, piece); e != StorageError::kNone) return e;
      if (StorageError e = WriteAt(to, offset, piece); e != StorageError::kNone) return e;
    }
    return StorageError::kNone;
  }

  // Makes the rename durable; a failure here leaves a consistent file either way.
  void SyncFolder() const {
    const auto slash = path_.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path_.substr(0, slash + 1);
    platform::UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) ::fsync(dir.get());
  }

  void Adopt(Layout next) {
    layout_ = std::move(next);
    staged_.clear();
    staged_storages_.clear();
    reader_ = StreamReader(fd_.get(), &layout_);
    // The new directory holds the names indexed before, which were already distinct.
    (void)IndexChildren();
    // Trailing sectors the new state does not use can go now that it is committed; keeping
    // them costs only space, so a failure to trim is no failure of the commit.
    (void)TrimFile(fd_.get(), layout_);
  }

  std::optional<std::uint32_t> CommittedStream(std::u16string_view name) const {
    auto it = children_.find(name);
    if (it == children_.end() || layout_.Entry(it->second).type != cfb::ObjectType::kStream) {
      return std::nullopt;
    }
    return it->second;
  }

  bool CommittedStorage(std::u16string_view name) const {
    auto it = children_.find(name);
    return it != children_.end() && layout_.Entry(it->second).type == cfb::ObjectType::kStorage;
  }

  // Whether a storage of that name is there as staged.
  bool IsStorage(std::u16string_view name) const {
    if (auto it = staged_storages_.find(name); it != staged_storages_.end()) {
      return !it->second.removed();
    }
    return CommittedStorage(name);
  }

  // Two siblings whose names compare equal cannot both be found by name: such a file is
  // damaged.
  StorageError IndexChildren() {
    root_ = layout_.Entry(0);
    children_.clear();
    for (std::uint32_t id : ChildrenOf(layout_, 0)) {
      if (!children_.emplace(layout_.Entry(id).name, id).second) return StorageError::kCorrupt;
    }
    return StorageError::kNone;
  }

  std::string path_;
  std::string output_;  // where the first Commit goes, when not to `path_`
  Mode mode_;
  platform::UniqueFd fd_;
  Layout layout_;
  StreamReader reader_;
  cfb::DirectoryEntry root_;
  std::map<std::u16string, std::uint32_t, cfb::NameLess> children_;
  StagedMap staged_;
  StagedStorageMap staged_storages_;
  bool failed_ = false;
};

std::unique_ptr<CompoundFile> CompoundFile::Open(const std::string& path, Mode mode,
                                                 StorageError* error) {
  std::string problem;
  platform::UniqueFd fd =
      platform::OpenRegularFile(path, &problem, mode == Mode::kReadOnly ? O_RDONLY : O_RDWR);
  if (!fd.valid()) {
    *error = errno == ENOENT ? StorageError::kNotFound : StorageError::kIo;
    return nullptr;
  }
  auto impl = std::make_unique<Impl>(path, mode, std::move(fd));
  if (StorageError e = impl->Load(); e != StorageError::kNone) {
    *error = e;
    return nullptr;
  }
  *error = StorageError::kNone;
  return std::unique_ptr<CompoundFile>(new CompoundFile(std::move(impl)));
}

std::unique_ptr<CompoundFile> CompoundFile::OpenWithOutput(const std::string& path,
                                                           const std::string& output,
                                                           StorageError* error) {
  auto file = Open(path, Mode::kReadOnly, error);
  if (!file) return nullptr;
  file->impl_->WriteTo(output);
  return file;
}

std::unique_ptr<CompoundFile> CompoundFile::Create(const std::string& path, const Clsid& clsid,
                                                   StorageError* error) {
  auto impl = std::make_unique<Impl>(path, Mode::kReadWrite, platform::UniqueFd());
  impl->InitEmpty(clsid);
  *error = StorageError::kNone;
  return std::unique_ptr<CompoundFile>(new CompoundFile(std::move(impl)));
}

CompoundFile::CompoundFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
CompoundFile::~CompoundFile() = default;

const Clsid& CompoundFile::clsid() const {
  return impl_->clsid();
}

bool CompoundFile::failed() const {
  return impl_->failed();
}

std::vector<std::u16string> CompoundFile::StreamNames() const {
  return impl_->Names(cfb::ObjectType::kStream);
}

std::vector<std::u16string> CompoundFile::StorageNames() const {
  return impl_->Names(cfb::ObjectType::kStorage);
}

std::optional<std::uint64_t> CompoundFile::StreamSize(std::u16string_view name) const {
  return impl_->StreamSize(name);
}

std::optional<std::size_t> CompoundFile::ReadStream(std::u16string_view name, std::uint64_t offset,
                                                    std::span<std::byte> out,
                                                    StorageError* error) const {
  return impl_->ReadStream(name, offset, out, error);
}

std::optional<std::vector<std::byte>> CompoundFile::ReadWholeStream(std::u16string_view name,
                                                                    std::size_t limit,
                                                                    StorageError* error) const {
  return impl_->ReadWholeStream(name, limit, error);
}

StorageError CompoundFile::WriteStream(std::u16string_view name, std::vector<std::byte> data) {
  return impl_->Stage(name, StagedStream::FromBytes(std::move(data)));
}

StorageError CompoundFile::WriteStreamFromFile(std::u16string_view name, const std::string& path) {
  return impl_->StageFile(name, path);
}

StorageError CompoundFile::WriteStreamFromFile(std::u16string_view name, platform::UniqueFd file,
                                               FileStamp stamp) {
  return impl_->Stage(name, StagedStream::FromFile(std::move(file), stamp));
}

StorageError CompoundFile::WriteStreams(
    std::vector<std::pair<std::u16string, StagedStream>> changes) {
  return impl_->StageAll(std::move(changes));
}

StorageError CompoundFile::RemoveStream(std::u16string_view name) {
  return impl_->Remove(name);
}

StorageError CompoundFile::WriteStorage(std::u16string_view name, platform::UniqueFd file,
                                        FileStamp stamp) {
  return impl_->StageStorage(name, std::move(file), stamp);
}

StorageError CompoundFile::RemoveStorage(std::u16string_view name) {
  return impl_->RemoveStorage(name);
}

StorageError CompoundFile::Commit() {
  return impl_->Commit();
}

}  // namespace kb::msi
