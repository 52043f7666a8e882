#include "msi/sql/sql_lexer.h"

#include <algorithm>
#include <cctype>

namespace kb::msi {
namespace {

bool IsSpace(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// Control characters that are no white space belong to words, as the installer reads them.
bool IsWordChar(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return std::isalnum(byte) != 0 || c == '_' || byte >= 0x80 ||
         (byte != 0 && byte < 0x20 && !IsSpace(c));
}

// A bare word may also start with a hyphen before a letter ("-a"); "-1" is a minus and a number.
bool StartsWord(std::string_view rest) {
  if (IsWordChar(rest[0])) return true;
  return rest.size() > 1 && rest[0] == '-' &&
         (std::isalpha(static_cast<unsigned char>(rest[1])) != 0 || rest[1] == '_');
}

// A bare word may go on with a hyphen ("x-y" is one name, as the installer reads it).
bool ContinuesWord(char c) {
  return IsWordChar(c) || c == '-';
}

// The installer takes a carriage return (and so a Windows line break) or a vertical tab
// outside quotes for an error, even before the first token or after the last; other white
// space separates tokens.
bool IsRefusedSpace(char c) {
  return c == '\r' || c == '\v';
}

bool IsDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Reads a token quoted by `quote` from sql[at] (the opening quote).
std::optional<std::string> Quoted(std::string_view sql, std::size_t& at, char quote) {
  const std::size_t close = sql.find(quote, at + 1);
  if (close == std::string_view::npos) return std::nullopt;
  std::string text(sql.substr(at + 1, close - at - 1));
  at = close + 1;
  return text;
}

std::size_t SymbolLength(std::string_view rest) {
  if (rest.starts_with("<>") || rest.starts_with("<=") || rest.starts_with(">=")) return 2;
  constexpr std::string_view kSingles = "(),*.=<>-";
  return kSingles.find(rest[0]) != std::string_view::npos ? 1 : 0;
}

}  // namespace

bool SqlToken::IsKeyword(std::string_view keyword) const {
  return kind == Kind::kWord && std::ranges::equal(text, keyword, [](char a, char b) {
           return std::toupper(static_cast<unsigned char>(a)) ==
                  std::toupper(static_cast<unsigned char>(b));
         });
}

std::optional<std::vector<SqlToken>> TokenizeSql(std::string_view sql) {
  std::vector<SqlToken> tokens;
  std::size_t at = 0;
  while (at < sql.size()) {
    const char c = sql[at];
    if (IsRefusedSpace(c)) return std::nullopt;
    if (IsSpace(c)) {
      ++at;
    } else if (c == '`' || c == '\'') {
      auto text = Quoted(sql, at, c);
      if (!text) return std::nullopt;
      // A name may hold a carriage return (a table "Tw\ro"), not a line feed; text may hold both.
      if (c == '`' && text->find('\n') != std::string::npos) return std::nullopt;
      tokens.push_back({c == '`' ? SqlToken::Kind::kName : SqlToken::Kind::kText, *text});
    } else if (c == '?') {
      tokens.push_back({SqlToken::Kind::kMarker, "?"});
      ++at;
    } else if (IsDigit(c)) {
      const std::size_t start = at;
      while (at < sql.size() && IsDigit(sql[at])) ++at;
      const bool word = at < sql.size() && IsWordChar(sql[at]);
      while (at < sql.size() && IsWordChar(sql[at])) ++at;
      tokens.push_back({word ? SqlToken::Kind::kWord : SqlToken::Kind::kInteger,
                        std::string(sql.substr(start, at - start))});
    } else if (StartsWord(sql.substr(at))) {
      const std::size_t start = at++;
      while (at < sql.size() && ContinuesWord(sql[at])) ++at;
      tokens.push_back({SqlToken::Kind::kWord, std::string(sql.substr(start, at - start))});
      // A back-quote right after a bare word closes nothing and is dropped: the installer takes
      // c`.`b` and `c`.b` for `c`.`b`.
      if (at < sql.size() && sql[at] == '`') ++at;
    } else if (const std::size_t length = SymbolLength(sql.substr(at)); length != 0) {
      tokens.push_back({SqlToken::Kind::kSymbol, std::string(sql.substr(at, length))});
      at += length;
    } else {
      return std::nullopt;
    }
  }
  tokens.push_back({SqlToken::Kind::kEnd, ""});
  return tokens;
}

}  // namespace kb::msi
