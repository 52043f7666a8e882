#ifndef KITBINDER_CABINET_WRITER_CABINET_STATE_H_
#define KITBINDER_CABINET_WRITER_CABINET_STATE_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "cabinet/writer/cabinet_format.h"
#include "cabinet/writer/cabinet_writer.h"
#include "cabinet/writer/client_services.h"
#include "cabinet/writer/temp_file.h"

namespace kb::cabinet {

// The cabinet being staged: finished data blocks (with checksums), file records and folder
// records in three temporaries, the parameters of this cabinet and the names that link it to
// its neighbours in a set. WriteCabinetFile assembles the file from the staging.
//
// The open folder stages its blocks at the end of the data staging (see FolderState), so that a
// block is written once before the cabinet: closing the folder places them where they lie
// (PlaceData), and only what goes on in the next cabinet is copied out.
class CabinetState {
 public:
  // REQUIRES: *services outlives this object; the reserves fit their stored widths.
  CabinetState(ClientServices* services, const CabinetParameters& parameters);

  // Makes the three staging temporaries (kTempFile on failure, none left behind).
  [[nodiscard]] bool CreateTemporaries();

  // The data staging: the blocks placed in this cabinet (data_size() bytes), then those of the
  // open folder. The object lives as long as this one, its contents change with the cabinet.
  TempFile& data_staging() { return data_; }

  // Counts the next `bytes` of the data staging, which follow the data placed so far, as
  // placed in this cabinet. REQUIRES: data_size() + bytes <= data_staging().size().
  void PlaceData(std::uint64_t bytes) { placed_ += bytes; }

  // Appends a folder record (and its reserve) and counts it. kCabinetFile when the cabinet
  // already holds as many folders as the format can count.
  [[nodiscard]] bool AppendFolderRecord(const FolderRecord& record);

  // Appends a file record with its name and NUL and counts it. kCabinetFile as above.
  [[nodiscard]] bool AppendFileRecord(std::span<const std::byte> record_and_name);

  // Bytes the next cabinet names (name, disk and their NULs) add to the header; 0 when the
  // next cabinet is not named.
  std::uint64_t NextNamesSize() const;
  // The same for the previous cabinet.
  std::uint64_t PreviousNamesSize() const;

  // Bytes staged: everything of the cabinet but its header.
  std::uint64_t StagedSize() const;
  // Bytes WriteCabinetFile copies from the staging: the file records and, unless the client
  // takes them apart, the data blocks.
  std::uint64_t CopiedSize() const;
  // The size the cabinet file would have if it were written now.
  std::uint64_t ExpectedSize() const { return HeaderSize() + StagedSize(); }

  // Remembers this cabinet's names as the predecessor of the cabinet that follows.
  void SaveCurrentNames();
  void ClearSavedNames();

  // Takes `next` as the parameters of the next cabinet, which become current once this
  // cabinet is written (see AdvanceToNext). With `linked`, this cabinet names the next one
  // (and is named by it, see SaveCurrentNames); otherwise the two stand alone.
  void SetNext(const CabinetParameters& next, bool linked);

  // After a cabinet closed by spanning: the next cabinet's parameters become current; on the
  // same disk it inherits what is left of the maximum size.
  void AdvanceToNext();

  // Writes the cabinet file from the staging: header, reserve, names, folder records (with
  // absolute offsets), file records and placed data; "MSCF" over the signature once complete.
  // Without data (when the client takes it apart, see CabinetCallbacks::data_apart) the
  // file ends after the records. Then replaces the staging temporaries, the data staging by
  // `next_data` (which holds what the
  // next cabinet begins with, nothing of it placed; this object takes it), reports
  // kStatusCabinetWritten with `estimate` and takes the status result off the maximum size.
  // Progress (kStatusCopyingFolder) counts on from `progress_count` towards `progress_total`.
  // On failure a partly written file is removed and `next_data` stays the caller's.
  [[nodiscard]] bool WriteCabinetFile(std::uint64_t progress_count, std::uint64_t progress_total,
                                      std::uint64_t estimate, StatusCallback status,
                                      TempFile& next_data);

  [[nodiscard]] bool Destroy();

  const CabinetParameters& parameters() const { return parameters_; }
  const CabinetParameters& next_parameters() const { return next_; }
  std::uint32_t max_size() const { return parameters_.max_cabinet_size; }
  std::size_t fixed_header_size() const { return fixed_header_size_; }
  std::size_t folder_record_size() const { return folder_record_size_; }
  std::size_t data_header_size() const { return data_header_size_; }
  std::uint16_t folder_number() const { return folder_number_; }
  void set_folder_number(std::uint16_t number) { folder_number_ = number; }
  // Bytes of data blocks placed in this cabinet.
  std::uint64_t data_size() const { return placed_; }
  std::uint64_t folder_count() const { return folder_count_; }
  std::uint64_t file_count() const { return file_count_; }

 private:
  class OpenCabinetFile;

  // Lets the data staging go: to the client when it takes the data apart, else away.
  [[nodiscard]] bool ReleaseData();
  // Makes new record temporaries and takes `data` as the data staging, none of it placed.
  [[nodiscard]] bool StartStaging(TempFile& data);
  std::uint64_t HeaderSize() const;
  CabinetHeader MakeHeader(std::uint64_t header_size);
  [[nodiscard]] bool WriteHeader(OpenCabinetFile& file, std::uint64_t header_size);
  [[nodiscard]] bool WriteNames(OpenCabinetFile& file);
  [[nodiscard]] bool CopyFolderRecords(OpenCabinetFile& file, std::uint64_t data_start);
  [[nodiscard]] bool CopyStaging(OpenCabinetFile& file, TempFile& staging, std::uint64_t length,
                                 std::span<std::byte> buffer, std::uint64_t& progress,
                                 std::uint64_t total, StatusCallback status);
  [[nodiscard]] bool FinishCabinet(std::uint64_t estimate, std::uint64_t file_size,
                                   StatusCallback status, TempFile& next_data);

  ClientServices* services_;
  TempFile data_;
  TempFile files_;
  TempFile folders_;
  std::uint64_t placed_ = 0;  // the bytes at the start of data_ that belong to this cabinet
  CabinetParameters parameters_;
  CabinetParameters next_{};
  std::uint64_t folder_count_ = 0;
  std::uint64_t file_count_ = 0;
  std::uint16_t folder_number_ = 0;
  std::uint16_t cabinet_index_ = 0;
  std::size_t reserve_block_size_;
  std::size_t fixed_header_size_;
  std::size_t folder_record_size_;
  std::size_t data_header_size_;
  std::string previous_cabinet_;
  std::string previous_disk_;
  std::string saved_cabinet_;
  std::string saved_disk_;
  std::string next_cabinet_;
  std::string next_disk_;
};

// The text of a NUL-terminated name field, never longer than 255 characters.
std::string NameText(const CabinetName& name);

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_WRITER_CABINET_STATE_H_
