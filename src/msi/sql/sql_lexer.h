#ifndef KITBINDER_MSI_SQL_SQL_LEXER_H_
#define KITBINDER_MSI_SQL_SQL_LEXER_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kb::msi {

struct SqlToken {
  enum class Kind {
    kWord,     // a bare word: a keyword or a name
    kName,     // a `back-quoted` name
    kText,     // a 'quoted' text (no escapes: the next quote ends it)
    kInteger,  // decimal digits
    kMarker,   // ?
    kSymbol,   // ( ) , * . = <> < > <= >= -
    kEnd,
  };
  Kind kind = Kind::kEnd;
  std::string text;  // the word, name, text, digits or symbol

  // True for a bare word equal to `keyword` ignoring letter case.
  bool IsKeyword(std::string_view keyword) const;
  bool IsSymbol(std::string_view symbol) const { return kind == Kind::kSymbol && text == symbol; }
};

// Splits a statement into tokens, ending with one kEnd token. White space separates tokens, but
// a carriage return or vertical tab outside quotes is refused, wherever it stands. A back-quote
// right after a bare word is dropped. nullopt for a refused character, a character that starts
// no token, a quote left open or a back-quoted name holding a line feed.
[[nodiscard]] std::optional<std::vector<SqlToken>> TokenizeSql(std::string_view sql);

}  // namespace kb::msi

#endif  // KITBINDER_MSI_SQL_SQL_LEXER_H_
