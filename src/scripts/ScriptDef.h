#pragma once

#include "TextParser.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvel {

/// Value type codes of the definitions (stored as decimal integers in the XML).
inline constexpr std::int32_t kScriptTypeNone = 0;          ///< a method that returns nothing
inline constexpr std::int32_t kScriptTypeInteger = 3;       ///< integer literal
inline constexpr std::int32_t kScriptTypeFloat = 6;         ///< decimal literal (with a point)
inline constexpr std::int32_t kScriptTypeStringList = 100;  ///< string; repeatable last parameter
inline constexpr std::int32_t kScriptTypeString = 256;      ///< quoted string literal

/// MaxArgs of a method whose last parameter repeats.
inline constexpr std::int32_t kScriptUnlimitedArgs = std::numeric_limits<std::int32_t>::max();

/// The firmware version the built-in definition describes.
inline constexpr const char* kBuiltInModemVersion = "Ver 2.0.909875";
/// File version of a new definition set.
inline constexpr const char* kDefaultScriptFileVersion = "1.0";

/// A script variable or a method parameter: a name and the type of value it takes.
class TScriptVariable {
 public:
  TScriptVariable(std::string name, std::int32_t itemType) : Name(std::move(name)), ItemType(itemType) {}

  /// True when a literal of type code literalType fits: the same code, or a string offered
  /// to a string-list item.
  bool Accepts(std::int32_t literalType) const;

  std::string Name;
  std::int32_t ItemType;
};

/// Ordered list of variables; owns them.
class TScriptVariables {
 public:
  /// Appends a new variable and returns it (owned by the list).
  TScriptVariable* Add(const std::string& name, std::int32_t itemType);
  /// The first variable whose name equals name ignoring letter case, or nullptr.
  TScriptVariable* Find(std::string_view name) const;
  int Count() const { return static_cast<int>(items_.size()); }
  /// Item at a 0-based index; raises Exception for an index out of range.
  TScriptVariable* Items(int index) const;
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TScriptVariable>> items_;
};

/// A method a script may call: name, result type code and parameters in call order.
class TScriptMethod {
 public:
  TScriptMethod(std::string name, std::int32_t resultType) : Name(std::move(name)), ResultType(resultType) {}

  /// Number of parameters.
  std::int32_t MinArgs() const;
  /// Number of parameters, or kScriptUnlimitedArgs when the last one is a string list.
  std::int32_t MaxArgs() const;
  /// Whether the argument at 0-based position fits; positions beyond the last parameter are
  /// tested against the last one. False for a method without parameters.
  bool ArgAccepts(std::int32_t position, std::int32_t literalType) const;

  std::string Name;
  std::int32_t ResultType;
  TScriptVariables Params;
};

/// Ordered list of methods; owns them.
class TScriptMethods {
 public:
  /// Appends a new method without parameters and returns it (owned by the list).
  TScriptMethod* Add(const std::string& name, std::int32_t resultType);
  /// The first method whose name equals name ignoring letter case, or nullptr.
  TScriptMethod* Find(std::string_view name) const;
  int Count() const { return static_cast<int>(items_.size()); }
  /// Item at a 0-based index; raises Exception for an index out of range.
  TScriptMethod* Items(int index) const;
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TScriptMethod>> items_;
};

/// One error found by the checker: the message and the token it was found at (UTF-8 text,
/// its line and its character positions as the tokenizer gave them).
struct TScriptError {
  std::string Message;
  std::string Token;
  std::int32_t Line = 0;
  std::int32_t EndPos = 0;
  std::int32_t StartPos = 0;
};

/// Ordered list of checker errors; owns them.
class TScriptErrors {
 public:
  /// Appends an error and returns it.
  TScriptError* Add(std::int32_t line, std::int32_t startPos, const std::string& message,
                    const std::string& tokenText, std::int32_t endPos);
  int Count() const { return static_cast<int>(items_.size()); }
  /// Item at a 0-based index; raises Exception for an index out of range.
  TScriptError* Items(int index) const;
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TScriptError>> items_;
};

/// Where in a statement the checker is.
enum class TCheckState : std::uint8_t {
  Statement,      ///< start of a statement
  AfterVariable,  ///< a variable name began the statement
  Index,          ///< "[" after the variable
  AfterIndex,     ///< the index has been read
  AfterBracket,   ///< "]" has been read
  Value,          ///< "=" has been read
  AfterMethod,    ///< a method name has been read
  Argument,       ///< "(" or ","; an argument must follow
  AfterArgument,  ///< an argument has been read
  End,            ///< the statement is complete; ";" must follow
  Skip,           ///< after an error: everything up to the next ";" is ignored
};

/// One script definition (the methods and variables a firmware knows) and the checker of
/// scripts against it. A new definition has the built-in content (SetDefaults).
/// Thread rules: one thread at a time (Check changes the object's checker state).
class TScriptDef {
 public:
  TScriptDef();
  ~TScriptDef();
  TScriptDef(const TScriptDef&) = delete;
  TScriptDef& operator=(const TScriptDef&) = delete;

  /// Replaces methods and variables by the built-in content and sets the modem version
  /// "Ver 2.0.909875".
  void SetDefaults();
  /// Copies modem version, methods (with parameters) and variables of another definition.
  void Assign(const TScriptDef& other);
  /// Every method name, then every variable name, each followed by CR LF.
  std::string GetKeywords() const;

  /// Checks a UTF-8 script text; the errors found are in Errors() afterwards (at most one
  /// per statement, in text order). Returns true when there are none. Raises
  /// EEncodingError for a text windows-1251 cannot hold (the error list is empty then).
  bool Check(std::string_view utf8);
  /// As Check for windows-1251 bytes (any byte value is accepted).
  bool CheckCp1251(std::string_view bytes);

  std::string ModemVersion = kBuiltInModemVersion;
  TScriptMethods& Methods() { return *methods_; }
  const TScriptMethods& Methods() const { return *methods_; }
  TScriptVariables& Variables() { return *variables_; }
  const TScriptVariables& Variables() const { return *variables_; }
  const TScriptErrors& Errors() const { return *errors_; }
  /// The checker's state after the last token of the last check.
  TCheckState State() const { return state_; }

 private:
  void Reset();
  void Error(const std::string& message);
  void HandleSign();
  void HandleName();
  void HandleNameInState(TScriptMethod* method, TScriptVariable* variable, std::int32_t type);
  void HandleLiteral(std::int32_t literalType);
  void HandleArgument(std::int32_t literalType);
  void CloseCall();

  TCheckState state_ = TCheckState::Statement;
  std::int32_t expectedType_ = kScriptTypeNone;
  std::int32_t argCount_ = 0;
  TScriptMethod* curMethod_ = nullptr;
  TScriptVariable* curVariable_ = nullptr;
  TTokenRec token_;  // the token being handled

  std::unique_ptr<TTextParser> parser_;
  std::unique_ptr<TScriptErrors> errors_;
  std::unique_ptr<TScriptMethods> methods_;
  std::unique_ptr<TScriptVariables> variables_;
};

/// The set of definitions (in this program one) with its file version.
/// Thread rules: one thread at a time.
class TScriptDefs {
 public:
  /// A set with file version "1.0" and no definitions.
  TScriptDefs() = default;
  TScriptDefs(const TScriptDefs&) = delete;
  TScriptDefs& operator=(const TScriptDefs&) = delete;

  /// Appends a definition with the built-in content and returns it (owned by the set).
  TScriptDef* Add();
  int Count() const { return static_cast<int>(items_.size()); }
  /// Item at a 0-based index; raises Exception for an index out of range.
  TScriptDef* Items(int index) const;
  void Clear() { items_.clear(); }
  /// Frees all definitions, sets the file version "1.0" and adds one built-in definition.
  void SetDefaults();
  /// The definition editors and checks use: the first, after SetDefaults on an empty set.
  TScriptDef* First();

  std::string FileVersion = kDefaultScriptFileVersion;

 private:
  std::vector<std::unique_ptr<TScriptDef>> items_;
};

}  // namespace quorvel
