#include "msi/db/idt_archive.h"

#include <algorithm>
#include <filesystem>
#include <span>

#include "msi/db/code_page_text.h"
#include "msi/db/summary_information.h"
#include "platform/atomic_file.h"
#include "platform/crt_file_io.h"
#include "platform/regular_file.h"
#include "platform/replacement_file.h"

namespace kb::msi {
namespace {

constexpr std::string_view kForceCodepage = "_ForceCodepage";
constexpr std::string_view kSummaryInformation = "_SummaryInformation";
constexpr std::string_view kLineEnd = "\r\n";

// Characters a value cannot hold in the archive, and what stands for them.
constexpr std::pair<char, char> kEscapes[] = {{'\t', '\x10'}, {'\r', '\x11'}, {'\n', '\x19'}};

std::string Escape(std::string text) {
  for (char& c : text) {
    for (const auto& [raw, escaped] : kEscapes) {
      if (c == raw) c = escaped;
    }
  }
  return text;
}

std::string Unescape(std::string text) {
  for (char& c : text) {
    for (const auto& [raw, escaped] : kEscapes) {
      if (c == escaped) c = raw;
    }
  }
  return text;
}

std::vector<std::string> Split(std::string_view line, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = line.find(separator, start);
    parts.emplace_back(line.substr(start, end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// Lines end at LF; the CRs before it belong to the line end, so a header line ending in CR CR
// LF (or a file of bare LFs) reads as Windows reads it.
std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines = Split(text, '\n');
  for (std::string& line : lines) {
    while (!line.empty() && line.back() == '\r') line.pop_back();
  }
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

// The fields of a line. A NUL in a value reads as a line feed, as the installer reads it
// ("a\0b" is "a\nb"; export writes it back as \x19).
std::vector<std::string> Fields(std::string_view line) {
  std::vector<std::string> fields = Split(line, '\t');
  for (std::string& field : fields) std::ranges::replace(field, '\0', '\n');
  return fields;
}

std::string Join(const std::vector<std::string>& parts) {
  std::string line;
  for (std::size_t i = 0; i < parts.size(); ++i) line += (i ? "\t" : "") + parts[i];
  return line + std::string(kLineEnd);
}

ErrorCode ImportSummary(Database& database, const std::vector<std::string>& lines) {
  auto summary = SummaryInformation::Load(database.storage());
  if (!summary) return kFunctionFailed;
  for (std::size_t i = 3; i < lines.size(); ++i) {
    const std::vector<std::string> fields = Fields(lines[i]);
    const auto id = fields.size() == 2 ? ParseInteger(fields[0]) : std::nullopt;
    // Like a table's archive without a code page line, the text is in the database's.
    const auto text = id ? DecodeText(Unescape(fields[1]), database.code_page()) : std::nullopt;
    const auto value =
        text && *id > 0 ? SummaryInformation::ParseArchiveValue(*id, *text) : std::nullopt;
    if (!value || summary->Set(static_cast<unsigned>(*id), *value) != kSuccess) {
      return kFunctionFailed;
    }
  }
  return summary->Persist(database.storage());
}

// The columns an archive's header lines declare, in their order and without key bits; nullopt
// when the lines do not fit together.
std::optional<TableSchema> HeaderSchema(const std::vector<std::string>& names,
                                        const std::vector<std::string>& types,
                                        const std::vector<std::string>& keys) {
  if (names.size() != types.size() || keys.size() < 2) return std::nullopt;
  TableSchema schema{keys[0], {}};
  for (std::size_t i = 0; i < names.size(); ++i) {
    const auto type = ColumnType::FromArchive(types[i]);
    if (!type || names[i].empty()) return std::nullopt;
    schema.columns.push_back({names[i], *type});
  }
  return schema;
}

// True for a name that stays inside the folder it is put in, on this system and on Windows:
// not empty, "." or "..", and without separators, control characters or < > : " | ? *.
bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return std::ranges::none_of(name, [](char c) {
    return static_cast<unsigned char>(c) < 0x20 ||
           std::string_view("/\\<>:\"|?*").find(c) != std::string_view::npos;
  });
}

// The data of a binary field: the file `name` in the first of `folders` that has it. A name
// that is no plain file name (a path) is refused, so an archive reads nothing outside them.
std::shared_ptr<const FileStreamSource> BinaryData(const std::string& name,
                                                   std::span<const std::filesystem::path> folders) {
  if (!IsPlainFileName(name)) return nullptr;
  for (const std::filesystem::path& folder : folders) {
    if (auto source = FileStreamSource::Open((folder / name).string())) return source;
  }
  return nullptr;
}

// One row's values from its archive line (already in UTF-8).
std::optional<std::vector<FieldValue>> RowValues(
    const TableSchema& schema, const std::string& line,
    std::span<const std::filesystem::path> binary_folders) {
  std::vector<std::string> fields = Fields(line);
  if (fields.size() > schema.columns.size()) return std::nullopt;
  fields.resize(schema.columns.size());
  std::vector<FieldValue> values;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::string text = Unescape(fields[i]);
    const ColumnType type = schema.columns[i].type;
    if (text.empty()) {
      values.emplace_back();
    } else if (type.is_object()) {
      auto source = BinaryData(text, binary_folders);
      if (!source) return std::nullopt;
      values.emplace_back(StreamField{std::move(source), 0});
    } else if (type.is_integer()) {
      const auto number = ParseInteger(text);
      if (!number) return std::nullopt;
      values.emplace_back(*number);
    } else {
      values.emplace_back(text);
    }
  }
  return values;
}

// A binary field's file lies in the folder named after the table (as documented and as
// export writes it) or, for an archive whose file is named otherwise, after the archive's base
// name (where Windows' import also looks).
ErrorCode ImportTable(Database& database, const std::vector<std::string>& lines,
                      const std::filesystem::path& folder, const std::string& base_name) {
  const std::vector<std::string> raw_keys = Fields(lines[2]);
  const auto given = ParseInteger(raw_keys[0]);
  // An archive stamped with a code page goes only into a database of that code page, or into a
  // neutral one, which takes it on.
  if (given && *given != database.code_page() &&
      (database.code_page() != kNeutralCodePage || database.SetCodePage(*given) != kSuccess)) {
    const std::string archive = "the archive is in code page " + std::to_string(*given);
    database.set_last_refusal(database.code_page() == kNeutralCodePage
                                  ? archive + ", which the engine does not convert"
                                  : archive + ", the database in " +
                                        std::to_string(database.code_page()));
    return kFunctionFailed;
  }
  const int code_page = database.code_page();
  std::vector<std::string> text_lines;
  for (const std::string& line : lines) {
    auto text = DecodeText(line, code_page);
    if (!text) return kFunctionFailed;
    text_lines.push_back(std::move(*text));
  }
  std::vector<std::string> keys = Fields(text_lines[2]);
  if (given) keys.erase(keys.begin());
  // The lines hold the columns in the header's order; the table takes them as CREATE TABLE
  // would, its key columns first.
  const auto declared = HeaderSchema(Fields(text_lines[0]), Fields(text_lines[1]), keys);
  if (!declared) return kFunctionFailed;
  TableSchema schema = *declared;
  const auto from = schema.BringKeysFirst({keys.begin() + 1, keys.end()});
  if (!from) return kFunctionFailed;
  const std::string name = schema.name;
  // The catalog's own tables are no tables to replace: CreateTable refuses them by name.
  if (database.HasTable(name) && database.DropTable(name) != kSuccess) return kFunctionFailed;
  if (database.CreateTable(schema, false) != kSuccess) return kFunctionFailed;
  auto table = database.OpenTable(name);
  // The folders are named by the archive, like its binary fields: only plain names stay
  // inside `folder`.
  std::vector<std::filesystem::path> binary_folders;
  for (const std::string& binary_folder : {name, base_name}) {
    if (IsPlainFileName(binary_folder)) binary_folders.push_back(folder / binary_folder);
  }
  for (std::size_t i = 3; i < text_lines.size(); ++i) {
    const auto values = RowValues(*declared, text_lines[i], binary_folders);
    if (!values) return kFunctionFailed;
    std::vector<FieldValue> stored;
    for (const std::size_t column : *from) stored.push_back((*values)[column]);
    if (table->Insert(stored, false) != kSuccess) return kFunctionFailed;
  }
  return kSuccess;
}

bool HasNonAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

// The file of a row's binary field, named after its key; nullopt when the key (which comes
// from the database, whoever wrote it) would name anything but a plain file.
std::optional<std::string> KeyFileName(const TableData& table, std::size_t row) {
  std::string name;
  for (const FieldValue& value : table.KeyOf(row)) {
    if (!name.empty()) name += '.';
    if (const auto* number = std::get_if<int>(&value)) {
      name += std::to_string(*number);
    } else if (const auto* text = std::get_if<std::string>(&value)) {
      name += *text;
    } else {
      return std::nullopt;  // a damaged row without its key names no file
    }
  }
  name += ".ibd";
  if (!IsPlainFileName(name)) return std::nullopt;
  return name;
}

// Written beside its place and renamed over it, so that whatever has the name (a pipe that
// would wait for a reader, an older file) is replaced whole or not at all.
bool WriteStreamFile(const FieldValue& value, const std::filesystem::path& path) {
  const auto& stream = std::get<StreamField>(value);
  platform::ReplacementFile file(path.string());
  if (!file.valid()) return false;
  std::vector<std::byte> buffer(1 << 16);
  for (std::uint64_t offset = 0; offset < stream.source->size();) {
    const auto got = stream.source->Read(offset, buffer);
    int error = 0;
    if (!got || *got == 0 ||
        platform::CrtWrite(file.fd(), std::span(buffer).first(*got), error) < 0) {
      return false;
    }
    offset += *got;
  }
  return file.Commit();
}

// The UTF-8 text of one field, writing a stream's file when asked.
std::optional<std::string> FieldText(const TableData& table, std::size_t row, std::size_t column,
                                     const std::filesystem::path* stream_folder) {
  const FieldValue value = table.Get(row, column);
  if (std::holds_alternative<std::monostate>(value)) return std::string();
  if (const auto* number = std::get_if<int>(&value)) return std::to_string(*number);
  if (const auto* text = std::get_if<std::string>(&value)) return Escape(*text);
  // A sub-storage is no stream of bytes a file could hold: its cell is left empty.
  if (std::get<StreamField>(value).source->is_storage()) return std::string();
  auto file = KeyFileName(table, row);
  if (!file || (stream_folder != nullptr && !WriteStreamFile(value, *stream_folder / *file))) {
    return std::nullopt;
  }
  return file;
}

// Fails with `reason` as the database's last refusal.
std::nullopt_t Refuse(Database& database, std::string reason) {
  database.set_last_refusal(std::move(reason));
  return std::nullopt;
}

std::optional<std::string> RenderTable(Database& database, std::string_view name,
                                       const std::string* binary_folder) {
  auto table = database.OpenTable(name);
  if (!table) {
    return Refuse(database, database.HasTable(name)
                                ? "the rows of the table \"" + std::string(name) + "\" are damaged"
                                : "there is no table \"" + std::string(name) + "\"");
  }
  const TableSchema& schema = table->schema();
  std::optional<std::filesystem::path> stream_folder;
  if (binary_folder != nullptr && schema.HasObjectColumn()) {
    if (!IsPlainFileName(schema.name)) {
      return Refuse(database, "the table name \"" + schema.name + "\" cannot name a folder");
    }
    stream_folder = std::filesystem::path(*binary_folder) / schema.name;
    std::error_code error;
    std::filesystem::create_directories(*stream_folder, error);
    if (error) {
      return Refuse(database,
                    "cannot create the folder " + stream_folder->string() + ": " + error.message());
    }
  }
  std::vector<std::string> names, types, keys{schema.name};
  for (const ColumnDef& column : schema.columns) {
    names.push_back(column.name);
    types.push_back(column.type.ToArchive());
    if (column.type.key()) keys.push_back(column.name);
  }
  std::string rows;
  for (std::size_t row = 0; row < table->row_count(); ++row) {
    std::vector<std::string> fields;
    for (std::size_t column = 0; column < schema.columns.size(); ++column) {
      auto text = FieldText(*table, row, column, stream_folder ? &*stream_folder : nullptr);
      if (!text) {
        return Refuse(database, "the stream of row " + std::to_string(row + 1) +
                                    " cannot be written to a file named after its key");
      }
      fields.push_back(std::move(*text));
    }
    rows += Join(fields);
  }
  const std::string utf8 = Join(names) + Join(types) + Join(keys) + rows;
  if (HasNonAscii(utf8)) {
    const int code_page =
        database.code_page() == kNeutralCodePage ? kWindows1252 : database.code_page();
    keys.insert(keys.begin(), std::to_string(code_page));
    auto text = EncodeText(Join(names) + Join(types) + Join(keys) + rows, code_page);
    if (!text) return Refuse(database, "a text is not in code page " + std::to_string(code_page));
    return text;
  }
  return utf8;
}

std::optional<std::string> RenderSummary(Database& database) {
  const auto summary = SummaryInformation::Load(database.storage());
  if (!summary) {
    return Refuse(database,
                  "the summary information is damaged or in a code page the engine does not "
                  "convert");
  }
  std::string text = Join({"PropertyId", "Value"}) + Join({"i2", "l255"}) +
                     Join({std::string(kSummaryInformation), "PropertyId"});
  for (const unsigned id : summary->Ids()) {
    text += Join(
        {std::to_string(id), Escape(SummaryInformation::FormatArchiveValue(summary->Get(id)))});
  }
  return EncodeText(text, database.code_page());
}

}  // namespace

ErrorCode ImportArchive(Database& database, const std::string& folder, const std::string& file) {
  database.set_last_refusal(std::string());
  const std::filesystem::path dir(folder);
  std::string problem;
  const auto bytes = platform::ReadRegularFile((dir / file).string(), &problem);
  if (!bytes) return kFunctionFailed;  // what msi.dll answers for a missing archive
  const std::vector<std::string> lines = Lines(*bytes);
  if (lines.size() < 3) return kFunctionFailed;
  const std::vector<std::string> third = Fields(lines[2]);
  if (third.size() == 2 && third[1] == kForceCodepage) {
    const auto code_page = ParseInteger(third[0]);
    return code_page ? database.SetCodePage(*code_page) : kFunctionFailed;
  }
  if (!third.empty() && third[0] == kSummaryInformation) return ImportSummary(database, lines);
  return ImportTable(database, lines, dir, std::filesystem::path(file).stem().string());
}

std::optional<std::string> RenderArchive(Database& database, std::string_view table,
                                         const std::string* binary_folder) {
  database.set_last_refusal(std::string());
  if (table == kForceCodepage) {
    return std::string(kLineEnd) + std::string(kLineEnd) +
           Join({std::to_string(database.code_page()), std::string(kForceCodepage)});
  }
  if (table == kSummaryInformation) return RenderSummary(database);
  return RenderTable(database, table, binary_folder);
}

ErrorCode ExportArchive(Database& database, std::string_view table, const std::string& folder,
                        const std::string& file) {
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) {
    (void)Refuse(database, "there is no folder " + folder);
    return kBadPathname;
  }
  if (!IsPlainFileName(file)) {
    (void)Refuse(database, "\"" + file + "\" is no plain file name");
    return kBadPathname;
  }
  const auto text = RenderArchive(database, table, &folder);
  if (!text) return kFunctionFailed;
  const std::string path = (std::filesystem::path(folder) / file).string();
  if (!platform::WriteFileAtomically(path, *text)) {
    (void)Refuse(database, "cannot write " + path);
    return kBadPathname;
  }
  return kSuccess;
}

}  // namespace kb::msi
